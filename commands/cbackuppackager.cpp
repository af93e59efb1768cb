#include "cbackuppackager.h"

#include "commands/cbackupconfigserializer.h"
#include "commands/cioutils.h"
#include "dataindex/cfilemappingserializer.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "platform/cdurablefile.h"
#include "zip/zip.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSet>

namespace
{
constexpr int pulseInterval = 200; // ms

// The files to pack, and the file mapping that lists them.
struct Selection
{
    QList<Zip::NamedFile> files;
    QDomDocument mapping;
    int cycle = 0;
    int revision = 0;
    qint64 bytes = 0;
};

// One spelling per place on disk, so that a file named by both mappings is packed once.
QString placeKey(const QString& path)
{
    const QString key = QDir::cleanPath(QDir::fromNativeSeparators(path));
#ifdef Q_OS_WIN
    return key.toLower();
#else
    return key;
#endif
}

QString entryKey(const QString& entryName)
{
    return QString(entryName).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

// Whether a file to keep is there: false when there is nothing (nothing to keep), true for a regular file;
// anything else that is there but can't be packed gives `problem`.
bool isThere(const QString& path, QString* problem)
{
    const QFileInfo file(path);
    if (file.isSymLink() && !file.exists()) {
        *problem = QStringLiteral("%0 is a link that leads nowhere or in a circle, and can't be read")
                       .arg(QDir::toNativeSeparators(path));
        return false;
    }
    if (!file.exists())
        return false;
    if (!file.isFile())
        *problem = QStringLiteral("%0 is not a file").arg(QDir::toNativeSeparators(path));
    else if (!file.isReadable())
        *problem = QStringLiteral("%0 can't be read (no permission)").arg(QDir::toNativeSeparators(path));
    return problem->isEmpty();
}

// The element of the mapping that a reader takes for `simulator` (the first "USER" one or of that name).
QDomElement simulatorElement(const QDomDocument& document, const QString& simulator)
{
    const QString wanted = simulator.trimmed().toLower();
    for (QDomElement element = document.documentElement().firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        const QString attribute = element.attribute(QStringLiteral("simulator")).trimmed();
        if (attribute.toUpper() == QLatin1String("USER") || attribute.toLower() == wanted)
            return element;
    }
    return QDomElement();
}

// The installed file mapping's files; true with none when the folder has no installed mapping.
bool installedFiles(const QString& indexFile, const QString& addonFolder, const QString& simulator,
                    QList<PlannedFile>* files, QDomDocument* document, QString* problem)
{
    if (!QFileInfo::exists(indexFile) && !QFileInfo(indexFile).isSymLink())
        return true;
    QString detail;
    if (CSerializerBase::loadDocument(indexFile, *document, &detail) != CSerializerBase::LoadResult::Loaded) {
        *problem = QStringLiteral("the installed file mapping %0 can't be read (%1)")
                       .arg(QDir::toNativeSeparators(indexFile), detail);
        return false;
    }
    CFileMappingSerializer reader;
    FileMappingSerializeInfo info{indexFile, simulator};
    QObject::connect(&reader, &CFileMappingSerializer::taskError,
                     [&detail](const Exception& error) { detail = error.message; });
    detail.clear();
    if (!reader.deserialize(QVariant::fromValue(&info)).isValid() || !detail.isEmpty()) {
        *problem = QStringLiteral("the installed file mapping can't be used: %0").arg(detail);
        return false;
    }
    return CInstallPlan::build(reader.items(), addonFolder, files, problem);
}

bool select(const CBackupPackager::Request& request, Selection* selection, QString* problem)
{
    const QString indexFile = CDataLocations::installedIndexPath(request.addonFolder, request.addonGuid);
    QList<PlannedFile> installed;
    if (!installedFiles(indexFile, request.addonFolder, request.simulator, &installed, &selection->mapping, problem))
        return false;
    const QString shared = CInstallPlan::sharedEntryName(installed);
    if (!shared.isEmpty()) {
        *problem = QStringLiteral("two files of the add-on would be stored as '%0' in the package, and one of them "
                                  "would be lost")
                       .arg(shared);
        return false;
    }
    QDomElement root = selection->mapping.documentElement();
    if (root.isNull()) {
        // Nothing installed by us yet: the data the add-on came with, under the location's label.
        root = selection->mapping.createElement(QStringLiteral("mapping"));
        root.setAttribute(QStringLiteral("cycle"), request.cycle);
        root.setAttribute(QStringLiteral("revision"), request.revision);
        selection->mapping.appendChild(root);
    }
    selection->cycle = root.attribute(QStringLiteral("cycle")).toInt();
    selection->revision = root.attribute(QStringLiteral("revision")).toInt();
    root.setAttribute(QStringLiteral("backup"), QStringLiteral("1"));
    root.setAttribute(QStringLiteral("backupDate"), QString::number(QDateTime::currentMSecsSinceEpoch()));

    QSet<QString> places;
    QSet<QString> names{entryKey(CDataLocations::packageIndexName(request.addonGuid) + QStringLiteral(".mapping"))};
    const auto add = [&](const PlannedFile& file) {
        selection->files.append(Zip::NamedFile{file.targetPath, file.entryName});
        selection->bytes += QFileInfo(file.targetPath).size();
    };
    for (const PlannedFile& file : qAsConst(installed)) {
        places.insert(placeKey(file.targetPath));
        names.insert(entryKey(file.entryName));
        if (isThere(file.targetPath, problem))
            add(file);
        else if (!problem->isEmpty())
            return false;
        else // not installed: there is nothing of the user's to keep
            BV_LOG(5, QStringLiteral("Not backed up, not installed: %0").arg(file.targetPath));
    }

    // The files the install will overwrite that the installed mapping does not name: listed in the package's
    // mapping under entry names of their own.
    QDomElement files = simulatorElement(selection->mapping, request.simulator);
    const QDir folder(request.addonFolder);
    for (const PlannedFile& file : request.incoming) {
        if (places.contains(placeKey(file.targetPath)))
            continue;
        places.insert(placeKey(file.targetPath));
        if (!isThere(file.targetPath, problem)) {
            if (!problem->isEmpty())
                return false;
            continue;
        }
        QString name = file.entryName;
        for (int n = 2; names.contains(entryKey(name)); ++n)
            name = QStringLiteral("%0~%1").arg(file.entryName).arg(n);
        names.insert(entryKey(name));
        if (files.isNull()) {
            files = selection->mapping.createElement(QStringLiteral("files"));
            files.setAttribute(QStringLiteral("simulator"), request.simulator);
            root.appendChild(files);
        }
        QDomElement record = selection->mapping.createElement(QStringLiteral("file"));
        record.setAttribute(QStringLiteral("source"), name);
        // Mapping files name their places the Windows way, whatever system made them.
        record.setAttribute(QStringLiteral("destination"),
                            folder.relativeFilePath(QDir::fromNativeSeparators(file.targetPath))
                                .replace(QLatin1Char('/'), QLatin1Char('\\')));
        files.appendChild(record);
        add(PlannedFile{name, file.targetPath});
    }
    return true;
}

CBackupPackager::Result failed(CBackupPackager::Result result, const QString& message)
{
    result.errorNumber = CBackupPackager::BackupFailed;
    result.errorMessage = message;
    return result;
}
} // namespace

qint64 CBackupPackager::backupSize(const Request& request)
{
    Selection selection;
    QString problem;
    return select(request, &selection, &problem) ? selection.bytes : 0;
}

QString CBackupPackager::reservePackage(const QString& folder, const QUuid& mappingGuid, QDateTime* date,
                                        QString* problem)
{
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("the backup folder %0 can't be created").arg(QDir::toNativeSeparators(folder));
        return QString();
    }
    // A day's worth of seconds: more packages than that in one go means something else is wrong.
    for (int attempt = 0; attempt < 86400; ++attempt, *date = date->addSecs(1)) {
        const QString path = CDataLocations::joinPath(folder, CBackupConfigSerializer::packageName(mappingGuid, *date));
        QFile claim(path);
        if (claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
            *problem =
                QStringLiteral("%0 can't be created (%1)").arg(QDir::toNativeSeparators(path), claim.errorString());
            return QString();
        }
    }
    *problem = QStringLiteral("no free package name is left in %0").arg(QDir::toNativeSeparators(folder));
    return QString();
}

