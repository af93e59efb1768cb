#include "cfileutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace
{
bool isRoot(const QString& path)
{
    return QDir(path).isRoot() && QDir::cleanPath(path) == QDir(path).absolutePath();
}

// Renames over an existing destination in one step. Qt's own rename refuses an existing destination, and
// removing it first would leave no file at all when the rename then fails.
bool replaceByRename(const QString& source, const QString& destination)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(source).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(destination).utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(destination).constData()) == 0;
#endif
}
} // namespace

QString CFileUtils::normalizePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    if (QDir::isRelativePath(path)) {
        const QString programDirectory = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
        return programDirectory + QLatin1Char('/') + path;
    }
    if ((path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))) && !isRoot(path))
        return path.left(path.size() - 1);
    return path;
}

bool CFileUtils::exists(const QString& fileName)
{
    const QString path = normalizePath(fileName);
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool CFileUtils::createFile(const QString& path, qint64 size, bool createDirectories, QString* reason)
{
    const auto failed = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString normalized = normalizePath(path);
    if (normalized.isEmpty() || QFileInfo(normalized).isDir())
        return failed(QStringLiteral("no file name, or a folder"));
    const QString parent = QFileInfo(normalized).absolutePath();
    if (createDirectories && !QDir().mkpath(parent))
        return failed(QStringLiteral("the folder %0 cannot be made").arg(parent));
    QFile file(normalized);
    if (!file.open(QIODevice::ReadWrite) || (size > 0 && !file.resize(size)))
        return failed(file.errorString());
    return true;
}

bool CFileUtils::moveFile(const QString& source, const QString& destination, QString* reason)
{
    const auto failed = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString from = normalizePath(source);
    const QString to = normalizePath(destination);
    if (from.isEmpty() || to.isEmpty() || !QFileInfo(from).isFile())
        return failed(QStringLiteral("the source is not a file"));
    if (QFileInfo(to).isDir())
        return failed(QStringLiteral("the destination is a folder"));
    if (replaceByRename(from, to))
        return true;
    const QString renameError = qt_error_string();

    // Another file system: copy beside the destination, then swap it in.
    const QString staging = to + QStringLiteral(".moving");
    QFile::remove(staging);
    QFile copied(from);
    if (!copied.copy(staging)) {
        QFile::remove(staging);
        return failed(QStringLiteral("%0; copying failed too: %1").arg(renameError, copied.errorString()));
    }
    if (!replaceByRename(staging, to)) {
        const QString error = qt_error_string();
        QFile::remove(staging);
        return failed(error);
    }
    QFile::remove(from);
    return true;
}

bool CFileUtils::removeFile(const QString& path)
{
    const QString normalized = normalizePath(path);
    if (normalized.isEmpty() || !QFileInfo::exists(normalized))
        return true;
    return QFile::remove(normalized);
}
