#include "cmainwindowmodel.h"

#include "commands/caddonscan.h"
#include "commands/cbackuplist.h"
#include "commands/cinstallrecovery.h"
#include "commands/clocalindex.h"
#include "commands/commanderrors.h"
#include "dataindex/cdataindex.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cbackgroundwork.h"
#include "model/cinitializer.h"
#include "model/cmappingfiles.h"
#include "model/ctasktexts.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <optional>
#include <utility>

namespace
{
QString noConnectionMessage()
{
    return CMainWindowModel::tr("<b>%0</b>: %1")
        .arg(CMainWindowModel::tr("Error"),
             CMainWindowModel::tr(
                 "No active Internet connection detected. Would you like to <a href=\"#\">retry</a> now?"));
}

int itemStatus(AddonStatus::State state)
{
    switch (state) {
    case AddonStatus::Updated:
        return ItemUpdated;
    case AddonStatus::Outdated:
        return ItemOutdated;
    case AddonStatus::Restored:
        return ItemRestored;
    case AddonStatus::NotInstalled:
        return ItemNotInstalled;
    case AddonStatus::Missing:
        return ItemMissing;
    case AddonStatus::Interrupted:
        return ItemInterrupted;
    case AddonStatus::Unsupported:
        return ItemUnsupported;
    }
    return ItemNotInstalled;
}
} // namespace

CMainWindowModel::CMainWindowModel(QObject* parent)
    : QObject(parent)
    , m_scan(new CAddonScan(this))
{
    qRegisterMetaType<CommandButtonClickedInfo>("CommandButtonClickedInfo");
    qRegisterMetaType<AddonInsertInfo>("AddonInsertInfo");
    clearLog();
    connect(&m_runner, &CJobRunner::jobWaiting, this, &CMainWindowModel::onJobWaiting);
    connect(&m_runner, &CJobRunner::jobStarted, this, &CMainWindowModel::onJobStarted);
    connect(&m_runner, &CJobRunner::jobProgress, this, &CMainWindowModel::onJobProgress);
    connect(&m_runner, &CJobRunner::jobError, this, &CMainWindowModel::onJobError);
    connect(&m_runner, &CJobRunner::jobFinished, this, &CMainWindowModel::onJobFinished);
    connect(m_scan, &CAddonScan::searchStarted, this, &CMainWindowModel::onSearchStarted);
    connect(m_scan, &CAddonScan::addonFound, this, [](const FoundAddon& addon) {
        BV_LOG(1, QStringLiteral("Addon %0 [%1] for simulator %2 found")
                      .arg(addon.name, addon.addonGuid.toString(), addon.simulator));
    });
    connect(m_scan, &CAddonScan::finished, this, &CMainWindowModel::onSearchFinished);
    connect(&m_folderWatcher, &QFileSystemWatcher::directoryChanged, this, &CMainWindowModel::onFolderChanged);
    m_folderSettle.setSingleShot(true);
    m_folderSettle.setInterval(500);
    connect(&m_folderSettle, &QTimer::timeout, this, [this]() {
        const QSet<QString> folders = std::exchange(m_changedFolders, {});
        QList<AddonStatus> changed;
        for (const AddonStatus& location : indexLocations()) {
            if (folders.contains(QDir::cleanPath(QDir::fromNativeSeparators(location.folder))))
                changed.append(location);
        }
        readLocations(changed, Read::Refresh);
    });
}

void CMainWindowModel::watchMappedFolders(const QStringList& folders)
{
    if (!m_folderWatcher.directories().isEmpty())
        m_folderWatcher.removePaths(m_folderWatcher.directories());
    if (!folders.isEmpty())
        m_folderWatcher.addPaths(folders);
}

void CMainWindowModel::onFolderChanged(const QString& folder)
{
    m_changedFolders.insert(QDir::cleanPath(folder));
    m_folderSettle.start();
}

void CMainWindowModel::keep(QThread* worker)
{
    m_workers.removeAll(nullptr);
    m_workers.append(worker);
}

