#pragma once

#include "commands/caddoncommand.h"
#include "commands/cbackuppackager.h"
#include "commands/cinstallplan.h"
#include "downloader/cnetworkerror.h"
#include "webservices/downloadstatistics.h"

#include <QElapsedTimer>
#include <QString>
#include <QUuid>

#include <atomic>
#include <memory>

class CDownloadStatisticsRecorder;
class CHttpDownloadManager;
class QTimer;

// Brings one add-on mapping to the current navigation data: asks the web service for the package's
// address, downloads it (resumable: the download folder of a mapping stays the same from run to run),
// reports the download statistics, checks every entry of the package, backs up the installed files when
// automatic backup is on, and installs the package's files by its file mapping as one install that a crash
// or a cancel cannot leave half done (CInstallTransaction). Before anything of the user's is touched, it
// checks the folders, the permissions and the free space it will need.
//
// Runs on its own thread (the command queue's); the REST replies, the download's signals and the 200 ms
// progress timer arrive through that thread's event loop. stop() may be called from any thread.
class CUpdateCommand : public CAddonCommand
{
    Q_OBJECT

public:
    // The longest the end of a command waits for its statistics to leave.
    static constexpr int StatisticsWaitMilliseconds = 5000;

    // Takes ownership of `info`; `target` is the location's record as the command found it.
    CUpdateCommand(CommandInfo* info, const AddonStatus& target);
    ~CUpdateCommand() override;

    // Download, backup, install; then Other.
    CommandPhase phase() const override { return m_phase.load(); }
    // Goes on without the automatic backup whatever the setting says (the user chose to, after a backup
    // failed). Set before the command runs.
    void setBackupSkipped(bool skipped) { m_backupSkipped = skipped; }
    // How long the download (address included), the backup and the install took, in ms; 0 for a step that
    // did not run. Read after taskCompleted.
    qint64 phaseMilliseconds(CommandPhase phase) const;

public slots:
    void run() override;
    void stop() override;
    void onErorThrown(Exception error);

private:
    void getUpdateInfo();
    void createDownloadTask(const QString& url);
    void monitor();
    void onDownloadFinished(QString& url, CNetworkError& error);
    bool autoBackupOn();
    // Opens the downloaded package once, stages its files, backs up what they replace and puts them in place.
    void install();
    // Removes a package that failed its checks and raises why.
    void refuseDamaged(int number, const QString& why);
    CBackupPackager::Request backupRequest(const QString& packagePath) const;
    // Keeps the installed files, when automatic backup is on, before the staged ones replace them; false
    // after raising why the update must stop.
    bool autoBackup();
    // The package's hash; empty with `failure` when it could not be made, empty alone when there was nothing
    // to keep or it was canceled (reported then).
    QString createBackupPackage(const QString& addonFolder, const QString& packagePath, QString* failure);
    void updateSettingsForAirbusX();
    void stopOnOwnThread();
    // Stopped, failed or canceled: what is left of the work is skipped.
    bool isStopping() const { return isCanceled() || hasEnded(); }
    void enterPhase(CommandPhase phase);
    // Phase 5 and the one taskCompleted.
    void end();

    QString m_downloadFolder;
    QString m_archivePath;
    CHttpDownloadManager* m_manager = nullptr;
    std::atomic<CommandPhase> m_phase{CommandPhase::Download};
    DownloadStatistics m_statistics;
    CDownloadStatisticsRecorder* m_recorder = nullptr;
    QTimer* m_monitor = nullptr;
    Exception m_preparationError; // what getUpdateInfo() found; reported when the command runs
    QString m_addonFolder;
    QElapsedTimer m_clock;
    class CRestAPI* m_statisticsUpload = nullptr;
    bool m_endPending = false;
    qint64 m_phaseTimes[int(CommandPhase::Other) + 1] = {};
    bool m_backupSkipped = false;
    QList<PlannedFile> m_incoming; // the files the package writes
    // What the backup package holds (CBackupPackager::Result).
    int m_backupCycle = 0;
    int m_backupRevision = 0;
};
