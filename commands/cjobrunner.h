#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/caddonstatus.h"
#include "commands/commandinfo.h"
#include "commands/commandprogress.h"

#include <QList>
#include <QMap>
#include <QObject>

class CProgramCommandQueue;
class CQueueable;

// One add-on command to run: what, where, and for a restore which package and how.
struct Job
{
    CommandInfo info;
    AddonStatus target; // the location as it stood when the job was asked for
    AddonBackupInfo backup;
    int restoreMode = 1;     // restores: 1 into the add-on's folder, 2 into a new folder
    bool skipBackup = false; // updates: without the automatic backup, whatever the setting says
};

// What a finished job leaves besides its outcome.
struct JobReport
{
    CommandResult result;
    // Updates: how long each step took, in ms (0 for a step that did not run).
    QMap<CommandPhase, qint64> phaseMilliseconds;
    // Restores into a new folder: where the files are.
    QString extractedFolder;
};

// Runs add-on commands through the command queue, one at a time, and reports each one's course and its one
// result: what the window's model and the command line both drive. Lives on the GUI thread; the commands
// run on their own threads and never touch the data index: when an install or restore finished, the runner
// records the installed edition there itself.
class CJobRunner : public QObject
{
    Q_OBJECT

public:
    explicit CJobRunner(QObject* parent = nullptr);
    ~CJobRunner() override;

    // Whether a command whose location another copy of the program works on waits (the default), or
    // starts and fails at once.
    void setWaitForBusyLocations(bool wait);

    // Queues the job; false when its location has a command waiting or running already (nothing queued).
    bool add(const Job& job);
    // Stops the job's command when it runs, drops it when it waits; false when there is none.
    bool cancel(const CommandInfo& info);
    void cancelAll();
    // Jobs added that have not finished.
    int pending() const { return m_jobs.size(); }
    bool isBusy() const { return !m_jobs.isEmpty(); }
    // The job of a location that waits or runs, if any.
    const Job* job(const CommandInfo& info) const;
    // Every job that waits or runs.
    QList<Job> jobs() const { return m_jobs.values(); }

signals:
    // Queued; also when its location is busy elsewhere (`busyElsewhere`).
    void jobWaiting(const Job& job, CommandPhase phase, bool busyElsewhere);
    void jobStarted(const Job& job, CommandPhase phase);
    void jobProgress(const Job& job, const CommandProgress& progress);
    // Every error a command reports, as it comes: the window shows some of them at once.
    void jobError(const Job& job, const Exception& error);
    // Exactly once per job added, canceled while waiting included.
    void jobFinished(const Job& job, const JobReport& report);
    // No job waits or runs any more.
    void idle();

private:
    void onCompleted(CQueueable* command);
    void onRemoved(CQueueable* command);
    void finish(CQueueable* command, const JobReport& report);

    CProgramCommandQueue* m_queue;
    QMap<CQueueable*, Job> m_jobs;
};

Q_DECLARE_METATYPE(Job)
Q_DECLARE_METATYPE(JobReport)
