#include "cbackuppackager.h"

#include "commands/cinstallplan.h"
#include "commands/cioutils.h"
#include "dataindex/cfilemappingserializer.h"
#include "foundation/clogger.h"
#include "zip/zip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace
{
constexpr int pulseInterval = 200; // ms

// The files of the installed mapping; false with the reason when there are none to pack.
bool plannedFiles(const QString& indexFile, const QString& folder, const QString& simulator, QList<PlannedFile>* files,
                  QString* problem)
{
    CFileMappingSerializer reader;
    FileMappingSerializeInfo request{indexFile, simulator};
    QString failure;
    QObject::connect(&reader, &CFileMappingSerializer::taskError,
                     [&failure](const Exception& error) { failure = error.message; });
    if (!reader.deserialize(QVariant::fromValue(&request)).isValid() || !failure.isEmpty()) {
        *problem = failure;
        return false;
    }
    return CInstallPlan::build(reader.items(), folder, files, problem);
}
} // namespace

qint64 CBackupPackager::installedSize(const QString& addonFolder, const QUuid& addonGuid, const QString& simulator)
{
    QList<PlannedFile> files;
    QString problem;
    const QString index = CIOUtils::installedIndexPath(addonFolder, addonGuid);
    if (!QFileInfo::exists(index) || !plannedFiles(index, addonFolder, simulator, &files, &problem))
        return 0;
    qint64 size = 0;
    for (const PlannedFile& file : qAsConst(files))
        size += QFileInfo(file.targetPath).size();
    return size;
}

CBackupPackager::Result CBackupPackager::create(const Request& request)
{
    Result result;
    const QString indexFile = CIOUtils::installedIndexPath(request.addonFolder, request.addonGuid);
    const QString package = QDir::toNativeSeparators(request.packagePath);
    if (request.simulator.isEmpty()) {
        result.errorNumber = 9;
        result.errorMessage = QStringLiteral("No mapping found for file '%0'").arg(package);
        return result;
    }
    QList<PlannedFile> files;
    QString problem;
    if (!QFileInfo::exists(indexFile) ||
        !plannedFiles(indexFile, request.addonFolder, request.simulator, &files, &problem) || files.isEmpty()) {
        result.errorNumber = 10;
        result.errorMessage = problem.isEmpty() ? QStringLiteral("No mapped file for file '%0'").arg(package)
                                                : QStringLiteral("No backup was made: %0.").arg(problem);
        return result;
    }
    const QString shared = CInstallPlan::sharedEntryName(files);
    if (!shared.isEmpty()) {
        result.errorNumber = 10;
        result.errorMessage = QStringLiteral("No backup was made: two files of the add-on would be stored as '%0' "
                                             "in the package, and one of them would be lost.")
                                  .arg(shared);
        return result;
    }

    QDir().mkpath(QFileInfo(request.packagePath).absolutePath());
    // The marked copy of the mapping is made beside the package, never in the add-on's folder.
    const QString mappingCopy = request.packagePath + QStringLiteral(".mapping");
    QFile::remove(mappingCopy);
    CFileMappingSerializer marker;
    if (!QFile::copy(indexFile, mappingCopy) || !marker.serialize(mappingCopy).toBool()) {
        QFile::remove(mappingCopy);
        result.errorNumber = 10;
        result.errorMessage = QStringLiteral("No backup was made: the file mapping %0 can't be copied into %1.")
                                  .arg(QDir::toNativeSeparators(indexFile), QDir::toNativeSeparators(mappingCopy));
        return result;
    }

    // The writer stages the package beside its name and renames it into place only when it is complete.
    Zip zip;
    const Zip::ErrorCode created = zip.create(request.packagePath, true);
    if (created != Zip::Ok) {
        QFile::remove(mappingCopy);
        result.errorNumber = created;
        result.errorMessage = QStringLiteral("Unable to create file '%0'. Backup failed.").arg(package);
        return result;
    }
    zip.setPassword(request.password);

    QList<Zip::NamedFile> named{
        {mappingCopy, CIOUtils::packageIndexName(request.addonGuid) + QStringLiteral(".mapping")}};
    for (const PlannedFile& file : qAsConst(files)) {
        if (QFileInfo::exists(file.targetPath))
            named.append(Zip::NamedFile{file.targetPath, file.entryName});
        else // not installed (yet): there is nothing of the user's to keep
            BV_LOG(5, QStringLiteral("Not backed up, not installed: %0").arg(file.targetPath));
    }
    QElapsedTimer sincePulse;
    sincePulse.start();
    if (request.pulse)
        request.pulse(0, named.size());
    zip.setProgressHandler([&](int done, int total) {
        if (request.canceled && request.canceled->load())
            zip.cancel();
        else if (request.pulse && sincePulse.elapsed() > pulseInterval) {
            request.pulse(done, total);
            sincePulse.restart();
        }
    });
    // One call for all files, so that every core packs.
    const Zip::ErrorCode added = zip.addFilesAs(named, Zip::SkipBadFiles, Zip::Deflate6);
    const bool canceled = added == Zip::Cancelled || (request.canceled && request.canceled->load());
    for (const QString& skipped : zip.skippedFiles()) {
        BV_LOG(5, QStringLiteral("Unable to compress file %0").arg(skipped));
        result.skipped.append(skipped);
    }
    if (canceled || added != Zip::Ok) {
        zip.discard();
        QFile::remove(mappingCopy);
        result.canceled = canceled;
        result.errorNumber = canceled ? 8 : added;
        result.errorMessage =
            canceled
                ? QStringLiteral("User canceled.")
                : QStringLiteral("Unable to create file '%0'. Backup failed. (%1)").arg(package, zip.errorDetail());
        return result;
    }
    const Zip::ErrorCode closed = zip.close();
    QFile::remove(mappingCopy);
    if (closed != Zip::Ok) {
        result.errorNumber = closed;
        result.errorMessage =
            QStringLiteral("Unable to create file '%0'. Backup failed. (%1)")
                .arg(package, zip.errorDetail().isEmpty() ? Zip::errorText(closed) : zip.errorDetail());
        return result;
    }
    result.hash = CIOUtils::fileHash(request.packagePath);
    return result;
}
