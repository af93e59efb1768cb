#include "csettingsrecord.h"

#include "commands/cioutils.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QDir>

#include <tuple>

const QString CSettingsRecord::RunKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString CSettingsRecord::RunValueName = QStringLiteral("Brelvar Tessaray");

namespace
{
auto fields(const CSettingsRecord& r)
{
    return std::tie(r.autoBackup, r.removeOldBackup, r.backupPath, r.autoStart, r.rememberSorting, r.updateInterval,
                    r.serverAddress, r.enableProxy, r.proxyAddress, r.proxyPort, r.proxyUseAuth, r.useTheme,
                    r.proxyUserName, r.proxyPassword, r.proxyDomain, r.disabledSimulators, r.chunkSize,
                    r.downloadRegion, r.simulatorPaths);
}

// Writes the key when the value differs from what the view was filled with.
void writeChanged(const QString& key, const QVariant& now, const QVariant& shown)
{
    if (now != shown)
        CSettings::setValue(key, now);
}
} // namespace

bool CSettingsRecord::operator==(const CSettingsRecord& other) const
{
    return fields(*this) == fields(other);
}

CSettingsRecord CSettingsRecord::stored()
{
    CSettingsRecord record;
    record.autoBackup = CSettings::boolValue(SettingsKey::AutoBackup, true);
    record.removeOldBackup = CSettings::boolValue(SettingsKey::RemoveOldBackup, false);
    record.backupPath = QDir::toNativeSeparators(CIOUtils::backupFolder());
    record.autoStart = CSettings::boolValue(SettingsKey::AutoStart, true);
    record.rememberSorting = CSettings::boolValue(SettingsKey::RememberSorting, true);
    record.updateInterval = CSettings::intValue(SettingsKey::UpdateInterval, 1);
    record.serverAddress = CSettings::stringValue(SettingsKey::ServerAddress);
    record.enableProxy = CSettings::boolValue(SettingsKey::EnableProxy, false);
    record.proxyAddress = CSettings::stringValue(SettingsKey::ProxyAddress);
    record.proxyPort = CSettings::intValue(SettingsKey::ProxyPort, 80);
    record.proxyUseAuth = CSettings::boolValue(SettingsKey::ProxyUseAuth, false);
    record.useTheme = CSettings::boolValue(SettingsKey::UseTheme, true);
    record.proxyUserName = CSettings::stringValue(SettingsKey::ProxyUserName);
    record.proxyPassword = CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProxyPassword));
    record.proxyDomain = CSettings::stringValue(SettingsKey::ProxyDomain);
    record.disabledSimulators = CSettings::disabledSimulators();
    record.chunkSize = CSettings::intValue(SettingsKey::ChunkSize, 16);

    record.downloadRegion = CSettings::stringValue(SettingsKey::ServerRegion).trimmed();
    if (record.downloadRegion.isEmpty())
        record.downloadRegion = CUser::instance()->serverRegion().trimmed();
    if (record.downloadRegion.isEmpty()) {
        const QList<ServerRegion> regions = CNetworkStatus::instance()->regions();
        if (!regions.isEmpty())
            record.downloadRegion = regions.first().regionCode;
    }

    const CSimulatorRoots::CacheScope once;
    for (const int simulator : CSimulators::rootSimulators())
        record.simulatorPaths.insert(simulator, CSimulatorRoots::root(simulator, true));
    return record;
}

