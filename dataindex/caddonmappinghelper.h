#pragma once

#include <QObject>
#include <QThread>

// Wiring shared by the workers of the data index (the mapping reader, the scan): no behaviour of its own.
class CAddonMappingHelper : public QObject
{
    Q_OBJECT

public:
    // Moves `worker` onto a new thread named `name`, runs `start` on that thread when it starts, and
    // deletes both worker and thread when the thread finishes. The caller connects the worker's signals
    // (they arrive queued) and ends the thread with quit() once the worker reports completion. Returns the
    // started thread.
    template <typename Worker, typename Start>
    static QThread* runOnThread(Worker* worker, const QString& name, Start start)
    {
        auto* thread = new QThread;
        thread->setObjectName(name);
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, start);
        QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
        return thread;
    }
};
