#include "cdatacycle.h"

#include "cwebservices.h"
#include "foundation/clogger.h"
#include "foundation/csingleton.h"

CDataCycle* CDataCycle::instance()
{
    return CSingleton<CDataCycle>::instance();
}

void CDataCycle::resetInstance()
{
    CSingleton<CDataCycle>::reset();
}

CDataCycle::CDataCycle(QObject* parent)
    : CProgramState(parent)
{
    CycleInfo::registerMetaType();
}

void CDataCycle::initialize()
{
    tryGetCurrentCycle();
}

std::optional<CycleInfo> CDataCycle::currentCycle() const
{
    QMutexLocker locker(&m_mutex);
    return m_cycle;
}

CRestFailure CDataCycle::lastFailure() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastFailure;
}

void CDataCycle::tryGetCurrentCycle()
{
    // One request object per attempt, deleted once it has answered.
    auto* services = new CWebServices(parent() ? parent() : this);
    connect(services, &CWebServices::workCompleted, this, &CDataCycle::onWorkCompleted);
    connect(services, &CWebServices::requestFailed, this, &CDataCycle::onRequestFailed);
    connect(services, &CWebServices::workCompleted, services, &QObject::deleteLater);
    connect(services, &CWebServices::requestFailed, services, &QObject::deleteLater);
    services->getCurrentAIRACCycle();
}

void CDataCycle::onWorkCompleted(int webServiceId, int errorCode, const QVariant& data)
{
    Q_UNUSED(errorCode)
    if (data.userType() != qMetaTypeId<CycleInfo>()) {
        onRequestFailed(webServiceId, CRestFailure::unusableReply(200, QStringLiteral("No cycle record arrived.")));
        return;
    }
    {
        QMutexLocker locker(&m_mutex);
        m_cycle = data.value<CycleInfo>();
        m_lastFailure = CRestFailure();
    }
    setState(1);
    emit completed(webServiceId);
}

void CDataCycle::onRequestFailed(int webServiceId, const CRestFailure& failure)
{
    // The web-service line carries the error number where other lines carry their level.
    BV_LOG_SERVICE(webServiceId, failure.networkError, QStringLiteral("Web Service Error."));
    {
        QMutexLocker locker(&m_mutex);
        m_lastFailure = failure;
    }
    setState(0);
    emit error(webServiceId, failure.networkError, failure.text());
}
