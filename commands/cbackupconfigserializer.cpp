#include "cbackupconfigserializer.h"

#include "commands/cioutils.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "platform/cdurablefile.h"
#include "platform/cfolderescape.h"
#include "zip/unzip.h"

#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <memory>

namespace
{
const QString dateFormat = QStringLiteral("yyyyMMddHHmmss");
// Another copy of the program holds the list only while it reads or writes it.
constexpr int lockWait = 10000; // ms

QString braced(const QUuid& guid)
{
    return guid.toString().trimmed().toLower();
}

QDomElement addonElement(const QDomDocument& document, const QUuid& addonGuid, const QUuid& mappingGuid)
{
    const QDomNodeList addons = document.documentElement().elementsByTagName(QStringLiteral("addon"));
    for (int i = 0; i < addons.size(); ++i) {
        const QDomElement element = addons.at(i).toElement();
        if (QUuid(element.attribute(QStringLiteral("guid")).trimmed()) == addonGuid &&
            QUuid(element.attribute(QStringLiteral("mappingGuid")).trimmed()) == mappingGuid)
            return element;
    }
    return QDomElement();
}

// The list's own lock, beside it; a lock left by a holder that died is taken over. Null with the reason.
std::unique_ptr<QLockFile> lockList(const QString& path, QLockFile::LockError* error)
{
    // A folder that can't be made shows as a lock that can't be taken.
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QLockFile::PermissionError;
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (lock->tryLock(lockWait))
        return lock;
    *error = lock->error();
    return nullptr;
}

QString lockProblem(const QString& path, QLockFile::LockError error)
{
    return error == QLockFile::LockFailedError
               ? QStringLiteral("The backup list %0 is in use by another copy of the program; try again when it is "
                                "done.")
                     .arg(QDir::toNativeSeparators(path))
               : QStringLiteral("The backup list %0 can't be locked: its lock file can't be made.")
                     .arg(QDir::toNativeSeparators(path));
}
} // namespace

QString CBackupConfigSerializer::packageName(const QUuid& mappingGuid, const QDateTime& date)
{
    return QStringLiteral("%0_%1.bak").arg(mappingGuid.toString(QUuid::WithoutBraces), date.toString(dateFormat));
}

bool CBackupConfigSerializer::checkPackage(const QString& path, const QString& password, QString* problem)
{
    UnZip package;
    package.setPassword(password);
    UnZip::ErrorCode result = package.open(path);
    if (result == UnZip::Ok)
        result = package.verify();
    package.close();
    if (result == UnZip::Ok)
        return true;
    *problem = UnZip::errorText(result);
    return false;
}

void CBackupConfigSerializer::reportListError(const QString& message, const QString& function, int line)
{
    BV_LOG(6, message);
    emit taskError(Exception(ListError, 6, message, line, function, CLogger::fileName(__FILE__)));
}

bool CBackupConfigSerializer::load(QDomDocument& document, const QString& path, const QString& function)
{
    if (!QFileInfo::exists(path)) {
        document.setContent(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n\t<backupfiles/>"));
        return true;
    }
    QString detail;
    if (loadDocument(path, document, &detail) == LoadResult::Loaded &&
        document.documentElement().tagName() == QLatin1String("backupfiles"))
        return true;
    reportListError(
        QStringLiteral("The backup list %0 can't be read (%1); it is left unchanged.")
            .arg(QDir::toNativeSeparators(path), detail.isEmpty() ? QStringLiteral("not a backup list") : detail),
        function, __LINE__);
    return false;
}

QVariant CBackupConfigSerializer::serialize(QVariant info)
{
    const QString function = QStringLiteral("CBackupConfigSerializer::serialize");
    const auto* backup = info.value<AddonBackupInfo*>();
    const QString path = CIOUtils::backupListFilePath();
    if (!backup)
        return QVariant(false);
    QLockFile::LockError lockError = QLockFile::NoError;
    const std::unique_ptr<QLockFile> lock = lockList(path, &lockError);
    if (!lock) {
        reportListError(lockProblem(path, lockError), function, __LINE__);
        return QVariant(false);
    }
    QDomDocument document;
    if (!load(document, path, function))
        return QVariant(false);

    QDomElement addon = addonElement(document, backup->addonGuid, backup->mappingGuid);
    if (addon.isNull()) {
        addon = document.createElement(QStringLiteral("addon"));
        addon.setAttribute(QStringLiteral("guid"), braced(backup->addonGuid));
        addon.setAttribute(QStringLiteral("mappingGuid"), braced(backup->mappingGuid));
        document.documentElement().appendChild(addon);
    }
    QDomElement file = document.createElement(QStringLiteral("file"));
    file.setAttribute(QStringLiteral("hash"), backup->hash);
    file.setAttribute(QStringLiteral("cycle"), QString::number(backup->cycle));
    file.setAttribute(QStringLiteral("revision"), QString::number(backup->revision));
    file.setAttribute(QStringLiteral("name"), packageName(backup->mappingGuid, backup->date));
    addon.appendChild(file);

    // Old packages leave the list before their files go: a crash in between leaves a file no record
    // names, which the next pruning removes, never a record of a file that is gone.
    const QStringList pruned = CSettings::boolValue(SettingsKey::RemoveOldBackup)
                                   ? namesToPrune(backup->mappingGuid, CIOUtils::backupFolder())
                                   : QStringList();
    for (QDomElement entry = addon.firstChildElement(QStringLiteral("file")); !entry.isNull();) {
        const QDomElement next = entry.nextSiblingElement(QStringLiteral("file"));
        if (pruned.contains(entry.attribute(QStringLiteral("name"))))
            addon.removeChild(entry);
        entry = next;
    }

    if (!write(document, path, function))
        return QVariant(false);
    for (const QString& name : pruned) {
        if (!CIOUtils::removeBackupFile(name))
            BV_LOG(6, QStringLiteral("Selected backup has not been removed"));
    }
    emit taskCompleted();
    return QVariant(true);
}

bool CBackupConfigSerializer::write(const QDomDocument& document, const QString& path, const QString& function)
{
    QSaveFile out(path);
    const QByteArray bytes = document.toByteArray(4);
    QString problem;
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !CDurableFile::commit(out, &problem)) {
        reportListError(QStringLiteral("The backup list %0 can't be written (%1).")
                            .arg(QDir::toNativeSeparators(path), problem.isEmpty() ? out.errorString() : problem),
                        function, __LINE__);
        return false;
    }
    return true;
}