CMainWindowModel::~CMainWindowModel()
{
    // File work still on its way is waited for a while: a read that hangs on a dead network drive is left.
    QDeadlineTimer deadline(10000);
    for (const QPointer<QThread>& worker : qAsConst(m_workers)) {
        if (worker)
            worker->wait(deadline);
    }
    // The runner cancels what is left as it goes; the items are gone with the window by then.
    m_runner.disconnect(this);
}

void CMainWindowModel::initialize(IMainWindowView* view)
{
    m_view = view;
    m_networkTimer.setInterval(10000);
    BV_LOG(1, QStringLiteral("Initializing window-model"));
    CNetworkStatus* network = CNetworkStatus::instance();
    connect(network, &CNetworkStatus::connectionChanged, this, &CMainWindowModel::onConnectionChanged);
    connect(&m_networkTimer, &QTimer::timeout, network, &CNetworkStatus::check);
    BV_LOG(1, QStringLiteral("Network check timer started..."));
    m_networkTimer.start();

    // Installs and restores that a crash cut short are completed before anything reads their folders.
    struct Recovery
    {
        bool loaded = false;
        Exception error;
        QMap<QString, QString> pending;
    };
    CDataIndex::instance(); // made here, so that it lives on this thread
    m_mappingBusy = true;
    keep(runInBackground<Recovery>(
        this, QStringLiteral("recovery"),
        []() {
            Recovery recovery;
            QString warning;
            recovery.loaded = CLocalIndex::load(&recovery.error, &warning);
            if (recovery.loaded)
                recovery.pending = CInstallRecovery::recoverMappedLocations();
            return recovery;
        },
        [this](const Recovery& recovery) {
            m_mappingBusy = false;
            if (!recovery.loaded)
                displayMessage(recovery.error);
            for (auto it = recovery.pending.cbegin(); it != recovery.pending.cend(); ++it)
                BV_LOG(6, QStringLiteral("Install in %0 still pending: %1").arg(it.key(), it.value()));
            startInitializer();
            BV_LOG(1, QStringLiteral("Initializing command queue"));
            BV_LOG(1, QStringLiteral("Try to update connection"));
            CNetworkStatus::instance()->check();
        }));
}

void CMainWindowModel::startInitializer()
{
    if (!m_initializer) {
        m_initializer = CInitializer::instance();
        connect(m_initializer, &CInitializer::error, this, &CMainWindowModel::onInitializerError);
        connect(m_initializer, &CInitializer::completed, this, &CMainWindowModel::onInitializerCompleted);
    }
    m_initializerFailed = false;
    BV_LOG(1, QStringLiteral("Try to invoke initializer"));
    m_initializer->initialize();
}

void CMainWindowModel::onInitializerError(const Exception& ex)
{
    m_initializerFailed = true;
    m_lastInitializerError = ex;
    m_view->hideWaitingScreen();
    if (ex.errorNumber == 0 || ex.errorNumber == -901)
        m_view->showLoginMessage(tr("Your username or password is incorrect."));
    if (ex.errorNumber != 0 && ex.errorNumber != 1)
        m_view->addMessage(8, tr("An error occurred when attempting to login. Error code: %0.").arg(ex.errorNumber));
}

void CMainWindowModel::onInitializerCompleted(bool completed)
{
    BV_LOG(1, QStringLiteral("Initializer reports completed. Completed flag=%0")
                  .arg(completed ? QStringLiteral("true") : QStringLiteral("false")));
    BV_LOG(1, QStringLiteral("Try to supported item list"));
    CUser* user = CUser::instance();
    // The web service could not be asked, but this machine was signed in before: the local list is shown.
    if (!completed && m_initializerFailed && m_lastInitializerError.errorLevel == 8 && user->restoreStoredOffline()) {
        showOfflineList();
        return;
    }
    if (!completed || user->userId() == -1) {
        BV_LOG(1, QStringLiteral("Switch to login mode"));
        m_view->hideWaitingScreen();
        m_view->switchView(4);
        return;
    }
    BV_LOG(1, QStringLiteral("Switch to normal mode"));
    m_offline = false;
    m_view->switchView(1);
    BV_LOG(1, QStringLiteral("Preparing to set user status to %0").arg(user->state()));
    const std::optional<CycleInfo> cycle = CDataCycle::instance()->currentCycle();
    m_view->setUserStatus(user->userName(), cycle ? QString::number(cycle->cycle) : QString());
    updateSupportedItemList();
}

