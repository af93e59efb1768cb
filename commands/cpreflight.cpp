#include "cpreflight.h"

#include "commands/cbackuppackager.h"
#include "commands/cioutils.h"
#include "commands/cpackage.h"
#include "dataindex/cfilemappingserializer.h"
#include "foundation/cdatalocations.h"
#include "platform/cdurablefile.h"
#include "platform/cfilereplace.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

namespace
{
// The log and the journal need a little too.
constexpr qint64 margin = 4 * 1024 * 1024;

const QString probePrefix = QStringLiteral(".tessaray-write-test-");

// The nearest folder of `path` that exists: a folder to be made lies on the volume of its nearest parent.
QString existingAncestor(const QString& path)
{
    QFileInfo info(QDir::cleanPath(path));
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
        info = QFileInfo(info.absolutePath());
    return info.absoluteFilePath();
}

// The mount point of the volume that holds (or will hold) `path`; an empty text when it can't be told.
QString volumeOf(const QString& path)
{
    const QStorageInfo volume(existingAncestor(path));
    return volume.isValid() ? volume.rootPath() : QString();
}

bool isReadOnly(const QFileInfo& file)
{
    // The owner's write permission is what Qt reports for the read-only mark on Windows as well.
    return file.isFile() && !(file.permissions() & QFileDevice::WriteOwner);
}
} // namespace