CBackupPackager::Result CBackupPackager::create(const Request& request)
{
    Result result;
    const QString package = QDir::toNativeSeparators(request.packagePath);
    // The name's empty placeholder goes unless a package took its place.
    const auto releaseName = qScopeGuard([&]() {
        if (result.hash.isEmpty() && QFileInfo(request.packagePath).size() == 0)
            CIOUtils::discard(request.packagePath);
    });
    if (request.simulator.isEmpty())
        return failed(result, QStringLiteral("No mapping found for file '%0'").arg(package));

    Selection selection;
    QString problem;
    if (!select(request, &selection, &problem))
        return failed(result, QStringLiteral("Nothing was backed up: %0.").arg(problem));
    result.cycle = selection.cycle;
    result.revision = selection.revision;
    if (selection.files.isEmpty()) {
        result = failed(result, QStringLiteral("No mapped file for file '%0'").arg(package));
        result.nothingToBackUp = true;
        return result;
    }

    // The marked mapping is written beside the package, never in the add-on's folder.
    const QString mappingCopy = request.packagePath + QStringLiteral(".mapping");
    const auto removeCopy = qScopeGuard([&]() { QFile::remove(mappingCopy); });
    QSaveFile copy(mappingCopy);
    const QByteArray mappingBytes = selection.mapping.toByteArray(4);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(mappingBytes) != mappingBytes.size() || !copy.commit())
        return failed(result, QStringLiteral("Nothing was backed up: the file mapping can't be written to %0 (%1).")
                                  .arg(QDir::toNativeSeparators(mappingCopy), copy.errorString()));

    Zip zip;
    const Zip::ErrorCode created = zip.create(request.packagePath, true);
    if (created != Zip::Ok)
        return failed(result, QStringLiteral("Unable to create file '%0'. Backup failed.").arg(package));
    zip.setPassword(request.password);
    // A package's check hash covers its first 1024 bytes, and one without them is never offered: a small
    // add-on's package gets its length from the archive comment.
    if (selection.bytes + mappingBytes.size() < 4096)
        zip.setArchiveComment(QStringLiteral("Backup package").leftJustified(1100, QLatin1Char(' ')));

    QList<Zip::NamedFile> named{
        {mappingCopy, CDataLocations::packageIndexName(request.addonGuid) + QStringLiteral(".mapping")}};
    named += selection.files;
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
    // One call for all files, so that every core packs; the first file that fails fails the package.
    const Zip::ErrorCode added = zip.addFilesAs(named, {}, Zip::Deflate6);
    if (added == Zip::Cancelled || (request.canceled && request.canceled->load())) {
        zip.discard();
        result.canceled = true;
        result.errorNumber = 8;
        result.errorMessage = QStringLiteral("User canceled.");
        return result;
    }
    if (added != Zip::Ok) {
        const QString detail = zip.errorDetail().isEmpty() ? Zip::errorText(added) : zip.errorDetail();
        zip.discard();
        BV_LOG(5, QStringLiteral("Unable to compress file: %0").arg(detail));
        return failed(result, QStringLiteral("Nothing was backed up: %0.").arg(detail));
    }
    const Zip::ErrorCode closed = zip.close();
    if (closed != Zip::Ok)
        return failed(result,
                      QStringLiteral("Unable to create file '%0'. Backup failed. (%1)")
                          .arg(package, zip.errorDetail().isEmpty() ? Zip::errorText(closed) : zip.errorDetail()));
    // On the disk before anything records it.
    if (!CDurableFile::syncFile(request.packagePath, &problem) ||
        !CDurableFile::syncFolder(QFileInfo(request.packagePath).absolutePath(), &problem)) {
        CIOUtils::discard(request.packagePath);
        return failed(result, QStringLiteral("Backup failed: %0.").arg(problem));
    }
    result.hash = CIOUtils::fileHash(request.packagePath);
    if (result.hash.isEmpty()) {
        CIOUtils::discard(request.packagePath);
        return failed(result, QStringLiteral("Backup failed: %0 can't be read back.").arg(package));
    }
    return result;
}