void CMainWindowModel::showOfflineList()
{
    BV_LOG(6, QStringLiteral("Web service unreachable; showing the local list"));
    m_offline = true;
    m_view->switchView(1);
    m_view->setUserStatus(CUser::instance()->userName(), QString());
    addMappedAddons();
    m_view->hideWaitingScreen();
    m_view->addMessage(6, tr("Unable to check cycle against server"));
}

void CMainWindowModel::onConnectionChanged(bool connected)
{
    if (!connected && !m_noConnectionShown) {
        m_noConnectionShown = true;
        m_view->addMessage(8, noConnectionMessage());
        for (const Job& job : m_runner.jobs()) {
            if (job.info.type == Update)
                m_runner.cancel(job.info);
        }
        m_offline = true;
        readLocations(indexLocations(), Read::Refresh);
    } else if (connected && m_noConnectionShown) {
        m_noConnectionShown = false;
        m_view->removeMessage(noConnectionMessage());
        m_view->displayWaitingMessage(tr("Determining your account status..."));
        startInitializer();
        CDataIndex::instance()->initialize();
    }
}

void CMainWindowModel::updateSupportedItemList()
{
    BV_LOG(1, QStringLiteral("Try to update supported item list."));
    // Offline the local list stands until the connection is back, which starts the data index itself.
    if (CUser::instance()->userId() == -1 || m_offline)
        return;
    if (!m_dataIndexConnected)
        connectDataIndex();
    if (m_listRequested)
        return;
    m_listRequested = true;
    m_view->displayWaitingMessage(tr("Updating your data index..."));
    CDataIndex::instance()->initialize();
}

void CMainWindowModel::connectDataIndex()
{
    m_dataIndexConnected = true;
    CDataIndex* index = CDataIndex::instance();
    connect(index, &CDataIndex::completed, this, &CMainWindowModel::onDataIndexCompleted);
    connect(index, &CDataIndex::error, this, &CMainWindowModel::onDataIndexError);
    connect(index, &CDataIndex::beginAddonSearch, this, [this]() {
        BV_LOG(1, QStringLiteral("Begin search signal received."));
        m_view->displayWaitingMessage(tr("Gathering detailed information for your mapped addons..."));
    });
    connect(index, &CDataIndex::endAddonSearch, this, [this]() {
        BV_LOG(1, QStringLiteral("End search signal received."));
        offerScan();
    });
}

void CMainWindowModel::onDataIndexCompleted(bool succeed)
{
    BV_LOG(1, QStringLiteral("Data index update completed. status is %0")
                  .arg(succeed ? QStringLiteral("true") : QStringLiteral("false")));
    BV_LOG(1, QStringLiteral("Removing waiting screen."));
    BV_LOG(1, QStringLiteral("Sorting item...."));
    m_offline = false;
    m_mappingChanged = false; // the mapped list was read anew
    addMappedAddons();
    m_view->hideWaitingScreen();
    m_view->sortItem(CSettings::sortBy());
}

void CMainWindowModel::onDataIndexError(int webServiceId, int errorNumber, const QString& message)
{
    BV_LOG(6, QStringLiteral("Data index initialization is an error. See line below:"));
    Exception ex(errorNumber, 8, message, __LINE__, QStringLiteral("CMainWindowModel::onDataIndexError"),
                 QStringLiteral("cmainwindowmodel"));
    BV_LOG(6, QStringLiteral("[%0] %1").arg(webServiceId).arg(ex.toString()));
    displayMessage(ex);
    m_view->hideWaitingScreen();
    m_view->sortItem(CSettings::sortBy());
}

