#pragma once

#include "commands/addonbackupinfo.h"
#include "dataindex/cserializerbase.h"

#include <QList>
#include <QString>

class QDomDocument;

// The backup list "backup.index" in the backup folder: which packages exist for which add-on mapping.
//
//   <backupfiles>
//     <addon guid="{add-on}" mappingGuid="{mapping}">
//       <file hash="<md5 of the first 1024 bytes>" cycle="2612" revision="4" name="<mapping>_<yyyyMMddHHmmss>.bak"/>
//
// A package is offered for restore only while its file still has the recorded hash. The list is read,
// changed and written under a lock file of its own ("backup.index.lock"), so that two copies of the program
// never drop each other's records, and rewritten whole through a temporary file synced to the disk.
class CBackupConfigSerializer : public CSerializerBase
{
    Q_OBJECT

public:
    // How many packages of one mapping remain when old ones are removed ("program/removeoldbackup").
    static constexpr int KeptPackages = 5;
    // The error number of a backup list that can't be read, written or locked.
    static constexpr int ListError = 3;

    using CSerializerBase::CSerializerBase;

    // "<mapping GUID without braces>_<yyyyMMddHHmmss>.bak".
    static QString packageName(const QUuid& mappingGuid, const QDateTime& date);

    // Checks a package whole: it opens with `password` and every entry decompresses to its CRC. False with
    // the reason in `problem`.
    static bool checkPackage(const QString& path, const QString& password, QString* problem);

    // Drops the record of `backup`'s package from the list (nothing when there is none). False after
    // taskError() when the list can't be read or written.
    bool forget(const AddonBackupInfo& backup);

public slots:
    // `info` holds an AddonBackupInfo*: records one package (and prunes old ones, records and files, when the
    // setting asks). QVariant(true), or QVariant(false) after taskError().
    QVariant serialize(QVariant info) override;
    // `info` holds a MappingGuid*: a QVariant holding the QList<AddonBackupInfo*> of the mapping's packages
    // that still check out, oldest first (the caller owns them), or QVariant(false) after taskError(): number
    // ListError when the list can't be read, 0 when it has no record of the add-on.
    QVariant deserialize(QVariant info) override;

private:
    bool load(QDomDocument& document, const QString& path, const QString& function);
    // Replaces the list with `document`, synced to the disk; false after taskError().
    bool write(const QDomDocument& document, const QString& path, const QString& function);
    // The names of the mapping's packages beyond the newest KeptPackages, oldest first.
    static QStringList namesToPrune(const QUuid& mappingGuid, const QString& folder);
    void reportListError(const QString& message, const QString& function, int line);
};
