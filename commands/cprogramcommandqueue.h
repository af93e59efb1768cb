#pragma once

#include "commandinfo.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QTimer>

class CQueueable;

// Runs the add-on commands one at a time, in the order they were added, each on a thread of its own,
// and refuses a second command for a mapping that already has one waiting or running.
//
// A command whose add-on location another copy of the program works on (CQueueable::reserve() says no)
// waits, and is tried again at every poll, while the commands behind it run; or, for a caller that would
// rather hear it at once (the command line), starts anyway and reports the busy location itself.
//
// Lives on the GUI thread. The mutex guards the waiting list, the running list and the key map.
// The next command starts only after the owner has called taskDone() for the running one.
class CProgramCommandQueue : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollInterval = 100; // ms

    explicit CProgramCommandQueue(QObject* parent = nullptr);
    ~CProgramCommandQueue() override;

    // False when a command with the same key is waiting or running; the caller keeps the command then.
    bool addTask(CQueueable* task);
    // Stops the running command with these GUIDs (it ends through its own completion) or drops the waiting
    // one; false when there is neither. A dropped waiting command is deleted later.
    bool removeTask(const CommandInfo& info);
    // The command has reported taskCompleted: forget it and delete it on its thread.
    void taskDone(CQueueable* task);
    // Emits onUpdateRemovalItemFound for each running update.
    void findRunningUpdates();

    int waitingCount() const;
    bool isRunning() const;

    // Whether a command with a busy location waits (the default) or starts and fails.
    void setWaitForBusyLocations(bool wait) { m_waitForBusy = wait; }

signals:
    void taskFinished(CQueueable* task);
    void taskStarted(CQueueable* task);
    void taskRemoved(CQueueable* task);
    void taskQueueCleared();
    void taskTypeRemoved();
    void onUpdateRemovalItemFound(CommandInfo info);
    // The command waits for its location, which another copy of the program works on; emitted once.
    void taskWaiting(CQueueable* task);

public slots:
    void checkQueueStatus();

private:
    QList<CQueueable*> m_waiting;
    QList<CQueueable*> m_running;
    QMap<QString, CQueueable*> m_keys;
    QList<CQueueable*> m_reportedWaiting; // taskWaiting was emitted for these
    bool m_waitForBusy = true;
    QTimer m_timer;
    mutable QMutex m_mutex;
};
