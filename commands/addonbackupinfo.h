#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

// One backup package of an add-on mapping, as "backup.index" records it.
struct AddonBackupInfo
{
    QUuid addonGuid;
    QUuid mappingGuid;
    QString folder; // the backup folder
    QString path;   // the package's full path
    QString hash;   // MD5 of the package's first 1024 bytes
    QDateTime date; // when it was made
    int cycle = 0;  // the navigation data that was installed when it was made
    int revision = 0;
};

// Which add-on mapping's backups are asked for.
struct MappingGuid
{
    QUuid addonGuid;
    QUuid mappingGuid;
};

Q_DECLARE_METATYPE(AddonBackupInfo*)
Q_DECLARE_METATYPE(MappingGuid*)
Q_DECLARE_METATYPE(QList<AddonBackupInfo*>)