void CMainWindowModel::offerScan()
{
    if (m_scanOffered)
        return;
    m_scanOffered = true;
    if (CDataIndex::instance()->mappedAddons().isEmpty() && CSettings::askScanIfNoAddonMapped())
        m_view->checkForScannignAddons();
}

void CMainWindowModel::resetPromptStatus()
{
    m_scanOffered = false;
}

QString CMainWindowModel::itemKey(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    return CommandInfo::commandKey(addonGuid, mappingGuid);
}

bool CMainWindowModel::isItemChecked(const QString& key) const
{
    BV_LOG(1, QStringLiteral("Try to get checked info."));
    BV_LOG(1, QStringLiteral("Check if remember sorting."));
    if (!CSettings::rememberSorting()) {
        BV_LOG(1, QStringLiteral("Result is: false"));
        return false;
    }
    BV_LOG(1, QStringLiteral("Remember Sorting... Getting checked info"));
    const bool checked = CSettings::boolValue(QStringLiteral("%0/%1").arg(SettingsKey::MappingGroup, key), false);
    BV_LOG(1, QStringLiteral("Result is: %0").arg(checked ? QStringLiteral("true") : QStringLiteral("false")));
    return checked;
}

void CMainWindowModel::storeCheckedStates(const QMap<QString, bool>& checked)
{
    CSettings::remove(SettingsKey::MappingGroup);
    for (auto it = checked.cbegin(); it != checked.cend(); ++it)
        CSettings::setValue(QStringLiteral("%0/%1").arg(SettingsKey::MappingGroup, it.key()), it.value());
}

void CMainWindowModel::addMappedAddons()
{
    BV_LOG(1, QStringLiteral("Try to add mapped addons"));
    m_view->clearItems();
    // The items show at once from the data index; what the disk says (installed records, pending installs,
    // backups) is read on a worker thread, where a slow or network drive holds up nobody, and follows.
    const QList<AddonStatus> locations = indexLocations();
    for (const AddonStatus& location : locations) {
        BV_LOG(1, QStringLiteral("Add item: name=%0, addonguid=%1, mappingguid=%2")
                      .arg(location.name, location.addonGuid.toString(), location.mappingGuid.toString()));
        m_view->addMappedAddon(itemRecord(location, nullptr, true));
    }
    readLocations(locations, Read::Fill);
}

QList<AddonStatus> CMainWindowModel::indexLocations()
{
    QList<AddonStatus> locations;
    for (const IndexInfo* addon : CDataIndex::instance()->mappedAddons()) {
        for (const IndexPathInfo* location : qAsConst(addon->paths))
            locations.append(CAddonStatus::fromIndex(addon->guid, location->mappingGuid));
    }
    return locations;
}

struct CMainWindowModel::LocationRead
{
    AddonStatus status;
    bool backupsRead = false;
    QList<AddonBackupInfo> backups;
    Exception backupError;
};

void CMainWindowModel::readLocations(const QList<AddonStatus>& locations, Read why, const JobReport* report)
{
    if (locations.isEmpty())
        return;
    const int read = ++m_reads;
    if (why == Read::Fill)
        m_listFill = read;
    for (const AddonStatus& location : locations)
        m_itemRead.insert(itemKey(location.addonGuid, location.mappingGuid), read);
    const std::optional<JobReport> reported = report ? std::optional<JobReport>(*report) : std::nullopt;
    keep(runInBackground<QList<LocationRead>>(
        this, QStringLiteral("location reads"),
        [locations]() {
            QList<LocationRead> results;
            for (const AddonStatus& location : locations) {
                LocationRead result{location, false, {}, {}};
                CAddonStatus::readDisk(&result.status);
                result.backupsRead =
                    CBackupList::of(location.addonGuid, location.mappingGuid, &result.backups, &result.backupError);
                results.append(result);
            }
            return results;
        },
        [this, read, why, reported](const QList<LocationRead>& results) {
            QStringList watched;
            for (const LocationRead& result : results) {
                const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(result.status.folder));
                if (!folder.isEmpty() && result.status.state != AddonStatus::Missing && !watched.contains(folder))
                    watched.append(folder);
                const QString key = itemKey(result.status.addonGuid, result.status.mappingGuid);
                if (m_itemRead.value(key) != read)
                    continue; // a newer read of this location is on its way
                m_itemRead.remove(key);
                showLocation(result, why, reported ? &*reported : nullptr);
            }
            if (read == m_listFill)
                watchMappedFolders(watched);
        }));
}

