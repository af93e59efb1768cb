#include "cfilereplace.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace
{
#ifdef Q_OS_WIN
const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

QString lastErrorText()
{
    return QStringLiteral("system error %0").arg(GetLastError());
}
#endif
} // namespace

bool CFileReplace::renameOver(const QString& source, const QString& target, QString* error)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(wide(QDir::toNativeSeparators(source)), wide(QDir::toNativeSeparators(target)),
                    MOVEFILE_REPLACE_EXISTING) != 0)
        return true;
    const DWORD code = GetLastError();
    if (error)
        *error = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED
                     ? QStringLiteral("the file is in use by another program (system error %0)").arg(code)
                     : QStringLiteral("system error %0").arg(code);
    return false;
#else
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#endif
}

bool CFileReplace::keepCopy(const QString& existing, const QString& link, QString* error)
{
    QFile::remove(link);
#ifdef Q_OS_WIN
    if (CreateHardLinkW(wide(QDir::toNativeSeparators(link)), wide(QDir::toNativeSeparators(existing)), nullptr))
        return true;
#else
    if (::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0)
        return true;
#endif
    QFile file(existing);
    if (file.copy(link))
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool CFileReplace::isInUse(const QString& error)
{
    return error.startsWith(QLatin1String("the file is in use"));
}
