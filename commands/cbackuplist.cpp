#include "cbackuplist.h"

#include "commands/cbackupconfigserializer.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "foundation/clogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool CBackupList::of(const QUuid& addonGuid, const QUuid& mappingGuid, QList<AddonBackupInfo>* backups,
                     Exception* error)
{
    MappingGuid which{addonGuid, mappingGuid};
    CBackupConfigSerializer list;
    Exception failure;
    QObject::connect(&list, &CBackupConfigSerializer::taskError,
                     [&failure](const Exception& reported) { failure = reported; });
    const QVariant found = list.deserialize(QVariant::fromValue(&which));
    if (failure.errorNumber == CBackupConfigSerializer::ListError) {
        *error = failure;
        return false;
    }
    for (AddonBackupInfo* backup : found.value<QList<AddonBackupInfo*>>()) {
        backups->append(*backup);
        delete backup;
    }
    return true;
}

bool CBackupList::isRestorable(const AddonBackupInfo& backup, int userId, QString* problem)
{
    return CBackupConfigSerializer::checkPackage(backup.path, packagePassword(userId), problem);
}

std::optional<AddonBackupInfo> CBackupList::latestRestorable(const QList<AddonBackupInfo>& backups, int userId,
                                                             QStringList* passedOver)
{
    for (auto it = backups.crbegin(); it != backups.crend(); ++it) {
        QString problem;
        if (isRestorable(*it, userId, &problem))
            return *it;
        passedOver->append(QStringLiteral("%0: %1").arg(QDir::toNativeSeparators(it->path), problem));
    }
    return std::nullopt;
}

AddonBackupInfo CBackupList::fromFile(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& file)
{
    const QFileInfo info(file);
    return AddonBackupInfo{addonGuid,
                           mappingGuid,
                           info.absolutePath(),
                           info.absoluteFilePath(),
                           CIOUtils::fileHash(info.absoluteFilePath()),
                           info.lastModified(),
                           0,
                           0};
}

bool CBackupList::remove(const AddonBackupInfo& backup, Exception* error)
{
    CBackupConfigSerializer list;
    QObject::connect(&list, &CBackupConfigSerializer::taskError,
                     [error](const Exception& reported) { *error = reported; });
    if (!list.forget(backup))
        return false;
    QFile package(backup.path);
    if (package.exists() && !package.remove()) {
        *error = BV_EXCEPTION(CBackupConfigSerializer::ListError, 6,
                              QStringLiteral("The backup %0 can't be deleted: %1.")
                                  .arg(QDir::toNativeSeparators(backup.path), package.errorString()));
        return false;
    }
    return true;
}
