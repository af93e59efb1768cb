#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

// One row of a package's file mapping: a file or folder of the package and where it goes below the
// add-on's folder. Paths use native separators and never leave the add-on folder (the reader refuses
// entries that would).
struct FileMappingItem
{
    QString source;      // inside the package
    QString destination; // below the add-on folder, relative to `parent`
    QString parent;      // the enclosing folders' destinations, each after a separator; empty at the top
    QUuid mappingGuid;
    QString simulator; // the short name that was asked for
    int isDirectory = 0;
};

// What CFileMappingSerializer::deserialize reads: which file, for which simulator (short name).
struct FileMappingSerializeInfo
{
    QString filePath;
    QString simulator;
};

// The version record of an installed package (or of a backup copy of its mapping file).
struct MappingVersion
{
    int cycle = 0;
    int revision = 0;
    bool backup = false;
    QDateTime backupDate;
};

Q_DECLARE_METATYPE(FileMappingSerializeInfo*)
Q_DECLARE_METATYPE(QList<FileMappingItem*>*)
