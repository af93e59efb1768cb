#pragma once

#include "dataindex/caddonmap.h"
#include "dataindex/indexinfo.h"
#include "foundation/csingleton.h"
#include "foundation/exception.h"

#include <QObject>
#include <QString>
#include <QUuid>

// The program's one in-memory model of add-ons: the supported add-ons of the data index and the add-ons
// the user has mapped. A process-wide singleton that lives on the GUI thread; the records are kept in two
// CAddonMap objects, where the rules live, so that this class stays a thin holder.
class CDataIndex : public QObject
{
    Q_OBJECT

public:
    // Created on first use, under a lock with a second check after locking.
    static CDataIndex* instance() { return CSingleton<CDataIndex>::instance(); }
    // Deletes the singleton and every record it holds; the next instance() starts empty. For tests, and
    // only while no other thread uses the index.
    static void resetInstance() { CSingleton<CDataIndex>::reset(); }

    CAddonMap& supported() { return m_supported; }
    CAddonMap& mapped() { return m_mapped; }

    IndexInfo* supportedAddon(const QUuid& addonGuid) const { return m_supported.addon(addonGuid); }
    IndexInfo* mappedAddon(const QUuid& addonGuid) const { return m_mapped.addon(addonGuid); }
    QList<IndexInfo*> supportedAddons() const { return m_supported.addons(); }
    QList<IndexInfo*> mappedAddons() const { return m_mapped.addons(); }
    IndexPathInfo* mappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid) const
    {
        return m_mapped.location(addonGuid, mappingGuid);
    }

    // The short name of a mapped location's simulator ("FSX", "XP11" ...); empty when there is no such
    // mapping.
    QString simulatorShortName(const QUuid& addonGuid, const QUuid& mappingGuid) const;

    // Whether mapping the add-on to `directory` for `simulator` repeats a mapping the user already has
    // (another location than `ignoredMappingGuid` with the same simulator and folder).
    bool isDuplicateMapping(const QUuid& addonGuid, int simulator, const QString& directory,
                            const QUuid& ignoredMappingGuid = QUuid()) const;
    // False when there is no such mapping or the change would duplicate another one.
    bool modifyMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& directory);
    bool removeMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid);

    // What the index serializer writes as "mapping.index": the mapped add-ons.
    DataIndexReaderInfo mappedReaderInfo() { return DataIndexReaderInfo{&m_mapped.map()}; }

    // Reads the mapping list at `file` into the mapped add-ons at once (the command line has no event loop
    // to wait in). A missing file adds nothing. False with `error` when the file can't be read.
    bool loadMappedAddons(const QString& file, Exception* error);

    struct FoundAddonsMerge
    {
        int added = 0;
        int alreadyMapped = 0; // the same simulator and folder were mapped before; not added again
    };
    // Adds the add-ons a scan found (each with one found location) to the mapped add-ons. Takes over every
    // record, added or not.
    FoundAddonsMerge addFoundAddons(const QList<IndexInfo*>& found);

    // Writes the mapped add-ons to the mapping list at `file`. Refused, with `error` saying which file and
    // why, when that file was not read completely as a mapping list (see CMappingListFile).
    bool saveMappedAddons(const QString& file, Exception* error);

public slots:
    // Both take ownership. A supported add-on replaces one with the same GUID; a mapped add-on is merged
    // into one with the same GUID, location by location.
    void addSupportedAddon(IndexInfo* addon);
    void addMappedAddon(IndexInfo* addon);

private:
    friend class CSingleton<CDataIndex>;
    explicit CDataIndex(QObject* parent);
    ~CDataIndex() override;

    CAddonMap m_supported;
    CAddonMap m_mapped;
};
