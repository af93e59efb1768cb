#include "crestorecommand.h"

#include "commands/cinstallplan.h"
#include "commands/cioutils.h"
#include "commands/cpackage.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "foundation/cdatalocations.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"
#include "zip/unzip.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace
{
constexpr int pulseInterval = 200; // ms
} // namespace

CRestoreCommand::CRestoreCommand(CommandInfo* info, const AddonStatus& target, int mode, const AddonBackupInfo& backup)
    : CAddonCommand(info, target)
    , m_mode(mode)
    , m_backup(backup)
{
}

void CRestoreCommand::stop()
{
    BV_LOG(1, QStringLiteral("Stop command for restoration received"));
    CAddonCommand::stop();
    emit taskTerminiated(this);
}

void CRestoreCommand::run()
{
    BV_LOG(1, QStringLiteral("Try to start restore procedure"));
    emit taskStarted(this);
    if (!holdLocation()) {
        complete();
        return;
    }

    // The package's password is made from the signed-in user, whose identity only the web service confirms.
    if (!CNetworkStatus::instance()->isConnected() || CUser::instance()->userId() <= 0) {
        raise(BV_EXCEPTION(16, 6,
                           QStringLiteral("Could not perform restore. Unable to connect to server to verify user "
                                          "identity.")));
        complete();
        return;
    }
    if (!checkMapped()) {
        complete();
        return;
    }
    const QString folder = target().folder;
    QString problem;
    if (m_mode == IntoAddonFolder &&
        (!CPreflight::addonFolder(folder, &problem) || !completeInterruptedInstall(folder))) {
        if (!problem.isEmpty())
            raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }

    const QString password = packagePassword(CUser::instance()->userId());
    const QString packagePath = QDir::toNativeSeparators(m_backup.path);
    // Every entry is checked against its CRC as it is extracted, before one file is replaced: a damaged
    // package restores nothing.
    CPackage package;
    if (!package.open(m_backup.path, password, addonGuid(), target().simulator,
                      m_mode == IntoAddonFolder ? folder : QString(), &problem)) {
        if (package.openError() == UnZip::WrongPassword)
            raise(BV_EXCEPTION(5, 7,
                               QStringLiteral("Nothing was restored: the package '%0' was made for another account "
                                              "(its password is not this account's).")
                                   .arg(packagePath)));
        else if (package.failure() == CPackage::Failure::NoMapping)
            raise(BV_EXCEPTION(3, 6,
                               QStringLiteral("Nothing was restored: the package '%0' holds no files of %1.")
                                   .arg(packagePath, target().name)));
        else if (package.failure() == CPackage::Failure::Unopened)
            raise(BV_EXCEPTION(
                5, 7, QStringLiteral("Unable to open file '%0'. Backup failed. (%1)").arg(packagePath, problem)));
        else
            raise(BV_EXCEPTION(3, 6, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }
    if (package.files().isEmpty()) {
        raise(BV_EXCEPTION(3, 6,
                           QStringLiteral("Nothing was restored: the package '%0' holds no files for %1.")
                               .arg(packagePath, target().simulator)));
        complete();
        return;
    }
    if (m_mode == IntoAddonFolder && !CPreflight::beforeInstall(package, folder, QString(), 0, &problem)) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }
    const bool restored = m_mode == IntoAddonFolder ? installFromPackage(package, folder, QStringLiteral("restored"), 6)
                                                    : extractToNewFolder(package);
    if (restored) {
        if (m_mode == IntoNewFolder)
            CIOUtils::showInExplorer(CDataLocations::installedIndexPath(m_extractedFolder, addonGuid()));
        BV_LOG(1, QStringLiteral("Restoration is completed"));
    }
    complete();
}

bool CRestoreCommand::extractToNewFolder(CPackage& package)
{
    QString problem;
    const QString restored = CIOUtils::makePrivateFolder(QStringLiteral("restored"), &problem);
    if (restored.isEmpty()) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        return false;
    }
    // A folder of this restore's own, never one another restore (of this second) writes into.
    const QString stem = CDataLocations::joinPath(
        restored, QStringLiteral("%0_%1").arg(mappingGuid().toString(QUuid::WithoutBraces),
                                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"))));
    QString folder = stem;
    for (int attempt = 2; !QDir().mkdir(folder); ++attempt) {
        if (!QFileInfo::exists(folder) || attempt > 100) {
            raise(BV_EXCEPTION(7, 7,
                               QStringLiteral("Nothing was restored: the folder %0 can't be created.")
                                   .arg(QDir::toNativeSeparators(folder))));
            return false;
        }
        folder = QStringLiteral("%0-%1").arg(stem).arg(attempt);
    }
    m_extractedFolder = folder;

    QElapsedTimer sincePulse;
    sincePulse.start();
    const QList<PlannedFile>& files = package.files();
    const qint64 total = files.size();
    bool failed = false;
    for (int i = 0; i < files.size(); ++i) {
        // Planned against an empty folder: the target is relative, placed below the new folder.
        const QString target = CDataLocations::joinPath(m_extractedFolder, files.at(i).targetPath);
        QFile out(target);
        const UnZip::ErrorCode extracted =
            QDir().mkpath(QFileInfo(target).absolutePath()) && out.open(QIODevice::WriteOnly)
                ? package.archive().extractFile(files.at(i).entryName, &out)
                : UnZip::OpenFailed;
        out.close();
        if (extracted != UnZip::Ok || out.error() != QFileDevice::NoError) {
            // The others are still worth having to look at; the restore says it is incomplete.
            raise(BV_EXCEPTION(12, 7,
                               QStringLiteral("Unable to decompress file %0 (%1)")
                                   .arg(files.at(i).entryName,
                                        extracted != UnZip::Ok ? UnZip::errorText(extracted) : out.errorString())));
            failed = true;
        }
        if (isCanceled()) {
            raiseCanceled();
            return false;
        }
        if (sincePulse.elapsed() > pulseInterval) {
            pulse(i + 1, total);
            sincePulse.restart();
        }
    }
    QFile mapping(CDataLocations::installedIndexPath(m_extractedFolder, addonGuid()));
    if (!mapping.open(QIODevice::WriteOnly) || mapping.write(package.mapping()) != package.mapping().size()) {
        raise(BV_EXCEPTION(12, 7,
                           QStringLiteral("The file mapping can't be written to %0 (%1).")
                               .arg(QDir::toNativeSeparators(mapping.fileName()), mapping.errorString())));
        return false;
    }
    pulse(total, total);
    return !failed;
}
