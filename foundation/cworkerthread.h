#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>

// The one way the program puts a worker object on a thread of its own.
//
// start() names the thread (it shows in debuggers and crash dumps), moves the worker onto it, runs `start`
// there once the thread runs, and ties the two lifetimes together: when the thread's loop ends, the worker
// and everything it owns are deleted on that thread before the thread counts as ended, and the thread
// object is deleted after it; when the worker is deleted first (the command queue deletes a finished
// command), its thread quits, having nothing left to do. The caller connects the worker's signals (they
// arrive queued) and ends the thread with quit(), or lets the worker end it.
class CWorkerThread : public QThread
{
public:
    template <typename Worker, typename Start>
    static QThread* start(Worker* worker, const QString& name, Start start, QObject* threadParent = nullptr)
    {
        auto* thread = new CWorkerThread(worker, threadParent);
        thread->setObjectName(name);
        worker->setParent(nullptr);
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, start);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(worker, &QObject::destroyed, thread, &QThread::quit, Qt::DirectConnection);
        ++s_live;
        thread->QThread::start(QThread::InheritPriority);
        return thread;
    }

    // Threads started here whose worker has not yet been torn down. A process that ends while one runs
    // cuts its work (a request, a file) off midway, so a program waits for this to reach 0 before it goes.
    static int liveCount() { return s_live.load(); }

private:
    CWorkerThread(QObject* worker, QObject* parent)
        : QThread(parent)
        , m_worker(worker)
    {
    }

    void run() override
    {
        exec();
        delete m_worker.data();
        // What the worker's teardown handed to deleteLater() goes with it, on this thread.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        --s_live;
    }

    QPointer<QObject> m_worker;
    static inline std::atomic<int> s_live{0};
};
