#include "cbackupconfigserializer.h"

#include "commands/cioutils.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "platform/cfolderescape.h"

#include <QDir>
#include <QDomDocument>
#include <QFileInfo>

namespace
{
constexpr int fileErrorNumber = 3;
const QString dateFormat = QStringLiteral("yyyyMMddHHmmss");

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
} // namespace

QString CBackupConfigSerializer::packageName(const QUuid& mappingGuid, const QDateTime& date)
{
    return QStringLiteral("%0_%1.bak").arg(mappingGuid.toString(QUuid::WithoutBraces), date.toString(dateFormat));
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
    const QString message =
        QStringLiteral("The backup list %0 can't be read (%1); it is left unchanged.")
            .arg(QDir::toNativeSeparators(path), detail.isEmpty() ? QStringLiteral("not a backup list") : detail);
    BV_LOG(6, message);
    emit taskError(Exception(fileErrorNumber, 6, message, __LINE__, function, CLogger::fileName(__FILE__)));
    return false;
}

QVariant CBackupConfigSerializer::serialize(QVariant info)
{
    const auto* backup = info.value<AddonBackupInfo*>();
    const QString path = CIOUtils::backupListFilePath();
    QDomDocument document;
    if (!backup || !load(document, path, QStringLiteral("CBackupConfigSerializer::serialize")))
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

    if (CSettings::boolValue(SettingsKey::RemoveOldBackup))
        prune(backup->mappingGuid, CIOUtils::backupFolder());

    QString detail;
    if (!writeDocument(document, path, &detail)) {
        const QString message =
            QStringLiteral("The backup list %0 can't be written (%1).").arg(QDir::toNativeSeparators(path), detail);
        BV_LOG(6, message);
        emit taskError(BV_EXCEPTION(fileErrorNumber, 6, message));
        return QVariant(false);
    }
    emit taskCompleted();
    return QVariant(true);
}

void CBackupConfigSerializer::prune(const QUuid& mappingGuid, const QString& folder)
{
    QStringList names = QDir(folder).entryList({mappingGuid.toString(QUuid::WithoutBraces) + QStringLiteral("*.bak")},
                                               QDir::Files, QDir::Name);
    // Names end in their time of making: the first are the oldest.
    while (names.size() > KeptPackages) {
        const QString oldest = names.takeFirst();
        if (!CIOUtils::removeBackupFile(oldest))
            BV_LOG(6, QStringLiteral("Selected backup has not been removed"));
    }
}

QVariant CBackupConfigSerializer::deserialize(QVariant info)
{
    const auto* which = info.value<MappingGuid*>();
    const QString path = CIOUtils::backupListFilePath();
    QDomDocument document;
    if (!which || !load(document, path, QStringLiteral("CBackupConfigSerializer::deserialize")))
        return QVariant(false);
    const QDomElement addon = addonElement(document, which->addonGuid, which->mappingGuid);
    if (addon.isNull()) {
        const QString message = QStringLiteral("Addon with guid '%0' not found.").arg(braced(which->addonGuid));
        emit taskError(Exception(0, 6, message, __LINE__, QStringLiteral("CBackupConfigSerializer::deserialize"),
                                 QStringLiteral("cbackupconfigserializer")));
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
        const QString packagePath = CIOUtils::joinPath(folder, name);
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
