#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

// A file-system rule: the add-on is there when `directory` + `fileName` exists. The file name "*" stands
// for the folder itself.
struct FileSystemRule
{
    QString directory;
    QString fileName;
};

// A registry rule: the add-on is in the folder that the value names.
struct RegistryRule
{
    QString keyPath;
    QString valueName;
};

// An uninstall rule: the install location of a product that Windows lists under its uninstall key, by
// product GUID (`hasProductGuid`) or by the key's name and a value name.
struct UninstallRule
{
    QUuid productGuid;
    bool hasProductGuid = false;
    QString keyName;
    QString valueName;
};

// Where a location lives. Written to files by name: don't renumber.
enum EPlatform
{
    PlatformWindows = 0,
    PlatformMac = 1,
    PlatformLinux = 2,
};

// "WINDOWS", "MAC" or "LINUX", as index files write them.
QString platformName(int platform);
// "LINUX" and "MAC" (exact); anything else, a missing text too, is Windows.
int platformFromName(const QString& text);

// One location of an add-on: one platform and simulator, with the rules that find it (data index) or the
// folder where it was found (mapping index).
struct IndexPathInfo
{
    int platform = PlatformWindows;
    int simulator = 0; // a simulator flag (CSimulators)
    QString directory; // native separators
    int cycle = 0;
    int revision = 0;
    bool specified = false; // entered by hand ("manual") rather than found ("auto")
    bool backup = false;    // the installed package is a restored backup (mapping index only)
    QDateTime date;
    QUuid mappingGuid;    // key of this location in IndexInfo::paths
    QStringList patterns; // aircraft titles, as regular expressions
    QList<FileSystemRule> filesystem;
    QList<RegistryRule> registry;
    QList<UninstallRule> uninstall;
    QStringList matchedTitles; // filled by the aircraft search
};

// One add-on of the data index or of the mapping index. Owns its locations.
struct IndexInfo
{
    QUuid guid;
    QString name;
    int cycle = 0;    // of the last location read
    int revision = 0; // of the last location read
    QString masterfile;
    QString internalId;
    QMap<QUuid, IndexPathInfo*> paths;

    IndexInfo() = default;
    ~IndexInfo();
    IndexInfo(const IndexInfo&) = delete;
    IndexInfo& operator=(const IndexInfo&) = delete;

    // Takes ownership; a location already held under the same mapping GUID is replaced and deleted.
    void insertPath(IndexPathInfo* path);
    // Removes and deletes one location; false when there is none under that GUID.
    bool removePath(const QUuid& mappingGuid);
    IndexPathInfo* path(const QUuid& mappingGuid) const { return paths.value(mappingGuid); }
    // A deep copy: the same GUIDs, names, counters and locations.
    IndexInfo* clone() const;
};

using IndexInfoMap = QMap<QUuid, IndexInfo*>;

// What the index serializer writes: its first member points to the caller's add-on map (not owned).
struct DataIndexReaderInfo
{
    IndexInfoMap* addons = nullptr;
};

Q_DECLARE_METATYPE(IndexInfo*)
Q_DECLARE_METATYPE(DataIndexReaderInfo*)
