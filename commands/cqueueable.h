#pragma once

#include "commandinfo.h"
#include "commands/commandprogress.h"
#include "foundation/exception.h"

#include <QObject>

#include <atomic>

// Base of the queued commands (update, backup, restore). run() does the work on the command's own thread;
// stop() only raises the stop flag that run() polls. A command reports any number of taskError and
// taskPulse signals and exactly one taskCompleted, after which result() says how it ended.
class CQueueable : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `info`.
    CQueueable(QObject* parent, CommandInfo* info);
    ~CQueueable() override;

    CommandInfo* commandInfo() const { return m_info; }
    QString commandKey() const;

    // The step the command is in; a command that has not started yet is in its first step.
    virtual CommandPhase phase() const { return CommandPhase::Other; }
    // How the command ended; read after taskCompleted (before, it is the outcome so far).
    CommandResult result() const { return m_result; }

    // The command's one stop flag: raised by stop() from any thread, polled by the work between files.
    bool isStopRequested() const { return m_stopRequested.load(); }

    // Claims, before the command starts, what it must have to itself (an add-on command: its location, against
    // every copy of the program). False when someone else holds it; the queue then lets the command wait and
    // asks again later. Called on the queue's thread; what it claims is given back when the command completes.
    virtual bool reserve() { return true; }

public slots:
    virtual void run() = 0;
    virtual void stop();

signals:
    void taskCompleted(CQueueable* task);
    void taskStarted(CQueueable* task);
    void taskTerminiated(CQueueable* task);
    void taskError(Exception error);
    void taskPulse(CommandProgress progress);

protected:
    // The command's work failed: the first failure becomes the result (a cancel before it stays a cancel),
    // and every one is emitted as taskError.
    void reportFailure(const Exception& error);
    // The command stopped because it was asked to: the result is a cancel, emitted as taskError.
    void reportCancel(const Exception& error);
    // taskPulse of the current step: `done` of `total`, or only that the step is being prepared.
    void pulse(qint64 done, qint64 total);
    void pulsePreparing();
    // Whether the command has failed or been canceled: the rest of its work is skipped.
    bool hasEnded() const { return m_result.outcome != CommandResult::Succeeded; }
    std::atomic<bool>* stopFlag() { return &m_stopRequested; }
    // Emits taskCompleted the first time only, after giving back what reserve() claimed.
    void complete();
    // Gives back what reserve() (or the command itself) claimed: the work is over.
    virtual void releaseReservation() {}
    bool isCompleted() const { return m_completed; }

private:
    CommandInfo* m_info;
    bool m_completed = false;
    CommandResult m_result;
    std::atomic<bool> m_stopRequested{false};
};
