#include "cbackupcommand.h"

#include "commands/cbackupconfigserializer.h"
#include "commands/cbackuppackager.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "dataindex/indexinfo.h"
#include "webservices/cuser.h"

#include <QDateTime>
#include <QDir>

CBackupCommand::CBackupCommand(QObject* parent, CommandInfo* info)
    : CAddonCommand(parent, info)
{
}

void CBackupCommand::run()
{
    BV_LOG(1, QStringLiteral("Backup command started modified"));
    emit taskStarted(this);
    if (!holdLocation()) {
        complete();
        return;
    }

    const IndexPathInfo* location = mappedLocation();
    if (!location) {
        raise(BV_EXCEPTION(11, 6, QStringLiteral("The addon '%0' is not mapped.").arg(addonGuid().toString())));
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
    const QString folder = location->directory;
    const QString backupFolder = CIOUtils::backupFolder();
    QString problem;
    if (!CPreflight::addonFolder(folder, &problem) ||
        !CPreflight::writableFolder(backupFolder, QStringLiteral("backup folder"), &problem) ||
        !CPreflight::freeSpace(backupFolder, CBackupPackager::installedSize(folder, addonGuid(), simulator()),
                               QStringLiteral("backup"), &problem)) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was backed up: %0.").arg(problem)));
        complete();
        return;
    }
    if (!completeInterruptedInstall(folder)) {
        complete();
        return;
    }

    const QDateTime date = QDateTime::currentDateTime();
    const QString packagePath =
        CIOUtils::joinPath(backupFolder, CBackupConfigSerializer::packageName(mappingGuid(), date));
    const QString hash = createBackupPackage(folder, packagePath);
    if (hash.isEmpty()) {
        raise(BV_EXCEPTION(
            7, 7, QStringLiteral("Backup failed. '%0' not created.").arg(QDir::toNativeSeparators(packagePath))));
        complete();
        return;
    }

    AddonBackupInfo backup{addonGuid(), mappingGuid(), backupFolder,    packagePath,
                           hash,        date,          location->cycle, location->revision};
    CBackupConfigSerializer list;
    connect(&list, &CBackupConfigSerializer::taskError, this, [this](const Exception& error) { raise(error); });
    list.serialize(QVariant::fromValue(&backup));
    BV_LOG(1, QStringLiteral("Backup completed"));
    complete();
}

QString CBackupCommand::createBackupPackage(const QString& addonFolder, const QString& packagePath)
{
    BV_LOG(1, QStringLiteral("Creating backup package"));
    CBackupPackager::Request request;
    request.addonFolder = addonFolder;
    request.addonGuid = addonGuid();
    request.simulator = simulator();
    request.packagePath = packagePath;
    request.password = packagePassword(CUser::instance()->userId());
    request.canceled = &m_canceled;
    request.pulse = [this](qint64 done, qint64 total) {
        m_fileCount = int(total);
        emit taskPulse(done, total);
    };
    const CBackupPackager::Result result = CBackupPackager::create(request);
    for (const QString& skipped : result.skipped)
        raise(BV_EXCEPTION(7, 5, QStringLiteral("Unable to compress file %0").arg(QDir::toNativeSeparators(skipped))));
    if (result.hash.isEmpty())
        raise(BV_EXCEPTION(result.canceled ? 8 : result.errorNumber, result.canceled ? 6 : 7, result.errorMessage));
    else
        BV_LOG(1, QStringLiteral("File backup completed and hash generated."));
    return result.hash;
}
