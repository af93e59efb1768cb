#include "caddoncommand.h"

#include "commands/cinstallplan.h"
#include "commands/cinstalltransaction.h"
#include "commands/cioutils.h"
#include "dataindex/cdataindex.h"
#include "zip/unzip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

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

bool CAddonCommand::installFromPackage(UnZip& package, const QList<PlannedFile>& files, const QString& mapping,
                                       const QString& addonFolder, const QString& done, int failureLevel)
{
    constexpr int pulseInterval = 200; // ms
    CInstallTransaction transaction(addonFolder, m_mappingGuid);
    QString problem;
    if (!transaction.begin(&problem)) {
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("Nothing was %0: %1.").arg(done, problem)));
        return false;
    }
    const qint64 total = files.size();
    QElapsedTimer sincePulse;
    sincePulse.start();
    emit taskPulse(0, total);
    QList<CInstallTransaction::File> staged;
    for (int i = 0; i < files.size(); ++i) {
        QFile out(transaction.stagedPath(i));
        const UnZip::ErrorCode extracted =
            out.open(QIODevice::WriteOnly) ? package.extractFile(files.at(i).entryName, &out) : UnZip::OpenFailed;
        out.close();
        if (isCanceled()) {
            transaction.rollback();
            raise(BV_EXCEPTION(8, 6, tr("User canceled.")));
            return false;
        }
        if (extracted != UnZip::Ok) {
            transaction.rollback();
            raise(BV_EXCEPTION(extracted, failureLevel,
                               QStringLiteral("Unable to decompress file %0 (%1); nothing was %2.")
                                   .arg(files.at(i).entryName, UnZip::errorText(extracted), done)));
            return false;
        }
        staged.append(CInstallTransaction::File{transaction.stagedPath(i), files.at(i).targetPath});
        if (sincePulse.elapsed() > pulseInterval) {
            emit taskPulse(i + 1, total);
            sincePulse.restart();
        }
    }
    const QString stagedMapping = transaction.stagedPath(files.size());
    QFile::copy(mapping, stagedMapping);
    staged.append(CInstallTransaction::File{
        stagedMapping, QDir::toNativeSeparators(CIOUtils::installedIndexPath(addonFolder, m_addonGuid))});
    if (!transaction.prepare(staged, &problem)) {
        transaction.rollback();
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("Nothing was %0: %1.").arg(done, problem)));
        return false;
    }
    for (int i = 0; i < staged.size(); ++i) {
        if (isCanceled() || !transaction.commit(i, &problem)) {
            transaction.rollback();
            if (isCanceled())
                raise(BV_EXCEPTION(8, 6, tr("User canceled.")));
            else
                raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("The files are unchanged: %0.").arg(problem)));
            return false;
        }
    }
    transaction.finish();
    emit taskPulse(total, total);
    return true;
}