bool CBackupConfigSerializer::forget(const AddonBackupInfo& backup)
{
    const QString function = QStringLiteral("CBackupConfigSerializer::forget");
    const QString path = CIOUtils::backupListFilePath();
    QLockFile::LockError lockError = QLockFile::NoError;
    const std::unique_ptr<QLockFile> lock = lockList(path, &lockError);
    if (!lock) {
        reportListError(lockProblem(path, lockError), function, __LINE__);
        return false;
    }
    QDomDocument document;
    if (!load(document, path, function))
        return false;
    QDomElement addon = addonElement(document, backup.addonGuid, backup.mappingGuid);
    const QString name = QFileInfo(backup.path).fileName();
    bool found = false;
    for (QDomElement entry = addon.firstChildElement(QStringLiteral("file")); !entry.isNull();) {
        const QDomElement next = entry.nextSiblingElement(QStringLiteral("file"));
        if (entry.attribute(QStringLiteral("name")) == name) {
            addon.removeChild(entry);
            found = true;
        }
        entry = next;
    }
    return !found || write(document, path, function);
}

QStringList CBackupConfigSerializer::namesToPrune(const QUuid& mappingGuid, const QString& folder)
{
    QStringList names = QDir(folder).entryList({mappingGuid.toString(QUuid::WithoutBraces) + QStringLiteral("*.bak")},
                                               QDir::Files, QDir::Name);
    // Names end in their time of making: the first are the oldest.
    return names.mid(0, std::max(0, names.size() - KeptPackages));
}

QVariant CBackupConfigSerializer::deserialize(QVariant info)
{
    const QString function = QStringLiteral("CBackupConfigSerializer::deserialize");
    const auto* which = info.value<MappingGuid*>();
    const QString path = CIOUtils::backupListFilePath();
    if (!which)
        return QVariant(false);
    QDomDocument document;
    {
        QLockFile::LockError lockError = QLockFile::NoError;
        const std::unique_ptr<QLockFile> lock = lockList(path, &lockError);
        // A backup folder this user may not write to is read as it is: nobody can change it through us.
        if (!lock && lockError != QLockFile::PermissionError) {
            reportListError(lockProblem(path, lockError), function, __LINE__);
            return QVariant(false);
        }
        if (!load(document, path, function))
            return QVariant(false);
    }
    const QDomElement addon = addonElement(document, which->addonGuid, which->mappingGuid);
    if (addon.isNull()) {
        const QString message = QStringLiteral("Addon with guid '%0' not found.").arg(braced(which->addonGuid));
        emit taskError(Exception(0, 6, message, __LINE__, function, QStringLiteral("cbackupconfigserializer")));
        return QVariant(false);
    }

    const QString folder = CIOUtils::backupFolder();
    QList<AddonBackupInfo*> backups;
    for (QDomElement file = addon.firstChildElement(QStringLiteral("file")); !file.isNull();
         file = file.nextSiblingElement(QStringLiteral("file"))) {
        const QString name = file.attribute(QStringLiteral("name"));
        // The list is a file on disk: a name that reaches elsewhere names no package of ours.
        if (name.trimmed().isEmpty() || CFolderEscape::leavesFolder(name))
            continue;
        const QString packagePath = CDataLocations::joinPath(folder, name);
        const QString hash = CIOUtils::fileHash(packagePath);
        if (hash.isEmpty() || hash != file.attribute(QStringLiteral("hash")))
            continue;
        auto* backup = new AddonBackupInfo;
        backup->addonGuid = which->addonGuid;
        backup->mappingGuid = which->mappingGuid;
        backup->folder = folder;
        backup->path = packagePath;
        backup->hash = hash;
        backup->date =
            QDateTime::fromString(QFileInfo(name).completeBaseName().section(QLatin1Char('_'), 1), dateFormat);
        backup->cycle = file.attribute(QStringLiteral("cycle")).toInt();
        backup->revision = file.attribute(QStringLiteral("revision")).toInt();
        backups.append(backup);
    }
    emit taskCompleted();
    return QVariant::fromValue(backups);
}
