#include "cjobrunner.h"

#include "commands/ccommandfactory.h"
#include "commands/clocalindex.h"
#include "commands/cprogramcommandqueue.h"
#include "commands/cqueueable.h"
#include "commands/crestorecommand.h"
#include "commands/cupdatecommand.h"

#include <QTimer>

CJobRunner::CJobRunner(QObject* parent)
    : QObject(parent)
    , m_queue(new CProgramCommandQueue(this))
{
    qRegisterMetaType<Job>("Job");
    qRegisterMetaType<JobReport>("JobReport");
    connect(m_queue, &CProgramCommandQueue::taskRemoved, this, &CJobRunner::onRemoved);
    connect(m_queue, &CProgramCommandQueue::taskWaiting, this, [this](CQueueable* command) {
        if (m_jobs.contains(command))
            emit jobWaiting(m_jobs.value(command), command->phase(), true);
    });
}

CJobRunner::~CJobRunner()
{
    // Commands still running end with their threads; the queue deletes the waiting ones.
    cancelAll();
}

void CJobRunner::setWaitForBusyLocations(bool wait)
{
    m_queue->setWaitForBusyLocations(wait);
}

bool CJobRunner::add(const Job& job)
{
    CQueueable* command = CCommandFactory::create(job.info, job.restoreMode, &job.backup);
    if (!command)
        return false;
    if (auto* update = qobject_cast<CUpdateCommand*>(command))
        update->setBackupSkipped(job.skipBackup);
    if (!m_queue->addTask(command)) {
        delete command;
        return false;
    }
    m_jobs.insert(command, job);
    connect(command, &CQueueable::taskStarted, this,
            [this, command]() { emit jobStarted(m_jobs.value(command), command->phase()); });
    connect(command, &CQueueable::taskPulse, this,
            [this, command](const CommandProgress& progress) { emit jobProgress(m_jobs.value(command), progress); });
    connect(command, &CQueueable::taskError, this,
            [this, command](const Exception& error) { emit jobError(m_jobs.value(command), error); });
    connect(command, &CQueueable::taskCompleted, this, &CJobRunner::onCompleted);
    emit jobWaiting(job, command->phase(), false);
    // The queue polls; a job added to an idle queue needn't wait for the poll.
    QTimer::singleShot(0, m_queue, &CProgramCommandQueue::checkQueueStatus);
    return true;
}

bool CJobRunner::cancel(const CommandInfo& info)
{
    return m_queue->removeTask(info);
}

void CJobRunner::cancelAll()
{
    const QList<Job> jobs = m_jobs.values();
    for (const Job& job : jobs)
        cancel(job.info);
}

const Job* CJobRunner::job(const CommandInfo& info) const
{
    for (auto it = m_jobs.cbegin(); it != m_jobs.cend(); ++it) {
        if (it->info.key() == info.key())
            return &it.value();
    }
    return nullptr;
}

void CJobRunner::onCompleted(CQueueable* command)
{
    if (!m_jobs.contains(command))
        return;
    const Job& job = m_jobs[command];
    JobReport report;
    report.result = command->result();
    if (const auto* update = qobject_cast<CUpdateCommand*>(command)) {
        for (CommandPhase phase : {CommandPhase::Download, CommandPhase::Backup, CommandPhase::Install})
            report.phaseMilliseconds.insert(phase, update->phaseMilliseconds(phase));
    }
    if (const auto* restore = qobject_cast<CRestoreCommand*>(command))
        report.extractedFolder = restore->extractedFolder();
    // What is installed changed only when an install or restore into the add-on's folder went through.
    if (report.result.succeeded() && (job.info.type == Update || (job.info.type == Restore && job.restoreMode == 1)))
        CLocalIndex::recordInstalled(job.info.addonGuid, job.info.mappingGuid);
    m_queue->taskDone(command);
    finish(command, report);
    QTimer::singleShot(0, m_queue, &CProgramCommandQueue::checkQueueStatus);
}

void CJobRunner::onRemoved(CQueueable* command)
{
    if (!m_jobs.contains(command))
        return;
    JobReport report;
    report.result.outcome = CommandResult::Canceled;
    report.result.error = Exception(8, 6, tr("User canceled."), __LINE__, QStringLiteral("CJobRunner::onRemoved"),
                                    QStringLiteral("cjobrunner"));
    finish(command, report);
}

void CJobRunner::finish(CQueueable* command, const JobReport& report)
{
    const Job job = m_jobs.take(command);
    emit jobFinished(job, report);
    if (m_jobs.isEmpty())
        emit idle();
}
