#pragma once

#include "commands/addonbackupinfo.h"
#include "foundation/exception.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The backup packages of one add-on location, as values: what the window's backup menu and
// `tessaray-cli backups` show, and what a restore or a deletion starts from.
class CBackupList
{
public:
    // The location's recorded packages whose files still have their recorded hash, oldest first. False with
    // `error` when "backup.index" can't be read; a list without a record of the location is empty.
    static bool of(const QUuid& addonGuid, const QUuid& mappingGuid, QList<AddonBackupInfo>* backups, Exception* error);
    // Whether the package can be restored: it opens with the account's password and every entry decompresses
    // to its CRC. False with the reason in `problem`.
    static bool isRestorable(const AddonBackupInfo& backup, int userId, QString* problem);
    // The newest of `backups` that can be restored; the damaged ones passed over on the way are named in
    // `passedOver` ("<path>: <reason>").
    static std::optional<AddonBackupInfo> latestRestorable(const QList<AddonBackupInfo>& backups, int userId,
                                                           QStringList* passedOver);
    // A package the user names by its file, for the location: not from the list, so without a record.
    static AddonBackupInfo fromFile(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& file);
    // Deletes the package and its record together: the record goes first, so a crash in between leaves a
    // file no record names (removed with old backups later), never a record of a file that is gone. False
    // with `error` when either can't be removed.
    static bool remove(const AddonBackupInfo& backup, Exception* error);
};
