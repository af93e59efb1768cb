#include "caddoncommand.h"

#include "commands/cinstalltransaction.h"
#include "dataindex/cdataindex.h"

CAddonCommand::CAddonCommand(QObject* parent, CommandInfo* info)
    : CQueueable(parent, info)
    , m_addonGuid(info ? info->addonGuid : QUuid())
    , m_mappingGuid(info ? info->mappingGuid : QUuid())
{
    qRegisterMetaType<Exception>("Exception");
}

void CAddonCommand::stop()
{
    m_canceled.store(true);
    CQueueable::stop();
}

IndexPathInfo* CAddonCommand::mappedLocation() const
{
    return CDataIndex::instance()->mappedLocation(m_addonGuid, m_mappingGuid);
}

QString CAddonCommand::simulator() const
{
    return CDataIndex::instance()->simulatorShortName(m_addonGuid, m_mappingGuid);
}

bool CAddonCommand::completeInterruptedInstall(const QString& addonFolder)
{
    CInstallTransaction transaction(addonFolder, m_mappingGuid);
    if (!transaction.isPending())
        return true;
    QString problem;
    if (transaction.recover(&problem))
        return true;
    raise(BV_EXCEPTION(
        13, 7, QStringLiteral("An interrupted install in %0 could not be completed: %1.").arg(addonFolder, problem)));
    return false;
}

void CAddonCommand::raise(const Exception& error)
{
    CLogger::logException(error);
    reportError(error);
}
