#include "cdurablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace
{
QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

#ifndef Q_OS_WIN
QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
#endif

bool syncHandle(int handle)
{
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(handle))) != 0;
#else
    return ::fsync(handle) == 0;
#endif
}
} // namespace

bool CDurableFile::finish(QFileDevice& file, QString* problem)
{
    const QString name = native(file.fileName());
    if (!file.flush()) {
        *problem = QStringLiteral("%0 could not be written to the end (%1)").arg(name, file.errorString());
        file.close();
        return false;
    }
    if (!syncHandle(file.handle())) {
#ifdef Q_OS_WIN
        *problem = QStringLiteral("%0 could not be saved to the disk (system error %1)").arg(name).arg(GetLastError());
#else
        *problem = QStringLiteral("%0 could not be saved to the disk (%1)").arg(name, systemReason());
#endif
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *problem = QStringLiteral("%0 could not be closed (%1)").arg(name, file.errorString());
        return false;
    }
    return true;
}

bool CDurableFile::sync(QFileDevice& file, QString* problem)
{
    const QString name = native(file.fileName());
    if (!file.flush()) {
        *problem = QStringLiteral("%0 could not be written to the end (%1)").arg(name, file.errorString());
        return false;
    }
    if (!syncHandle(file.handle())) {
#ifdef Q_OS_WIN
        *problem = QStringLiteral("%0 could not be saved to the disk (system error %1)").arg(name).arg(GetLastError());
#else
        *problem = QStringLiteral("%0 could not be saved to the disk (%1)").arg(name, systemReason());
#endif
        return false;
    }
    return true;
}

bool CDurableFile::commit(QSaveFile& file, QString* problem)
{
    const QString name = native(file.fileName());
    // QSaveFile syncs the temporary file before it renames it over the target.
    if (file.error() != QFileDevice::NoError || !file.commit()) {
        *problem = QStringLiteral("%0 could not be written (%1)").arg(name, file.errorString());
        return false;
    }
    return syncFolder(QFileInfo(file.fileName()).absolutePath(), problem);
}

bool CDurableFile::syncFile(const QString& path, QString* problem)
{
    QFile file(path);
    // POSIX syncs through any descriptor of the file; Windows wants one that may write.
#ifdef Q_OS_WIN
    const QIODevice::OpenMode mode = QIODevice::ReadWrite;
#else
    const QIODevice::OpenMode mode = QIODevice::ReadOnly;
#endif
    if (!file.open(mode)) {
        *problem =
            QStringLiteral("%0 could not be opened to save it to the disk (%1)").arg(native(path), file.errorString());
        return false;
    }
    return finish(file, problem);
}

bool CDurableFile::syncFolder(const QString& folder, QString* problem)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder)
    Q_UNUSED(problem)
    return true;
#else
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        *problem = QStringLiteral("the folder %0 could not be opened to save its names (%1)")
                       .arg(native(folder), systemReason());
        return false;
    }
    const bool synced = ::fsync(handle) == 0;
    const QString reason = synced ? QString() : systemReason();
    ::close(handle);
    if (!synced) {
        *problem = QStringLiteral("the names in %0 could not be saved to the disk (%1)").arg(native(folder), reason);
        return false;
    }
    return true;
#endif
}

bool CDurableFile::closeWritten(QFileDevice& file, QString* problem)
{
    const bool written = file.flush();
    const QString reason = file.errorString();
    file.close();
    if (written && file.error() == QFileDevice::NoError)
        return true;
    *problem = QStringLiteral("%0 could not be written to the end (%1)")
                   .arg(native(file.fileName()), written ? file.errorString() : reason);
    return false;
}

bool CDurableFile::syncFiles(const QStringList& paths, QString* problem)
{
#ifdef Q_OS_LINUX
    if (paths.isEmpty())
        return true;
    // A write-back error of any of them that no one has seen yet is reported to this new descriptor too.
    const QString folder = QFileInfo(paths.first()).absolutePath();
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = handle >= 0 && ::syncfs(handle) == 0;
    const QString reason = synced ? QString() : systemReason();
    if (handle >= 0)
        ::close(handle);
    if (!synced)
        *problem = QStringLiteral("the files in %0 could not be saved to the disk (%1)").arg(native(folder), reason);
    return synced;
#else
    for (const QString& path : paths) {
        if (!syncFile(path, problem))
            return false;
    }
    return true;
#endif
}
