#include "cprogramcommandqueue.h"

#include "cqueueable.h"
#include "foundation/clogger.h"
#include "foundation/cworkerthread.h"

#include <QThread>

CProgramCommandQueue::CProgramCommandQueue(QObject* parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &CProgramCommandQueue::checkQueueStatus);
    m_timer.start(PollInterval);
}

CProgramCommandQueue::~CProgramCommandQueue()
{
    m_timer.stop();
    QMutexLocker locker(&m_mutex);
    qDeleteAll(m_waiting);
    m_waiting.clear();
    m_keys.clear();
}

bool CProgramCommandQueue::addTask(CQueueable* task)
{
    QMutexLocker locker(&m_mutex);
    const QString key = task->commandKey();
    if (m_keys.contains(key))
        return false;
    for (const CQueueable* running : qAsConst(m_running)) {
        if (running->commandKey() == key)
            return false;
    }
    m_waiting.append(task);
    m_keys.insert(key, task);
    return true;
}

bool CProgramCommandQueue::removeTask(const CommandInfo& info)
{
    QMutexLocker locker(&m_mutex);
    for (CQueueable* running : qAsConst(m_running)) {
        const CommandInfo* runningInfo = running->commandInfo();
        if (runningInfo && runningInfo->addonGuid == info.addonGuid && runningInfo->mappingGuid == info.mappingGuid) {
            running->stop();
            return true;
        }
    }

    const QString key = info.key();
    CQueueable* waiting = m_keys.value(key);
    if (!waiting || !m_waiting.contains(waiting))
        return false;
    m_keys.remove(key);
    m_waiting.removeOne(waiting);
    m_reportedWaiting.removeOne(waiting);
    locker.unlock();
    emit taskRemoved(waiting);
    waiting->deleteLater();
    return true;
}

void CProgramCommandQueue::taskDone(CQueueable* task)
{
    QMutexLocker locker(&m_mutex);
    m_keys.remove(task->commandKey());
    m_running.removeOne(task);
    locker.unlock();
    emit taskFinished(task);
    QMetaObject::invokeMethod(task, "deleteLater");
}

void CProgramCommandQueue::findRunningUpdates()
{
    QList<CommandInfo> updates;
    {
        QMutexLocker locker(&m_mutex);
        for (const CQueueable* running : qAsConst(m_running)) {
            if (running->commandInfo() && running->commandInfo()->type == Update)
                updates.append(*running->commandInfo());
        }
    }
    for (const CommandInfo& info : qAsConst(updates))
        emit onUpdateRemovalItemFound(info);
}

int CProgramCommandQueue::waitingCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_waiting.size();
}

bool CProgramCommandQueue::isRunning() const
{
    QMutexLocker locker(&m_mutex);
    return !m_running.isEmpty();
}

void CProgramCommandQueue::checkQueueStatus()
{
    QMutexLocker locker(&m_mutex);
    if (m_waiting.isEmpty() || !m_running.isEmpty())
        return;

    // The first command in line whose location is free; the ones before it keep their places.
    CQueueable* task = nullptr;
    QList<CQueueable*> nowWaiting;
    for (CQueueable* candidate : qAsConst(m_waiting)) {
        if (!m_waitForBusy || candidate->reserve()) {
            task = candidate;
            break;
        }
        if (!m_reportedWaiting.contains(candidate)) {
            m_reportedWaiting.append(candidate);
            nowWaiting.append(candidate);
        }
    }
    if (task) {
        m_waiting.removeOne(task);
        m_reportedWaiting.removeOne(task);
        m_running.append(task);
    }
    locker.unlock();
    for (CQueueable* waiting : qAsConst(nowWaiting)) {
        BV_LOG(1, QStringLiteral("Task waits: another copy of the program works on its location."));
        emit taskWaiting(waiting);
    }
    if (!task)
        return;
    BV_LOG(1, QStringLiteral("Task detached."));

    connect(task, &CQueueable::taskStarted, this, &CProgramCommandQueue::taskStarted);
    // The command is deleted on its own thread after taskDone(), which ends the thread.
    CWorkerThread::start(task, QStringLiteral("command"), &CQueueable::run);
}
