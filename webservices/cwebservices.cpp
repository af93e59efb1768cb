#include "cwebservices.h"

#include "app/clogger.h"
#include "cwebservicestask.h"
#include "cycleinfo.h"
#include "fmsdataindexinfo.h"

#include <QThread>

#include <atomic>

namespace
{
std::atomic<int> liveThreads{0};
}

CWebServices::CWebServices(QObject* parent)
    : QObject(parent)
{
    // Before the first queued emission carries one.
    CycleInfo::registerMetaType();
    qRegisterMetaType<FMSDataIndexInfo*>("FMSDataIndexInfo*");
}

int CWebServices::liveThreadCount()
{
    return liveThreads.load();
}

void CWebServices::startTask(void (CWebServicesTask::*work)(), const QString& function, const QString& startMessage,
                             const QString& doneMessage)
{
    auto* task = new CWebServicesTask;
    auto* thread = new QThread;
    ++liveThreads;
    connect(thread, &QObject::destroyed, []() { --liveThreads; });

    connect(task, &CWebServicesTask::done, this, &CWebServices::workCompleted);
    connect(task, &CWebServicesTask::error, this, &CWebServices::errorReceived);
    task->moveToThread(thread);
    connect(thread, &QThread::started, task, work);
    connect(thread, &QThread::finished, task, &QObject::deleteLater);
    connect(task, &CWebServicesTask::stopped, thread, &QThread::quit);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(task, &CWebServicesTask::done, this,
            [function, doneMessage]() { CLogger::logFunction(function, doneMessage); });

    CLogger::logFunction(function, startMessage);
    thread->start(QThread::InheritPriority);
}

void CWebServices::getCurrentAIRACCycle()
{
    startTask(&CWebServicesTask::doGetCurrentFMSCycle, QStringLiteral("CWebServices::getCurrentAIRACCycle"),
              QStringLiteral("Sending request..."), QStringLiteral("Received data from REST endpoint."));
}

void CWebServices::getFMSIndex()
{
    startTask(&CWebServicesTask::doGetFMSIndex, QStringLiteral("CWebServices::getFMSIndex"),
              QStringLiteral("Requesting FMS Data Index..."), QStringLiteral("Received FMS Data Index"));
}
