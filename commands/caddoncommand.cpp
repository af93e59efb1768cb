#include "caddoncommand.h"

#include "commands/cinstallplan.h"
#include "commands/cinstallrecovery.h"
#include "commands/cinstalltransaction.h"
#include "commands/cioutils.h"
#include "dataindex/cdataindex.h"
#include "platform/cdurablefile.h"
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
    QString problem;
    if (CInstallRecovery::recoverFolder(addonFolder, &problem))
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

bool CAddonCommand::undoInstall(CInstallTransaction& transaction, const QString& problem, const QString& done,
                                int failureLevel)
{
    QString notBack;
    if (!transaction.rollback(&notBack)) {
        // Some file is not the old one: say so, and where the old one is kept, never "unchanged".
        raise(BV_EXCEPTION(
            13, 7,
            QStringLiteral("The %0 stopped (%1), and not every file could be put back: %2. The next "
                           "command for this add-on tries again.")
                .arg(done == QLatin1String("restored") ? QStringLiteral("restore") : QStringLiteral("install"),
                     isCanceled() ? QStringLiteral("canceled") : problem, notBack)));
    } else if (isCanceled()) {
        raise(BV_EXCEPTION(8, 6, tr("User canceled.")));
    } else {
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("The files are unchanged: %0.").arg(problem)));
    }
    return false;
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
        const bool written = CDurableFile::closeWritten(out, &problem);
        if (isCanceled())
            return undoInstall(transaction, QString(), done, failureLevel);
        if (extracted != UnZip::Ok) {
            transaction.rollback(&problem); // nothing has moved yet
            raise(BV_EXCEPTION(extracted, failureLevel,
                               QStringLiteral("Unable to decompress file %0 (%1); nothing was %2.")
                                   .arg(files.at(i).entryName, UnZip::errorText(extracted), done)));
            return false;
        }
        if (!written)
            return undoInstall(transaction, problem, done, failureLevel);
        staged.append(CInstallTransaction::File{transaction.stagedPath(i), files.at(i).targetPath});
        if (sincePulse.elapsed() > pulseInterval) {
            emit taskPulse(i + 1, total);
            sincePulse.restart();
        }
    }
    // The file mapping goes in last: until it does, the folder still reads as the old edition.
    const QString stagedMapping = transaction.stagedPath(files.size());
    if (!QFile::copy(mapping, stagedMapping)) {
        problem = QStringLiteral("the file mapping can't be copied to %0").arg(QDir::toNativeSeparators(stagedMapping));
        return undoInstall(transaction, problem, done, failureLevel);
    }
    staged.append(CInstallTransaction::File{
        stagedMapping, QDir::toNativeSeparators(CIOUtils::installedIndexPath(addonFolder, m_addonGuid))});
    // On the disk before the journal counts on them.
    QStringList stagedPaths;
    for (const CInstallTransaction::File& file : qAsConst(staged))
        stagedPaths.append(file.staged);
    if (!CDurableFile::syncFiles(stagedPaths, &problem) || !transaction.prepare(staged, &problem))
        return undoInstall(transaction, problem, done, failureLevel);
    for (int i = 0; i < staged.size(); ++i) {
        if (isCanceled())
            return undoInstall(transaction, QString(), done, failureLevel);
        if (!transaction.commit(i, &problem))
            return undoInstall(transaction, problem, done, failureLevel);
    }
    if (!transaction.finish(&problem)) {
        raise(BV_EXCEPTION(13, failureLevel,
                           QStringLiteral("The files were %0, but %1; the next command for this add-on checks them "
                                          "again.")
                               .arg(done, problem)));
        return false;
    }
    emit taskPulse(total, total);
    return true;
}
