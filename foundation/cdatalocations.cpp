#include "cdatalocations.h"

#include "platform/clocalpath.h"
#include "platform/cregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

namespace
{
const QString shellFoldersKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\");
const QString programFolder = QStringLiteral("Brelvar/FMSClient/");
constexpr int windowsVista = 0x0080;

QString withTrailingSeparator(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}
} // namespace

QString CDataLocations::dataDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSARAY_DATA_DIR");
    if (!fromEnvironment.isEmpty())
        return withTrailingSeparator(fromEnvironment);

    const QString commonAppData = CRegistry::readValue(shellFoldersKey, QStringLiteral("Common AppData"));
#ifdef Q_OS_WIN
    const QFileInfoList drives = QDir::drives();
    const QString firstDrive = drives.isEmpty() ? QStringLiteral("C:/") : drives.first().filePath();
    return windowsDataDirectory(commonAppData, QSysInfo::windowsVersion(), firstDrive,
                                QCoreApplication::applicationDirPath());
#else
    if (!commonAppData.isEmpty())
        return commonAppData + QDir::separator() + programFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + programFolder;
#endif
}

QString CDataLocations::windowsDataDirectory(const QString& commonAppData, int windowsVersion,
                                             const QString& firstDrive, const QString& applicationDirectory)
{
    if (!commonAppData.isEmpty())
        return commonAppData + QDir::separator() + programFolder + QDir::separator();
    if (windowsVersion < windowsVista)
        return withTrailingSeparator(applicationDirectory);

    QString drive = firstDrive;
    if (drive.startsWith(QLatin1Char('A')))
        drive.replace(0, 1, QLatin1Char('C'));
    return drive + QDir::separator() + QStringLiteral("ProgramData") + QDir::separator() + programFolder;
}

QString CDataLocations::settingsFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("settings.conf"));
}

QString CDataLocations::dataIndexFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("data.index"));
}

QString CDataLocations::mappingListFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("mapping.index"));
}

QString CDataLocations::logFilePath(const QString& fileName)
{
    const QString folder = joinPath(dataDirectory(), QStringLiteral("logs"));
    QDir().mkpath(folder);
    return joinPath(folder, fileName);
}

QString CDataLocations::joinPath(const QString& a, const QString& b)
{
    return QDir::cleanPath(a + QDir::separator() + b);
}

QString CDataLocations::packageIndexName(const QUuid& addonGuid)
{
    return addonGuid.toString(QUuid::WithoutBraces) + QStringLiteral(".index");
}

QString CDataLocations::installedIndexPath(const QString& addonFolder, const QUuid& addonGuid)
{
    return joinPath(CLocalPath::toNative(addonFolder), packageIndexName(addonGuid));
}
