#pragma once

#include "dataindex/indexinfo.h"

#include <QList>
#include <QString>
#include <QUuid>

// An owning map of add-ons by GUID: the supported add-ons of the data index or the user's mapped ones.
// Every IndexInfo handed in belongs to the map from then on.
class CAddonMap
{
public:
    CAddonMap() = default;
    ~CAddonMap();
    CAddonMap(const CAddonMap&) = delete;
    CAddonMap& operator=(const CAddonMap&) = delete;

    // The map itself, for the index writer and the search; the records stay owned here.
    IndexInfoMap& map() { return m_addons; }
    const IndexInfoMap& map() const { return m_addons; }

    IndexInfo* addon(const QUuid& addonGuid) const { return m_addons.value(addonGuid); }
    IndexPathInfo* location(const QUuid& addonGuid, const QUuid& mappingGuid) const;
    // In ascending GUID order.
    QList<IndexInfo*> addons() const { return m_addons.values(); }
    int size() const { return m_addons.size(); }
    bool isEmpty() const { return m_addons.isEmpty(); }
    void clear();

    // Puts the add-on under its GUID; one held before under that GUID is deleted.
    void replace(IndexInfo* addon);

    // Puts the add-on under its GUID when none is held; otherwise moves each of its locations into the held
    // add-on under its mapping GUID (a location with the same mapping GUID is replaced) and deletes the rest,
    // so that one add-on collects all its mapped locations.
    void merge(IndexInfo* addon);

    // True when another location of the add-on (not `ignoredMappingGuid`) has the same simulator and names
    // the same folder (compared as the file system compares names: without regard to case on Windows and
    // macOS, separators and a trailing separator ignored).
    bool isDuplicate(const QUuid& addonGuid, int simulator, const QString& directory,
                     const QUuid& ignoredMappingGuid = QUuid()) const;

    // Changes a location's folder; false when there is no such location or the change would duplicate
    // another location of the add-on.
    bool modifyLocation(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& directory);

    // Removes one location; the add-on goes with its last location. False when there is no such location.
    bool removeLocation(const QUuid& addonGuid, const QUuid& mappingGuid);

    // The same folder, as the file system compares names.
    static bool isSameFolder(const QString& a, const QString& b);

private:
    IndexInfoMap m_addons;
};
