#include "cqueueable.h"

CQueueable::CQueueable(QObject* parent, CommandInfo* info)
    : QObject(parent)
    , m_info(info)
{
    qRegisterMetaType<Exception>("Exception");
    qRegisterMetaType<CommandProgress>("CommandProgress");
}

CQueueable::~CQueueable()
{
    delete m_info;
}

QString CQueueable::commandKey() const
{
    return m_info ? m_info->key() : QString();
}

void CQueueable::stop()
{
    m_stopRequested.store(true);
}

void CQueueable::reportFailure(const Exception& error)
{
    if (m_result.outcome == CommandResult::Succeeded) {
        m_result.outcome = CommandResult::Failed;
        m_result.error = error;
    }
    emit taskError(error);
}

void CQueueable::reportCancel(const Exception& error)
{
    if (m_result.outcome == CommandResult::Succeeded) {
        m_result.outcome = CommandResult::Canceled;
        m_result.error = error;
    }
    emit taskError(error);
}

void CQueueable::pulse(qint64 done, qint64 total)
{
    emit taskPulse(CommandProgress{phase(), done, total, false});
}

void CQueueable::pulsePreparing()
{
    emit taskPulse(CommandProgress{phase(), 0, 0, true});
}

void CQueueable::complete()
{
    if (m_completed)
        return;
    m_completed = true;
    releaseReservation();
    emit taskCompleted(this);
}