QString CPreflight::sizeText(qint64 bytes)
{
    return QStringLiteral("%0 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}

QString CPreflight::probePattern()
{
    return probePrefix + QLatin1Char('*');
}

bool CPreflight::addonFolder(const QString& folder, QString* problem)
{
    const QFileInfo info(folder);
    if (folder.trimmed().isEmpty() || !info.isDir()) {
        *problem = QStringLiteral("the add-on folder %0 no longer exists (was the simulator moved or uninstalled?)")
                       .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return writableFolder(folder, QStringLiteral("add-on folder"), problem);
}

bool CPreflight::writableFolder(const QString& folder, const QString& purpose, QString* problem)
{
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("the %0 %1 can't be created").arg(purpose, QDir::toNativeSeparators(folder));
        return false;
    }
    // Permissions, ACLs, read-only mounts and a full disk all show in one real write to the disk.
    QTemporaryFile probe(QDir(folder).filePath(probePrefix + QStringLiteral("XXXXXX")));
    QString reason;
    if (!probe.open() || probe.write("probe", 5) != 5 || !CDurableFile::finish(probe, &reason)) {
        *problem = QStringLiteral("the %0 %1 can't be written to (%2)")
                       .arg(purpose, QDir::toNativeSeparators(folder), reason.isEmpty() ? probe.errorString() : reason);
        return false;
    }
    return true;
}

bool CPreflight::privateFolder(const QString& folder, const QString& purpose, QString* problem)
{
    const QString root = QDir::cleanPath(QDir::fromNativeSeparators(CIOUtils::privateRoot()));
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (!clean.startsWith(root + QLatin1Char('/')) && clean != root) {
        *problem = QStringLiteral("the %0 %1 is not below the program's own folder %2")
                       .arg(purpose, QDir::toNativeSeparators(folder), QDir::toNativeSeparators(root));
        return false;
    }
    QString reason;
    if (CIOUtils::makePrivateFolder(clean.mid(root.size() + 1), &reason).isEmpty()) {
        *problem = QStringLiteral("the %0 can't be used: %1").arg(purpose, reason);
        return false;
    }
    return writableFolder(clean, purpose, problem);
}

bool CPreflight::freeSpace(const QString& folder, qint64 bytes, const QString& purpose, QString* problem)
{
    Budget budget;
    budget.add(folder, bytes, purpose);
    return budget.check(problem);
}

void CPreflight::Budget::add(const QString& folder, qint64 bytes, const QString& purpose)
{
    m_needs.append(Need{folder, bytes, purpose});
}

bool CPreflight::Budget::check(QString* problem) const
{
    // volume -> (bytes, purposes), in the order the needs were added
    QStringList volumes;
    QHash<QString, qint64> bytes;
    QHash<QString, QStringList> purposes;
    for (const Need& need : m_needs) {
        const QString volume = volumeOf(need.folder);
        if (volume.isEmpty())
            continue; // nothing to measure; the writes themselves will tell
        if (!volumes.contains(volume))
            volumes.append(volume);
        bytes[volume] += need.bytes;
        if (!purposes[volume].contains(need.purpose))
            purposes[volume].append(need.purpose);
    }
    for (const QString& volume : qAsConst(volumes)) {
        const qint64 available = QStorageInfo(volume).bytesAvailable();
        const qint64 needed = bytes.value(volume) + margin;
        if (available >= needed)
            continue;
        *problem = QStringLiteral("not enough free space on %0 for the %1: %2 needed, %3 free")
                       .arg(QDir::toNativeSeparators(volume), purposes.value(volume).join(QStringLiteral(" and ")),
                            sizeText(needed), sizeText(available));
        return false;
    }
    return true;
}

bool CPreflight::hasHardLinks(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(probePrefix + QStringLiteral("XXXXXX")));
    if (!probe.open())
        return false;
    const QString link = probe.fileName() + QStringLiteral(".link");
    const bool linked = CFileReplace::makeHardLink(probe.fileName(), link);
    QFile::remove(link);
    return linked;
}

qint64 CPreflight::installSpace(const QString& addonFolder, const QList<PlannedFile>& files,
                                const QHash<QString, qint64>& sizes)
{
    const qint64 cluster = qMax<qint64>(1, QStorageInfo(existingAncestor(addonFolder)).blockSize());
    const auto rounded = [cluster](qint64 bytes) { return (qMax<qint64>(bytes, 0) + cluster - 1) / cluster * cluster; };
    const bool links = hasHardLinks(addonFolder);
    qint64 total = 0;
    for (const PlannedFile& file : files) {
        total += rounded(sizes.value(file.entryName));
        const QFileInfo installed(file.targetPath);
        if (!links && installed.isFile())
            total += rounded(installed.size());
    }
    return total;
}

bool CPreflight::replaceable(const QString& addonFolder, const QList<PlannedFile>& files, QString* problem)
{
    const QString home = volumeOf(addonFolder);
    QHash<QString, QString> volumeByFolder;
    for (const PlannedFile& file : files) {
        const QFileInfo target(file.targetPath);
        if (isReadOnly(target)) {
            *problem = QStringLiteral("%0 is read-only, so it can't be replaced; clear its read-only mark (or give "
                                      "it write permission) and try again")
                           .arg(QDir::toNativeSeparators(target.filePath()));
            return false;
        }
        const QString folder = target.absolutePath();
        if (!volumeByFolder.contains(folder))
            volumeByFolder.insert(folder, volumeOf(folder));
        const QString volume = volumeByFolder.value(folder);
        if (!home.isEmpty() && !volume.isEmpty() && volume != home) {
            *problem = QStringLiteral("the folder %0 of the add-on lies on another volume (%1) than the add-on "
                                      "folder (%2), and files can't be moved into it in one safe step; move it "
                                      "back below the add-on folder")
                           .arg(QDir::toNativeSeparators(existingAncestor(folder)), QDir::toNativeSeparators(volume),
                                QDir::toNativeSeparators(home));
            return false;
        }
    }
    return true;
}

namespace
{
// The files of the file mapping at `index` below `addonFolder`; false when it can't be read or used.
bool plannedFiles(const QString& index, const QString& addonFolder, const QString& simulator, QList<PlannedFile>* files)
{
    CFileMappingSerializer reader;
    FileMappingSerializeInfo request{index, simulator};
    bool readable = true;
    QObject::connect(&reader, &CFileMappingSerializer::taskError, [&readable](const Exception&) { readable = false; });
    QString unused;
    return reader.deserialize(QVariant::fromValue(&request)).isValid() && readable &&
           CInstallPlan::build(reader.items(), addonFolder, files, &unused);
}
} // namespace

bool CPreflight::beforeInstall(const CPackage& package, const QString& addonFolder, const QString& backupFolder,
                               qint64 backupBytes, QString* problem)
{
    if (!replaceable(addonFolder, package.files(), problem))
        return false;
    Budget budget;
    budget.add(addonFolder,
               installSpace(addonFolder, package.files(), package.sizes()) +
                   package.sizes().value(package.mappingEntry()),
               QStringLiteral("new files"));
    if (!backupFolder.isEmpty())
        budget.add(backupFolder, backupBytes, QStringLiteral("backup"));
    return budget.check(problem);
}

bool CPreflight::installedReplaceable(const QString& addonFolder, const QUuid& addonGuid, const QString& simulator,
                                      QString* problem)
{
    // An installed mapping that can't be read says nothing here; the package's own is checked after the
    // download.
    QList<PlannedFile> files;
    const QString index = CDataLocations::installedIndexPath(addonFolder, addonGuid);
    if (!QFileInfo::exists(index) || !plannedFiles(index, addonFolder, simulator, &files))
        return true;
    return replaceable(addonFolder, files, problem);
}
