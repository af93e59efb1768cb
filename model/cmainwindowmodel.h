#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/caddonstatus.h"
#include "commands/cjobrunner.h"
#include "commands/commandinfo.h"
#include "foundation/exception.h"
#include "model/imainwindowview.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>

class CAddonScan;
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
    // Checks the data index against the web service and reads it again (downloading a new edition), as at
    // start; while commands run or wait, once the last has ended.
    void redownloadDataIndex();
    // One item per mapped location, replacing the items shown.
    void addMappedAddons();
    // The item's status from the disk and the data index; after a command, its error decides.
    void updateAddonStatus(const QUuid& addonGuid, const QUuid& mappingGuid, const JobReport* report = nullptr);
    AddonItemRecord itemRecord(const QUuid& addonGuid, const QUuid& mappingGuid,
                               const JobReport* report = nullptr) const;
    // The item of a location whose status has been read (or, with `checking`, not yet).
    AddonItemRecord itemRecord(const AddonStatus& status, const JobReport* report = nullptr,
                               bool checking = false) const;

    QList<AddonBackupInfo> queryBackupItems(const QUuid& addonGuid, const QUuid& mappingGuid);
    // Deletes a backup package with its record and says so in the message list.
    bool removeBackup(const AddonBackupInfo& backup);

    // The mapping list. Each file operation runs on a worker thread; `mappingFileDone` follows.
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
    // A save, import or export ended (`ok` whether it worked).
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
    // Another copy of the program (a scheduled or command-line run) changed a mapped folder.
    void watchMappedFolders();
    void onFolderChanged(const QString& folder);
    bool refuseWhileBusy();

    IMainWindowView* m_view = nullptr;
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
    int m_listFill = 0; // counts the list fills: a fill's statuses that come back after a newer fill are dropped
};
