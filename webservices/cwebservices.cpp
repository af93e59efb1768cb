#include "cwebservices.h"

#include "cwebservicestask.h"
#include "cycleinfo.h"
#include "fmsdataindexinfo.h"
#include "foundation/clogger.h"
#include "foundation/cworkerthread.h"

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
    qRegisterMetaType<CRestFailure>("CRestFailure");
}

int CWebServices::liveThreadCount()
{
    return liveThreads.load();
}

void CWebServices::startTask(void (CWebServicesTask::*work)(), const QString& function, const QString& startMessage,
                             const QString& doneMessage)
{
    auto* task = new CWebServicesTask;
    connect(task, &CWebServicesTask::done, this, &CWebServices::workCompleted);
    connect(task, &CWebServicesTask::failed, this, &CWebServices::requestFailed);
    connect(task, &CWebServicesTask::error, this, &CWebServices::errorReceived);
    connect(task, &CWebServicesTask::done, this,
            [function, doneMessage]() { CLogger::logFunction(function, doneMessage); });

    CLogger::logFunction(function, startMessage);
    QThread* thread = CWorkerThread::start(task, QStringLiteral("web service"), work);
    ++liveThreads;
    connect(thread, &QObject::destroyed, []() { --liveThreads; });
    connect(task, &CWebServicesTask::stopped, thread, &QThread::quit);
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
