#include "csafefolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>
#endif

namespace
{
QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

bool fail(QString* problem, const QString& text)
{
    if (problem)
        *problem = text;
    return false;
}

#ifndef Q_OS_WIN
QString reason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Empties the folder open as `folder` (closed here) entry by entry, relative to its descriptor, so that no
// name is ever looked up again through a path that a link could have replaced meanwhile.
bool clearFolder(int folder, const QString& shown, QString* problem)
{
    DIR* listing = fdopendir(folder);
    if (!listing) {
        const QString why = reason();
        ::close(folder);
        return fail(problem, QStringLiteral("%0 can't be read (%1)").arg(native(shown), why));
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    bool cleared = true;
    for (const QByteArray& name : names) {
        const QString entryPath = shown + QLatin1Char('/') + QFile::decodeName(name);
        struct stat status;
        if (fstatat(dirfd(listing), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            cleared = fail(problem, QStringLiteral("%0 can't be examined (%1)").arg(native(entryPath), reason()));
            break;
        }
        if (S_ISDIR(status.st_mode)) {
            const int child = openat(dirfd(listing), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                cleared = fail(problem, QStringLiteral("%0 can't be opened (%1)").arg(native(entryPath), reason()));
                break;
            }
            if (!clearFolder(child, entryPath, problem)) {
                cleared = false;
                break;
            }
        }
        if (unlinkat(dirfd(listing), name.constData(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) != 0 &&
            errno != ENOENT) {
            cleared = fail(problem, QStringLiteral("%0 can't be removed (%1)").arg(native(entryPath), reason()));
            break;
        }
    }
    closedir(listing);
    return cleared;
}
#else
bool isWindowsLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction() || info.isShortcut();
}

bool clearFolder(const QString& folder, QString* problem)
{
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        const QString path = info.filePath();
        bool removed;
        if (info.isDir() && !isWindowsLink(info))
            removed = clearFolder(path, problem) && QDir().rmdir(path);
        else if (info.isDir())
            removed = QDir().rmdir(path); // a junction or folder link: only the link goes
        else
            removed = QFile::remove(path);
        if (!removed) {
            if (problem && problem->isEmpty())
                *problem = QStringLiteral("%0 can't be removed").arg(native(path));
            return false;
        }
    }
    return true;
}
#endif
} // namespace

bool CSafeFolder::isLink(const QString& path)
{
#ifdef Q_OS_WIN
    return isWindowsLink(QFileInfo(path));
#else
    struct stat status;
    return lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
#endif
}

bool CSafeFolder::remove(const QString& path, QString* problem)
{
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty() || QFileInfo(clean).isRoot())
        return fail(problem, QStringLiteral("'%0' is no folder the program may remove").arg(native(path)));
#ifdef Q_OS_WIN
    const QFileInfo info(clean);
    if (!info.exists() && !isWindowsLink(info))
        return true;
    if (isWindowsLink(info) || !info.isDir()) {
        if ((info.isDir() ? QDir().rmdir(clean) : QFile::remove(clean)))
            return true;
        return fail(problem, QStringLiteral("%0 can't be removed").arg(native(clean)));
    }
    if (!clearFolder(clean, problem))
        return false;
    if (!QDir().rmdir(clean))
        return fail(problem, QStringLiteral("%0 can't be removed").arg(native(clean)));
    return true;
#else
    const QByteArray name = QFile::encodeName(clean);
    struct stat status;
    if (lstat(name.constData(), &status) != 0) {
        if (errno == ENOENT)
            return true;
        return fail(problem, QStringLiteral("%0 can't be examined (%1)").arg(native(clean), reason()));
    }
    if (!S_ISDIR(status.st_mode)) {
        // A link (or a file) where the folder belongs: it goes, whatever it points to stays.
        if (::unlink(name.constData()) != 0 && errno != ENOENT)
            return fail(problem, QStringLiteral("%0 can't be removed (%1)").arg(native(clean), reason()));
        return true;
    }
    const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return fail(problem, QStringLiteral("%0 can't be opened (%1)").arg(native(clean), reason()));
    if (!clearFolder(folder, clean, problem))
        return false;
    if (::rmdir(name.constData()) != 0 && errno != ENOENT)
        return fail(problem, QStringLiteral("%0 can't be removed (%1)").arg(native(clean), reason()));
    return true;
#endif
}

bool CSafeFolder::makePrivate(const QString& path, QString* problem)
{
    const QString clean = QDir::cleanPath(path);
    const QString refused = QStringLiteral("%0 is a link, not a folder of the program's own; remove the link and "
                                           "try again")
                                .arg(native(clean));
#ifdef Q_OS_WIN
    const QFileInfo info(clean);
    if (isWindowsLink(info))
        return fail(problem, refused);
    if (info.exists() && !info.isDir())
        return fail(problem, QStringLiteral("%0 is a file, not a folder").arg(native(clean)));
    if (!info.exists() && !QDir().mkdir(clean))
        return fail(problem, QStringLiteral("the folder %0 can't be created").arg(native(clean)));
    // Below the user's local application data, which only the user (and administrators) may open.
    return true;
#else
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return fail(problem, QStringLiteral("the folder %0 can't be created (%1)").arg(native(clean), reason()));
    // Opened without following a link, then examined through the descriptor: what is checked is what is used.
    const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        if (errno == ELOOP || isLink(clean))
            return fail(problem, refused);
        return fail(problem, QStringLiteral("%0 is not a folder that can be opened (%1)").arg(native(clean), reason()));
    }
    struct stat status;
    bool made = fstat(folder, &status) == 0;
    if (!made) {
        fail(problem, QStringLiteral("%0 can't be examined (%1)").arg(native(clean), reason()));
    } else if (status.st_uid != geteuid()) {
        made = fail(problem, QStringLiteral("the folder %0 belongs to another user").arg(native(clean)));
    } else if ((status.st_mode & 0777) != 0700 && fchmod(folder, 0700) != 0) {
        made = fail(problem, QStringLiteral("the folder %0 can't be made private (%1)").arg(native(clean), reason()));
    }
    ::close(folder);
    return made;
#endif
}
