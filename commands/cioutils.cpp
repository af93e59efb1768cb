#include "cioutils.h"

#include "app/clogger.h"
#include "app/csettings.h"
#include "commands/commandinfo.h"
#include "dataindex/cpathplaceholders.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "downloader/cdownloadlogutils.h"
#include "platform/cfilebrowser.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
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

QString CIOUtils::dataDirectory()
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

QString CIOUtils::windowsDataDirectory(const QString& commonAppData, int windowsVersion, const QString& firstDrive,
                                       const QString& applicationDirectory)
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

QString CIOUtils::settingsFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("settings.conf"));
}

QString CIOUtils::dataIndexFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("data.index"));
}

QString CIOUtils::mappingListFilePath()
{
    return joinPath(dataDirectory(), QStringLiteral("mapping.index"));
}

QString CIOUtils::logFilePath(const QString& fileName)
{
    const QString folder = joinPath(dataDirectory(), QStringLiteral("logs"));
    QDir().mkpath(folder);
    return joinPath(folder, fileName);
}

QString CIOUtils::joinPath(const QString& a, const QString& b)
{
    return QDir::cleanPath(a + QDir::separator() + b);
}

QString CIOUtils::serverAddress()
{
    return CSettings::stringValue(SettingsKey::ServerAddress);
}

QString CIOUtils::backupFolder()
{
    const QString configured = CSettings::stringValue(SettingsKey::BackupPath).trimmed();
    if (!configured.isEmpty())
        return configured;
    return joinPath(dataDirectory(), QStringLiteral("backup"));
}

QString CIOUtils::backupListFilePath()
{
    return joinPath(backupFolder(), QStringLiteral("backup.index"));
}

QString CIOUtils::downloadRoot()
{
    return normalizePath(QDir::tempPath() + QDir::separator() + QStringLiteral("Brelvar"));
}

QString CIOUtils::packageIndexName(const QUuid& addonGuid)
{
    return CDownloadLogUtils::guidText(addonGuid) + QStringLiteral(".index");
}

QString CIOUtils::installedIndexPath(const QString& addonFolder, const CommandInfo& info)
{
    return installedIndexPath(addonFolder, info.addonGuid);
}

QString CIOUtils::installedIndexPath(const QString& addonFolder, const QUuid& addonGuid)
{
    return joinPath(CLocalPath::toNative(addonFolder), packageIndexName(addonGuid));
}

QString CIOUtils::normalizePath(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    result.replace(QStringLiteral("//"), QStringLiteral("/"));
    result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return result;
}

QString CIOUtils::toBackslashes(const QString& path)
{
    QString result = path;
    result.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return result;
}

QString CIOUtils::replaceSimRoot(const QString& path, const QString& root)
{
    QString result = path;
    result.replace(QStringLiteral("[SIMROOT]"), root);
    return result;
}

QString CIOUtils::fileHash(const QString& path)
{
    constexpr qint64 hashedBytes = 1024;
    QFile file(path);
    if (file.size() < hashedBytes || !file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(hashedBytes);
    if (head.size() < hashedBytes)
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(head, QCryptographicHash::Md5).toHex());
}

bool CIOUtils::removeBackupFile(const QString& name)
{
    // Names come from the backup list, a file on disk: one that points elsewhere deletes nothing.
    if (name.trimmed().isEmpty() || CLocalPath::leavesFolder(name)) {
        BV_LOG(6, QStringLiteral("Backup file name '%0' is outside the backup folder; not removed.").arg(name));
        return false;
    }
    return QFile::remove(joinPath(backupFolder(), CLocalPath::toNative(name)));
}

void CIOUtils::showInExplorer(const QString& path)
{
    if (!CFileBrowser::showFile(normalizePath(path)))
        BV_LOG(1, QStringLiteral("The file browser could not be started for '%0'.").arg(path));
}

QString CIOUtils::simulatorRoot(int simulator, bool ignoreDisabled)
{
    return CSimulatorRoots::root(simulator, ignoreDisabled);
}

void CIOUtils::setSimulatorRoot(int simulator, const QString& folder)
{
    CSimulatorRoots::setRoot(simulator, folder);
}

QString CIOUtils::readRegistryValue(const QString& keyPath, const QString& subKey, const QString& valueName,
                                    const QString& defaultText, bool use64BitView)
{
    return CSimulatorRoots::readRegistryValue(keyPath, subKey, valueName, defaultText, use64BitView);
}

QString CIOUtils::resolvePlaceholders(const QString& path)
{
    return CPathPlaceholders::resolve(path);
}

QString CIOUtils::displayToken(int simulator)
{
    const QString shortName = CSimulators::shortName(simulator);
    if (CSimulators::rootPlaceholder(simulator).isEmpty())
        return QString();
    return QLatin1Char('<') + shortName + QLatin1Char('>') + QDir::separator();
}

QString CIOUtils::displayPath(const QString& path)
{
    const QString separator(QDir::separator());
    const QString doubled = separator + separator;
    QString result = normalizePath(path + separator);
    result.replace(doubled, separator);

    const QList<int> simulators = CSimulators::rootSimulators();
    for (int simulator : simulators) {
        QString root = CLocalPath::toNative(simulatorRoot(simulator, false).trimmed());
        while (root.size() > 1 && root.endsWith(separator))
            root.chop(1);
        if (root.isEmpty())
            continue;
        // Only whole folders: the root "C:\FSX" must not turn "C:\FSX-Old" into a token.
        const QString prefix = root + separator;
        const QString token = displayToken(simulator);
        int position = 0;
        while ((position = result.indexOf(prefix, position, Qt::CaseInsensitive)) >= 0) {
            result.replace(position, prefix.size(), token);
            position += token.size();
        }
    }
    while (result.contains(doubled))
        result.replace(doubled, separator);
    return result;
}

QString CIOUtils::elidePath(const QString& path, int maximumLength, const QString& fill, int fillCount)
{
    const QString shown = displayPath(path);
    if (shown.size() <= maximumLength)
        return shown;
    const QString separator(QDir::separator());
    const QStringList parts = shown.split(separator, Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return shown;
    // An absolute path of this system keeps its leading separator.
    const QString lead = shown.startsWith(separator) ? separator : QString();
    const QString ellipsis = fill.repeated(qMax(0, fillCount));
    const int count = parts.size();
    QString head = parts.first();
    QString tail = parts.last();
    for (int i = 1; i < count / 2; ++i) {
        const QString& left = parts.at(i);
        const QString& right = parts.at(count - i - 1);
        if (maximumLength <= head.size() + left.size() + right.size() + tail.size()) {
            if (maximumLength < head.size() + left.size() + tail.size() &&
                maximumLength < head.size() + right.size() + tail.size())
                return lead + head + separator + ellipsis + separator + tail;
            if (left.size() < right.size())
                return lead + head + separator + left + separator + ellipsis + separator + tail;
            return lead + head + separator + ellipsis + separator + right + separator + tail;
        }
        head += separator + left;
        tail = right + separator + tail;
    }
    return lead + head + separator + ellipsis + separator + tail;
}
