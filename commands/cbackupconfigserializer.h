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
// A package is offered for restore only while its file still has the recorded hash. The list is rewritten
// whole through a temporary file, so a crash never leaves it half written.
class CBackupConfigSerializer : public CSerializerBase
{
    Q_OBJECT

public:
    // How many packages of one mapping remain when old ones are removed ("program/removeoldbackup").
    static constexpr int KeptPackages = 5;

    using CSerializerBase::CSerializerBase;

    // "<mapping GUID without braces>_<yyyyMMddHHmmss>.bak".
    static QString packageName(const QUuid& mappingGuid, const QDateTime& date);

public slots:
    // `info` holds an AddonBackupInfo*: records one package (and prunes old ones when the setting asks).
    // QVariant(true), or QVariant(false) after taskError().
    QVariant serialize(QVariant info) override;
    // `info` holds a MappingGuid*: a QVariant holding the QList<AddonBackupInfo*> of the mapping's packages
    // that still check out, oldest first (the caller owns them), or QVariant(false) after taskError().
    QVariant deserialize(QVariant info) override;

private:
    bool load(QDomDocument& document, const QString& path, const QString& function);
    void prune(const QUuid& mappingGuid, const QString& folder);
};