void CMainWindowModel::showLocation(const LocationRead& read, Read why, const JobReport* report)
{
    const QUuid addonGuid = read.status.addonGuid, mappingGuid = read.status.mappingGuid;
    const QString key = itemKey(addonGuid, mappingGuid);
    if (read.backupsRead) {
        const QList<AddonBackupInfo> before = m_backups.value(key);
        m_backups.insert(key, read.backups);
        const auto samePackage = [](const AddonBackupInfo& a, const AddonBackupInfo& b) {
            return a.path == b.path && a.hash == b.hash && a.date == b.date;
        };
        const bool changed = before.size() != read.backups.size() ||
                             !std::equal(before.cbegin(), before.cend(), read.backups.cbegin(), samePackage);
        if (changed && key == m_backupMenuKey)
            m_view->generateBackupMenu(addonGuid, mappingGuid);
    } else if (why == Read::Query) {
        displayMessage(read.backupError);
    }
    // A location removed meanwhile has no item; while a command waits or runs, its own result decides.
    if (!CDataIndex::instance()->mappedLocation(addonGuid, mappingGuid) ||
        (!report && m_runner.job(CommandInfo(addonGuid, mappingGuid, Update))))
        return;
    const AddonItemRecord item = itemRecord(read.status, report);
    if (why == Read::Refresh) {
        if (item.status == ItemRestored)
            BV_LOG(1, QStringLiteral("Set cycle span to restore"));
        else if (item.status == ItemUpdated)
            BV_LOG(1, QStringLiteral("Set cycle span to updated"));
        else if (item.status == ItemOutdated)
            BV_LOG(1, QStringLiteral("Set cycle span to outdated"));
        BV_LOG(1, QStringLiteral("Try to update addon status"));
    }
    m_view->updateItem(item);
}

AddonItemRecord CMainWindowModel::itemRecord(const AddonStatus& status, const JobReport* report, bool checking) const
{
    const QUuid addonGuid = status.addonGuid;
    const QUuid mappingGuid = status.mappingGuid;
    AddonItemRecord item;
    item.addonGuid = addonGuid;
    item.mappingGuid = mappingGuid;
    item.name = status.name;
    item.simulator = status.simulator;
    item.directory = status.folder;
    item.checked = isItemChecked(itemKey(addonGuid, mappingGuid));
    item.cycle = status.installedCycle;
    item.revision = status.installedRevision;
    item.currentCycle = status.currentCycle;
    item.currentRevision = status.currentRevision;
    item.backup = status.state == AddonStatus::Restored;
    if (const IndexPathInfo* location = CDataIndex::instance()->mappedLocation(addonGuid, mappingGuid)) {
        item.platform = platformName(location->platform);
        item.specified = location->specified;
        item.backupDate = location->date;
    }
    item.status = itemStatus(status.state);
    if (checking) {
        item.status = ItemChecking;
        item.statusText = tr("Checking the installed files...");
        return item;
    }
    if (report && !report->result.succeeded()) {
        item.status = ItemError;
        item.statusText = CTaskTexts::taskError(report->result.error.errorNumber, report->result.error.message);
        return item;
    }
    switch (status.state) {
    case AddonStatus::Missing:
        item.statusText = tr("The folder of this addon was not found. If the addon or the simulator moved, please "
                             "scan again.");
        break;
    case AddonStatus::Interrupted:
        item.statusText = tr("An install could not be completed (%0). It is completed before the next command runs.")
                              .arg(status.reason);
        break;
    case AddonStatus::Unsupported:
        item.statusText = tr("This addon is no longer in the data index.");
        break;
    default:
        if (m_offline)
            item.statusText = tr("Unable to check cycle against server");
        break;
    }
    return item;
}

