#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <memory>

// Runs `work` on a thread of its own and hands its result to `done` on `context`'s thread, queued: for the
// model's file work, which must not hold up the window. `done` is dropped when `context` is gone by then.
// The thread deletes itself once it has finished.
template <typename Result, typename Work, typename Done>
QThread* runInBackground(QObject* context, const QString& name, Work work, Done done)
{
    auto result = std::make_shared<Result>();
    QThread* thread = QThread::create([result, work]() { *result = work(); });
    thread->setObjectName(name);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, context, [result, done]() { done(*result); });
    thread->start();
    return thread;
}
