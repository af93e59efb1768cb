#pragma once

#include "commandinfo.h"
#include "foundation/exception.h"

#include <QObject>

#include <atomic>

// Base of the queued commands (update, backup, restore). run() does the work on the command's own thread;
// stop() only raises the cancel flag that run() polls. A command reports any number of taskError and
// taskPulse signals and exactly one taskCompleted.
class CQueueable : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `info`.
    CQueueable(QObject* parent, CommandInfo* info);
    ~CQueueable() override;

    CommandInfo* commandInfo() const { return m_info; }
    bool status() const { return m_status; }
    Exception lastException() const { return m_lastException; }
    QString commandKey() const;

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
    void taskPulse(qint64 current, qint64 total);

protected:
    void setStatus(bool status) { m_status = status; }
    // Records the error as the command's last one and emits taskError.
    void reportError(const Exception& error);
    // Emits taskCompleted the first time only, after giving back what reserve() claimed.
    void complete();
    // Gives back what reserve() (or the command itself) claimed: the work is over.
    virtual void releaseReservation() {}
    bool isCompleted() const { return m_completed; }

private:
    CommandInfo* m_info;
    bool m_status = false;
    bool m_completed = false;
    Exception m_lastException;
    std::atomic<bool> m_stopRequested{false};
};
