#include "cdataindex.h"

#include "dataindex/cmappinglistfile.h"
#include "dataindex/csimulators.h"

CDataIndex::CDataIndex(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
}

CDataIndex::~CDataIndex()
{
    CSingleton<CDataIndex>::forget(this);
}

QString CDataIndex::simulatorShortName(const QUuid& addonGuid, const QUuid& mappingGuid) const
{
    const IndexPathInfo* location = m_mapped.location(addonGuid, mappingGuid);
    return location ? CSimulators::shortName(location->simulator) : QString();
}

bool CDataIndex::isDuplicateMapping(const QUuid& addonGuid, int simulator, const QString& directory,
                                    const QUuid& ignoredMappingGuid) const
{
    return m_mapped.isDuplicate(addonGuid, simulator, directory, ignoredMappingGuid);
}

bool CDataIndex::modifyMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& directory)
{
    return m_mapped.modifyLocation(addonGuid, mappingGuid, directory);
}

bool CDataIndex::removeMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    return m_mapped.removeLocation(addonGuid, mappingGuid);
}

void CDataIndex::addSupportedAddon(IndexInfo* addon)
{
    m_supported.replace(addon);
}

void CDataIndex::addMappedAddon(IndexInfo* addon)
{
    m_mapped.merge(addon);
}

bool CDataIndex::loadMappedAddons(const QString& file, Exception* error)
{
    return CMappingListFile(file).read([this](IndexInfo* addon) { addMappedAddon(addon); }, error);
}

CDataIndex::FoundAddonsMerge CDataIndex::addFoundAddons(const QList<IndexInfo*>& found)
{
    FoundAddonsMerge merge;
    for (IndexInfo* addon : found) {
        const IndexPathInfo* location = addon->paths.isEmpty() ? nullptr : addon->paths.first();
        if (!location || isDuplicateMapping(addon->guid, location->simulator, location->directory)) {
            ++merge.alreadyMapped;
            delete addon;
            continue;
        }
        addMappedAddon(addon);
        ++merge.added;
    }
    return merge;
}

bool CDataIndex::saveMappedAddons(const QString& file, Exception* error)
{
    return CMappingListFile(file).write(m_mapped.map(), error);
}
