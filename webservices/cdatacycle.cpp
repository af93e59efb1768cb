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

CDataCycle::~CDataCycle()
{
    CSingleton<CDataCycle>::forget(this);
}

void CDataCycle::initialize()
{
    tryGetCurrentCycle();
}

void CDataCycle::tryGetCurrentCycle()
{
    // One request object per attempt, deleted once it has answered.
    auto* services = new CWebServices(parent() ? parent() : this);
    connect(services, &CWebServices::workCompleted, this, &CDataCycle::onWorkCompleted);
    connect(services, &CWebServices::errorReceived, this, &CDataCycle::onErrorReceived);
    connect(services, &CWebServices::workCompleted, services, &QObject::deleteLater);
    connect(services, &CWebServices::errorReceived, services, &QObject::deleteLater);
    services->getCurrentAIRACCycle();
}

void CDataCycle::onWorkCompleted(int webServiceId, int errorCode, const QVariant& data)
{
    Q_UNUSED(errorCode)
    const CycleInfo cycle = data.userType() == qMetaTypeId<CycleInfo>() ? data.value<CycleInfo>() : CycleInfo();
    m_cycle = std::make_unique<CycleInfo>(cycle);
    setState(1);
    emit completed(webServiceId);
}

void CDataCycle::onErrorReceived(int webServiceId, int errorNumber, const QString& message)
{
    // The web-service line carries the error number where other lines carry their level.
    BV_LOG_SERVICE(webServiceId, errorNumber, QStringLiteral("Web Service Error."));
    setState(0);
    emit error(webServiceId, errorNumber, message);
}