void CMainWindowModel::updateAddonStatus(const QUuid& addonGuid, const QUuid& mappingGuid, const JobReport* report)
{
    BV_LOG(1, QStringLiteral("Updating addon status for addon %0, mapping %1")
                  .arg(addonGuid.toString(), mappingGuid.toString()));
    readLocations({indexLocation(addonGuid, mappingGuid)}, Read::Refresh, report);
}

AddonStatus CMainWindowModel::indexLocation(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    AddonStatus location = CAddonStatus::fromIndex(addonGuid, mappingGuid);
    location.addonGuid = addonGuid;
    location.mappingGuid = mappingGuid;
    return location;
}

void CMainWindowModel::onScanAddonClicked(bool)
{
    BV_LOG(1, QStringLiteral("Scan addon button clicked"));
    if (m_scan->isRunning() || refuseWhileBusy())
        return;
    if (m_mappingChanged) {
        const int answer = m_view->question(
            tr("Scan for addons"),
            tr("Your current edits have to be saved before the program scans your hard drive for addons.\r\n"
               "Would you like to save the edits and proceed scanning?"),
            {tr("Save and Proceed"), tr("Cancel")});
        if (answer != 0)
            return;
        BV_LOG(1, QStringLiteral("Mapping changed, begin notification"));
        m_scanAfterSave = true;
        saveMapping();
        return;
    }
    startScan();
}

void CMainWindowModel::startScan()
{
    if (CSettings::boolValue(SettingsKey::AskForXPlanePath)) {
        bool known = false;
        for (int simulator : {SimXPlane9, SimXPlane10, SimXPlane11})
            known = known || !CSimulatorRoots::root(simulator).isEmpty();
        if (!known) {
            // Asked once: X-Plane has no registry entry to find it by.
            CSettings::setValue(SettingsKey::AskForXPlanePath, false);
            const QString file = m_view->getOpenFileName(tr("Please select a location for your flight simulator..."),
                                                         tr("X-Plane Executable (X-Plane.exe)"));
            if (!file.isEmpty())
                CSimulatorRoots::setRoot(SimXPlane11, QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
        }
    }
    BV_LOG(1, QStringLiteral("Begin scanning"));
    m_scan->start();
}

void CMainWindowModel::onSearchStarted(const QString& addonName, const QString& simulator)
{
    m_view->displayWaitingMessage(tr("Searching for %0, (%1).").arg(addonName, simulator));
}

void CMainWindowModel::onSearchFinished(int found)
{
    BV_LOG(1, QStringLiteral("Search finished"));
    if (m_scan->addToMapped().added > 0)
        markMappingChanged();
    addMappedAddons();
    m_view->addMessage(3, tr("Scan completed - %0 addons detected.").arg(found));
    m_view->hideWaitingScreen();
    emit scanFinished(found);
}

void CMainWindowModel::redownloadDataIndex()
{
    // A command reads the index's records as it starts: the index is read again between commands, not
    // under them.
    if (m_runner.isBusy()) {
        if (!m_indexAfterJobs) {
            m_view->addMessage(1, tr("The data index will be downloaded again when the running tasks have finished."));
            m_indexAfterJobs = connect(&m_runner, &CJobRunner::idle, this, [this]() {
                disconnect(m_indexAfterJobs);
                m_indexAfterJobs = {};
                redownloadDataIndex();
            });
        }
        return;
    }
    if (CUser::instance()->userId() == -1 || CDataIndex::instance()->isChecking() || refuseWhileBusy())
        return;
    BV_LOG(1, QStringLiteral("Data index asked for again."));
    if (!m_dataIndexConnected)
        connectDataIndex();
    m_listRequested = true;
    m_view->displayWaitingMessage(tr("Updating your data index..."));
    CDataIndex::instance()->redownload();
}