CSettingsRecord::Outcome CSettingsRecord::store(const CSettingsRecord& record, const CSettingsRecord& shown,
                                                const QString& agentProgram, CSettingsRecord* written)
{
    Outcome outcome;
    CSettingsRecord result = record;
    namespace Key = SettingsKey;

    const QString password = CDownloadLogUtils::encryptText(record.proxyPassword);
    writeChanged(Key::AutoBackup, record.autoBackup, shown.autoBackup);
    writeChanged(Key::RemoveOldBackup, record.removeOldBackup, shown.removeOldBackup);
    const QString backup = record.backupPath.trimmed();
    if (backup.isEmpty()) {
        result.backupPath = shown.backupPath;
    } else if (backup != shown.backupPath && QDir::isRelativePath(backup)) {
        // Relative to whatever folder the program was started in: another one at each start.
        result.backupPath = shown.backupPath;
        outcome.problems << QObject::tr("The backup folder %0 is not a full path; the folder stays %1.")
                                .arg(backup, shown.backupPath);
    } else if (backup != shown.backupPath) {
        if (QDir().mkpath(backup)) {
            CSettings::setValue(Key::BackupPath, backup);
        } else {
            CSettings::setValue(Key::BackupPath, QString());
            result.backupPath = QDir::toNativeSeparators(CIOUtils::backupFolder());
            outcome.problems << QObject::tr("The backup folder %0 could not be created; backups are kept in %1.")
                                    .arg(backup, result.backupPath);
        }
    }
    writeChanged(Key::RememberSorting, record.rememberSorting, shown.rememberSorting);
    writeChanged(Key::AutoStart, record.autoStart, shown.autoStart);
    writeChanged(Key::UpdateInterval, record.updateInterval, shown.updateInterval);
    writeChanged(Key::ServerAddress, record.serverAddress, shown.serverAddress);
    writeChanged(Key::EnableProxy, record.enableProxy, shown.enableProxy);
    writeChanged(Key::ProxyAddress, record.proxyAddress, shown.proxyAddress);
    writeChanged(Key::ProxyPort, record.proxyPort, shown.proxyPort);
    writeChanged(Key::ProxyUseAuth, record.proxyUseAuth, shown.proxyUseAuth);
    writeChanged(Key::ProxyUserName, record.proxyUserName, shown.proxyUserName);
    if (record.proxyPassword != shown.proxyPassword)
        CSettings::setValue(Key::ProxyPassword, password);
    writeChanged(Key::ProxyDomain, record.proxyDomain, shown.proxyDomain);
    writeChanged(Key::UseTheme, record.useTheme, shown.useTheme);
    // Only the simulators switched here: a bit set elsewhere meanwhile stays.
    const int switched = record.disabledSimulators ^ shown.disabledSimulators;
    if (switched) {
        const int bits = (CSettings::disabledSimulators() & ~switched) | (record.disabledSimulators & switched);
        CSettings::setValue(Key::SimulatorsDisable, bits);
    }
    writeChanged(Key::ChunkSize, record.chunkSize, shown.chunkSize);
    writeChanged(Key::ServerRegion, record.downloadRegion, shown.downloadRegion);

    for (auto it = record.simulatorPaths.cbegin(); it != record.simulatorPaths.cend(); ++it) {
        const QString folder = it.value().trimmed();
        const QString before = shown.simulatorPaths.value(it.key());
        if (folder == before)
            continue;
        if (folder.isEmpty()) {
            CSimulatorRoots::setRoot(it.key(), QString());
        } else if (CLocalPath::exists(folder)) {
            CSimulatorRoots::setRoot(it.key(), CSimulatorRoots::normalize(folder));
            result.simulatorPaths[it.key()] = CSimulatorRoots::normalize(folder);
        } else {
            result.simulatorPaths[it.key()] = before;
            outcome.problems << QObject::tr("The folder %0 for %1 does not exist; it was not stored.")
                                    .arg(folder, CSimulators::displayName(it.key()));
        }
    }

    if (!agentProgram.isEmpty()) {
        const bool ok =
            record.autoStart
                ? CRegistry::writeValue(RunKey, RunValueName,
                                        QDir::toNativeSeparators(agentProgram + QStringLiteral(" -autostart")))
                : CRegistry::removeValue(RunKey, RunValueName);
        if (!ok) {
            const QString problem =
                QObject::tr("Starting with your computer could not be %0 in the system's registry.")
                    .arg(record.autoStart ? QObject::tr("switched on") : QObject::tr("switched off"));
            BV_LOG(6, problem);
            outcome.problems << problem;
        }
    }
    if (written)
        *written = result;
    return outcome;
}
