#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/caddonstatus.h"
#include "commands/cjobrunner.h"
#include "commands/commandinfo.h"
#include "foundation/exception.h"
#include "model/imainwindowview.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>

class CAddonScan;
class QThread;
class CInitializer;

// The presentation model behind the main window: drives the start-up sequence, fills the add-on list from
// the data index with each location's status, runs scans, turns the items' buttons into queued commands and
// their course into texts, and keeps the mapping list (save, revert, import, export, edits). It owns no
// widgets: everything it shows goes through the view. Lives on the GUI thread; what waits on the disk or
// the network (recovery, commands, scans, the mapping files) runs on worker threads and reports back queued.
class CMainWindowModel : public QObject
{
    Q_OBJECT

public:
    // Deletes the logs beyond the 5 newest.
    explicit CMainWindowModel(QObject* parent = nullptr);
    ~CMainWindowModel() override;

    // Completes interrupted installs and restores on a worker thread, then starts the connectivity timer,
    // the start-up sequence and a connectivity check. `view` must outlive the model.
    void initialize(IMainWindowView* view);
    // The view alone, without the start-up sequence: for driving the list, the files and the scan by
    // themselves (benchmarks).
    void setView(IMainWindowView* view) { m_view = view; }

    // The item key under the "mapping" settings group: one per add-on location.
    static QString itemKey(const QUuid& addonGuid, const QUuid& mappingGuid);
    bool isItemChecked(const QString& itemKey) const;
    // Rewrites the whole "mapping" group with these checked states (item key → checked).
    static void storeCheckedStates(const QMap<QString, bool>& checked);

    // Starts the data index once a user is signed in; the list follows when it completes.
    void updateSupportedItemList();
    // Downloads the data index again (the current edition too) and reads it, as at start; while commands
    // run or wait, once the last has ended.
    void redownloadDataIndex();
    // One item per mapped location, replacing the items shown.
    void addMappedAddons();
    // The item's status from the disk and the data index; after a command, its error decides. The disk is
    // read on a worker thread: the item follows.
    void updateAddonStatus(const QUuid& addonGuid, const QUuid& mappingGuid, const JobReport* report = nullptr);
    // The item of a location whose status has been read (or, with `checking`, not yet).
    AddonItemRecord itemRecord(const AddonStatus& status, const JobReport* report = nullptr,
                               bool checking = false) const;

    // The location's backups as last read (with the list, after a command, or at the last query), at once.
    // A fresh read follows on a worker thread; when it finds another list, the view is asked to build the
    // backup menu of this location again (generateBackupMenu), and then gets the new list here.
    QList<AddonBackupInfo> queryBackupItems(const QUuid& addonGuid, const QUuid& mappingGuid);
    // Deletes a backup package with its record on a worker thread and says in the message list how it went;
    // the backup menu follows as after a query. False when there is no such package to delete.
    bool removeBackup(const AddonBackupInfo& backup);

    // The mapping list. Each file operation and the revert run on a worker thread; `mappingFileDone` follows.
    void saveMapping();
    void revertMapping();
    void importMapping(const QString& file);
    void exportMapping(const QString& file);
    void modifyMappedAddon(const QUuid& addonGuid, const QUuid& mappingGuid);
    void removeMappedAddon(const QUuid& addonGuid, const QUuid& mappingGuid);
    void removeMappedAddonFromInterface(const QUuid& addonGuid, const QUuid& mappingGuid);
    bool isMappingChanged() const { return m_mappingChanged; }
    // Whether the mapped add-ons may be edited now (not while a file operation or a scan reads them).
    bool isMappingBusy() const { return m_mappingBusy; }

    static void clearLog();
    void displayMessage(const QString& title, const QString& content);
    void displayMessage(const Exception& ex);
    static QString getServerAddress();

