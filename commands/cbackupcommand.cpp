#include "cbackupcommand.h"

#include "commands/cbackupconfigserializer.h"
#include "commands/cbackuppackager.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "webservices/cuser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

CBackupCommand::CBackupCommand(CommandInfo* info, const AddonStatus& target)
    : CAddonCommand(info, target)
{
}

void CBackupCommand::run()
{
    BV_LOG(1, QStringLiteral("Backup command started modified"));
    emit taskStarted(this);
    if (!holdLocation() || !checkMapped()) {
        complete();
        return;
    }
    if (CUser::instance()->userId() <= 0) {
        raise(BV_EXCEPTION(7, 7,
                           QStringLiteral("Nothing was backed up: backups are protected with a password made "
                                          "from the signed-in account, and no one is signed in.")));
        complete();
        return;
    }
    const QString folder = target().folder;
    const QString backupFolder = CIOUtils::backupFolder();
    QString problem;
    if (!CPreflight::addonFolder(folder, &problem) ||
        !CPreflight::writableFolder(backupFolder, QStringLiteral("backup folder"), &problem) ||
        !CPreflight::freeSpace(backupFolder, CBackupPackager::backupSize(request(folder, QString())),
                               QStringLiteral("backup"), &problem)) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was backed up: %0.").arg(problem)));
        complete();
        return;
    }
    if (!completeInterruptedInstall(folder)) {
        complete();
        return;
    }

    QDateTime date = QDateTime::currentDateTime();
    const QString packagePath = CBackupPackager::reservePackage(backupFolder, mappingGuid(), &date, &problem);
    if (packagePath.isEmpty()) {
        raise(
            BV_EXCEPTION(CBackupPackager::BackupFailed, 7, QStringLiteral("Nothing was backed up: %0.").arg(problem)));
        complete();
        return;
    }
    const QString hash = createBackupPackage(folder, packagePath);
    if (hash.isEmpty()) { // the packager's reason has been raised
        complete();
        return;
    }

    // A package no record names would never be offered: one that can't be recorded goes again.
    AddonBackupInfo backup{addonGuid(), mappingGuid(), backupFolder, packagePath, hash, date, m_cycle, m_revision};
    CBackupConfigSerializer list;
    connect(&list, &CBackupConfigSerializer::taskError, this, [this](const Exception& error) { raise(error); });
    if (!list.serialize(QVariant::fromValue(&backup)).toBool()) {
        CIOUtils::discard(packagePath);
        raise(BV_EXCEPTION(
            7, 7, QStringLiteral("Backup failed. '%0' not created.").arg(QDir::toNativeSeparators(packagePath))));
        complete();
        return;
    }
    BV_LOG(1, QStringLiteral("Backup completed"));
    complete();
}

CBackupPackager::Request CBackupCommand::request(const QString& addonFolder, const QString& packagePath) const
{
    CBackupPackager::Request request;
    request.addonFolder = addonFolder;
    request.addonGuid = addonGuid();
    request.simulator = target().simulator;
    request.packagePath = packagePath;
    request.cycle = target().installedCycle;
    request.revision = target().installedRevision;
    return request;
}

QString CBackupCommand::createBackupPackage(const QString& addonFolder, const QString& packagePath)
{
    BV_LOG(1, QStringLiteral("Creating backup package"));
    CBackupPackager::Request request = this->request(addonFolder, packagePath);
    request.password = packagePassword(CUser::instance()->userId());
    request.canceled = stopFlag();
    request.pulse = [this](qint64 done, qint64 total) { pulse(done, total); };
    const CBackupPackager::Result result = CBackupPackager::create(request);
    m_cycle = result.cycle;
    m_revision = result.revision;
    if (result.canceled)
        raiseCanceled();
    else if (result.hash.isEmpty())
        raise(BV_EXCEPTION(result.errorNumber, 7, result.errorMessage));
    else
        BV_LOG(1, QStringLiteral("File backup completed and hash generated."));
    return result.hash;
}
