#include "cowneronlyfile.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{
#ifdef Q_OS_UNIX
// Narrows an open descriptor to read and write by the owner when it allows more.
bool narrow(int descriptor)
{
    struct stat status;
    if (fstat(descriptor, &status) != 0)
        return false;
    if ((status.st_mode & 0777) == (S_IRUSR | S_IWUSR))
        return true;
    return fchmod(descriptor, S_IRUSR | S_IWUSR) == 0;
}

int openFlags(QIODevice::OpenMode mode)
{
    int flags = O_CREAT | O_CLOEXEC | ((mode & QIODevice::ReadOnly) ? O_RDWR : O_WRONLY);
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    if (mode & QIODevice::Truncate)
        flags |= O_TRUNC;
    return flags;
}
#endif
} // namespace

bool COwnerOnlyFile::open(QFile& file, QIODevice::OpenMode mode)
{
#ifdef Q_OS_UNIX
    const int descriptor = ::open(QFile::encodeName(file.fileName()).constData(), openFlags(mode), S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return false;
    if (!narrow(descriptor) || !file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
#else
    return file.open(mode);
#endif
}

bool COwnerOnlyFile::ensure(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return open(file, QIODevice::WriteOnly | QIODevice::Append);
}

bool COwnerOnlyFile::restrict(QFileDevice& file)
{
#ifdef Q_OS_UNIX
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    Q_UNUSED(file)
    return true;
#endif
}
