#pragma once

#include <QObject>
#include <QString>
#include <QThread>

// The one way the program puts a worker object on a thread of its own.
//
// start() names the thread (it shows in debuggers and crash dumps), moves the worker onto it, runs `start`
// there once the thread runs, and ties the two lifetimes together: when the thread finishes, the worker is
// deleted on its own thread and the thread after it; when the worker is deleted first (the command queue
// deletes a finished command), its thread quits, having nothing left to do. The caller connects the
// worker's signals (they arrive queued) and ends the thread with quit(), or lets the worker end it.
class CWorkerThread
{
public:
    template <typename Worker, typename Start>
    static QThread* start(Worker* worker, const QString& name, Start start, QObject* threadParent = nullptr)
    {
        auto* thread = new QThread(threadParent);
        thread->setObjectName(name);
        worker->setParent(nullptr);
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, start);
        QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(worker, &QObject::destroyed, thread, &QThread::quit, Qt::DirectConnection);
        thread->start(QThread::InheritPriority);
        return thread;
    }
};
