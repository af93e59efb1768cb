#include "cqueueable.h"

CQueueable::CQueueable(QObject* parent, CommandInfo* info)
    : QObject(parent)
    , m_info(info)
{
}

CQueueable::~CQueueable()
{
    if (m_info && m_info->type >= Update && m_info->type <= LastCommandType)
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

void CQueueable::reportError(const Exception& error)
{
    m_lastException = error;
    emit taskError(error);
}

void CQueueable::complete()
{
    if (m_completed)
        return;
    m_completed = true;
    releaseReservation();
    emit taskCompleted(this);
}
