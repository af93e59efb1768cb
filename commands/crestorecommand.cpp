#include "crestorecommand.h"

#include "commands/cinstallplan.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "dataindex/cfilemappingserializer.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"
#include "zip/unzip.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

UnZip::ErrorCode CRestoreCommand::openVerified(UnZip& package, const QString& file, const QString& password)
{
    BV_LOG(1, QStringLiteral("Try to verify file %0").arg(file));
    if (!QFileInfo::exists(file))
        return UnZip::FileNotFound;
    if (!password.isEmpty())
        package.setPassword(password);
    UnZip::ErrorCode result = package.open(file);
    if (result == UnZip::Ok)
        result = package.verify();
    BV_LOG(1, QStringLiteral("Backup verification result: %0").arg(int(result)));
    return result;
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
    const QString packagePath = m_backup.path;
    // Every entry must check out before one file is touched: a damaged package restores nothing.
    UnZip package;
    const UnZip::ErrorCode verified = openVerified(package, packagePath, password);
    if (verified == UnZip::WrongPassword) {
        raise(BV_EXCEPTION(
            5, 7,
            QStringLiteral("Nothing was restored: the package '%0' was made for another account (its password is not "
                           "this account's).")
                .arg(QDir::toNativeSeparators(packagePath))));
        complete();
        return;
    }
    if (verified != UnZip::Ok) {
        raise(BV_EXCEPTION(5, 7,
                           QStringLiteral("Unable to open file '%0'. Backup failed. (%1)")
                               .arg(QDir::toNativeSeparators(packagePath), UnZip::errorText(verified))));
        complete();
        return;
    }

    // The working folder holds the package's file mapping while the restore runs; in the user's own folder,
    // named after the package (so after the mapping) for the next command of the location to sweep.
    const QString temporary = CIOUtils::makePrivateFolder(QStringLiteral("temp"), &problem);
    if (temporary.isEmpty()) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }
    QTemporaryDir working(CIOUtils::joinPath(
        temporary, QStringLiteral("%0_%1-XXXXXX")
                       .arg(QFileInfo(packagePath).completeBaseName(),
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")))));
    const QString indexName = CIOUtils::packageIndexName(addonGuid());
    const QString mapping = working.filePath(indexName);
    const QString entry = package.contains(indexName) ? indexName : indexName + QStringLiteral(".mapping");
    QFile mappingFile(mapping);
    if (!working.isValid() || !package.contains(entry) || !mappingFile.open(QIODevice::WriteOnly) ||
        package.extractFile(entry, &mappingFile) != UnZip::Ok) {
        raise(BV_EXCEPTION(3, 6,
                           QStringLiteral("Nothing was restored: the package '%0' holds no files of %1.")
                               .arg(QDir::toNativeSeparators(packagePath), target().name)));
        complete();
        return;
    }
    mappingFile.close();

    const QString simulatorName = target().simulator;
    if (simulatorName.isEmpty())
        BV_LOG(5, QStringLiteral("Simulator is empty..."));
    BV_LOG(1, QStringLiteral("Deserialize mapping file for restoration"));
    CFileMappingSerializer reader;
    FileMappingSerializeInfo request{mapping, simulatorName};
    connect(&reader, &CFileMappingSerializer::taskError, this,
            [&problem](const Exception& error) { problem = error.message; });
    QList<PlannedFile> files;
    if (!reader.deserialize(QVariant::fromValue(&request)).isValid() || !problem.isEmpty() ||
        !CInstallPlan::build(reader.items(), m_mode == IntoAddonFolder ? folder : QString(), &files, &problem)) {
        raise(BV_EXCEPTION(3, 6, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }
    if (files.isEmpty()) {
        raise(BV_EXCEPTION(3, 6,
                           QStringLiteral("Nothing was restored: the package '%0' holds no files for %1.")
                               .arg(QDir::toNativeSeparators(packagePath), simulatorName)));
        complete();
        return;
    }
    if (m_mode == IntoAddonFolder && !CPreflight::beforeInstall(packagePath, password, working.path(), folder,
                                                                addonGuid(), simulatorName, QString(), 0, &problem)) {
        raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
        complete();
        return;
    }
    if (restoreFiles(package, files, mapping, folder)) {
        if (m_mode == IntoNewFolder)
            CIOUtils::showInExplorer(CIOUtils::installedIndexPath(m_extractedFolder, addonGuid()));
        BV_LOG(1, QStringLiteral("Restoration is completed"));
    }
    complete();
}

bool CRestoreCommand::restoreFiles(UnZip& package, const QList<PlannedFile>& files, const QString& mapping,
                                   const QString& addonFolder)
{
    QElapsedTimer sincePulse;
    sincePulse.start();
    const qint64 total = files.size();
    auto pulse = [&](qint64 done) {
        if (sincePulse.elapsed() > pulseInterval) {
            this->pulse(done, total);
            sincePulse.restart();
        }
    };

    if (m_mode == IntoNewFolder) {
        QString problem;
        const QString restored = CIOUtils::makePrivateFolder(QStringLiteral("restored"), &problem);
        if (restored.isEmpty()) {
            raise(BV_EXCEPTION(7, 7, QStringLiteral("Nothing was restored: %0.").arg(problem)));
            return false;
        }
        m_extractedFolder =
            CIOUtils::joinPath(restored, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")));
        for (int i = 0; i < files.size(); ++i) {
            // Planned against an empty folder: the target is relative, placed below the new folder.
            const QString target = CIOUtils::joinPath(m_extractedFolder, files.at(i).targetPath);
            QDir().mkpath(QFileInfo(target).absolutePath());
            QFile out(target);
            const UnZip::ErrorCode extracted =
                out.open(QIODevice::WriteOnly) ? package.extractFile(files.at(i).entryName, &out) : UnZip::OpenFailed;
            if (extracted != UnZip::Ok)
                raise(BV_EXCEPTION(12, 7,
                                   QStringLiteral("Unable to decompress file %0 (%1)")
                                       .arg(files.at(i).entryName, UnZip::errorText(extracted))));
            if (isCanceled()) {
                raiseCanceled();
                return false;
            }
            pulse(i + 1);
        }
        QFile::copy(mapping, CIOUtils::installedIndexPath(m_extractedFolder, addonGuid()));
        return true;
    }

    // Into the add-on folder: checked and extracted whole before one file is replaced.
    return installFromPackage(package, files, mapping, addonFolder, QStringLiteral("restored"), 6);
}
