#pragma once

#include "foundation/exception.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUuid>

// The data index and the mapping list as this machine holds them, read into the program's model of add-ons
// (CDataIndex): where the command line and the window start from. Called on the thread the model lives on.
class CLocalIndex
{
public:
    // Reads "data.index" (or `dataIndexFile`) into the supported add-ons and "mapping.index" into the mapped
    // ones, each replacing what was held. A data index that can't be read leaves nothing supported and
    // says why in `warning` (the mapped locations still stand); a mapping list that exists and can't be read
    // is an error, never "nothing mapped": false with `error`.
    static bool load(Exception* error, QString* warning, const QString& dataIndexFile = QString());
    // Only the supported add-ons, from `file`; false with `error` when it can't be read.
    static bool loadSupported(const QString& file, Exception* error);
    // Only the mapping list.
    static bool loadMappings(Exception* error);
    // Writes the mapped add-ons to "mapping.index"; refused when the list on the disk was not read whole.
    static bool saveMappings(Exception* error);

    // Downloads and working folders of mappings that are gone belong to nobody any more.
    static void sweepAbandoned();
    // After an install or restore into the location's folder finished: the mapped location records what
    // the folder now holds (its installed cycle and revision).
    static void recordInstalled(const QUuid& addonGuid, const QUuid& mappingGuid);
};

// One location of an index file, flat, for listing.
struct LocationListing
{
    QUuid mappingGuid;
    QString platform;  // "WINDOWS", "MAC", "LINUX"
    QString simulator; // short name
    QString directory;
    int cycle = 0;
    int revision = 0;
    bool specified = false; // entered by hand
    bool backup = false;
    QStringList patterns;
    QList<QPair<QString, QString>> filesystem; // folder, file name
    QList<QPair<QString, QString>> registry;   // key path, value name
    struct Uninstall
    {
        QUuid productGuid; // null when the rule names a key and value instead
        QString keyName;
        QString valueName;
    };
    QList<Uninstall> uninstall;
};

// One add-on of an index file with its locations, in file order.
struct AddonListing
{
    QUuid guid;
    QString name;
    int cycle = 0;
    int revision = 0;
    QString masterfile;
    QString internalId;
    QList<LocationListing> locations;
};

// The header of the local data index, and what the model holds.
struct IndexSummary
{
    QUuid id;
    QString revision;
    QString description;
    QString file;
    bool current = false;
    int supported = 0; // add-ons
    int mapped = 0;    // locations
};

class CIndexListing
{
public:
    // Every add-on of a data index or mapping list; false with `error` when the file can't be read.
    static bool read(const QString& file, QList<AddonListing>* addons, Exception* error);
    // The local data index's header with the model's counts.
    static IndexSummary summary();
};