    bool isOffline() const { return m_offline; }
    CJobRunner& runner() { return m_runner; }

signals:
    // A save, revert, import or export ended (`ok` whether it worked).
    void mappingFileDone(bool ok);
    // The scan ended and its finds joined the mapped list.
    void scanFinished(int found);

public slots:
    void onCommandButtonClicked(const CommandButtonClickedInfo& clickInfo);
    void removeCommand(const CommandInfo& info);
    void onScanAddonClicked(bool clicked = false);
    void onSearchStarted(const QString& addonName, const QString& simulator);
    void onSearchFinished(int found);
    // The editor's result: the mapping joins the mapped list (unsaved).
    void addNewAddon(const AddonInsertInfo& info);
    void resetPromptStatus();

private:
    void startInitializer();
    void onInitializerCompleted(bool completed);
    void onInitializerError(const Exception& ex);
    void onConnectionChanged(bool connected);
    void showOfflineList();
    void connectDataIndex();
    void onDataIndexCompleted(bool succeed);
    void onDataIndexError(int webServiceId, int errorNumber, const QString& message);
    void offerScan();
    void startScan();

    void onJobWaiting(const Job& job, CommandPhase phase, bool busyElsewhere);
    void onJobStarted(const Job& job, CommandPhase phase);
    void onJobProgress(const Job& job, const CommandProgress& progress);
    void onJobError(const Job& job, const Exception& error);
    void onJobFinished(const Job& job, const JobReport& report);
    void setActivity(const Job& job, const QString& text, bool visible, int code);
    void markMappingChanged();

    // Why locations are read: to fill the list, to refresh items, to answer the backup menu.
    enum class Read
    {
        Fill,
        Refresh,
        Query,
    };
    // Every mapped location as the data index has it, without its state (nothing read from the disk).
    static QList<AddonStatus> indexLocations();
    // Reads the locations' states and backups on a worker thread, then shows them on their items. A
    // location read again before the result is back takes the newer result only.
    void readLocations(const QList<AddonStatus>& locations, Read why, const JobReport* report = nullptr);
    struct LocationRead;
    void showLocation(const LocationRead& read, Read why, const JobReport* report);
    // The location's record from the data index, keyed by the two GUIDs also when it is no longer mapped.
    static AddonStatus indexLocation(const QUuid& addonGuid, const QUuid& mappingGuid);

    // Another copy of the program (a scheduled or command-line run) changed a mapped folder.
    void watchMappedFolders(const QStringList& folders);
    void onFolderChanged(const QString& folder);
    bool refuseWhileBusy();

    // Keeps `worker` to be waited for when the model goes: file work must not outlive what it reads.
    void keep(QThread* worker);

    IMainWindowView* m_view = nullptr;
    QList<QPointer<QThread>> m_workers;
    QTimer m_networkTimer;
    QFileSystemWatcher m_folderWatcher;
    QTimer m_folderSettle; // a run writes many files; the items are read again once it is quiet
    QSet<QString> m_changedFolders;
    CInitializer* m_initializer = nullptr;
    CJobRunner m_runner;
    CAddonScan* m_scan = nullptr;
    bool m_listRequested = false;      // the data index was started
    bool m_dataIndexConnected = false; // its signals are connected (once)
    bool m_scanOffered = false;        // nothing mapped was offered a scan once this run
    bool m_noConnectionShown = false;
    bool m_offline = false;
    bool m_mappingChanged = false;
    bool m_mappingBusy = false;
    bool m_scanAfterSave = false;
    Exception m_lastInitializerError;
    bool m_initializerFailed = false;
    QMetaObject::Connection m_indexAfterJobs; // a data index download that waits for the commands
    int m_reads = 0;                          // counts the location reads
    int m_listFill = 0;                       // the newest list fill's read: only its folders are watched
    QHash<QString, int> m_itemRead; // item key -> the newest read that will show it; older results are dropped
    QHash<QString, QList<AddonBackupInfo>> m_backups; // item key -> the location's backups as last read
    QString m_backupMenuKey;                          // the item whose backups the window asked for last
};
