#include "cfilereplace.h"

#include "platform/clocalpath.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>

#include <string>
#else
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace
{
#ifdef Q_OS_WIN
// The path as the wide-character calls take it, through the long-path prefix past 260 characters. The text
// lives as long as the statement that called this.
std::wstring wide(const QString& path)
{
    return CLocalPath::toWindowsLongPath(path).toStdWString();
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
    if (MoveFileExW(wide(source).c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
        return true;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide(target).c_str());
    if (error && code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY))
        *error = QStringLiteral("the file is marked read-only (system error %0)").arg(code);
    else if (error)
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

bool CFileReplace::makeHardLink(const QString& existing, const QString& link)
{
#ifdef Q_OS_WIN
    return CreateHardLinkW(wide(link).c_str(), wide(existing).c_str(), nullptr) != 0;
#else
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

bool CFileReplace::keepCopy(const QString& existing, const QString& link, QString* error)
{
    QFile::remove(link);
    if (makeHardLink(existing, link))
        return true;
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
