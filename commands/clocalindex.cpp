#include "clocalindex.h"

#include "commands/caddonstatus.h"
#include "commands/cleftovers.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/cfilemappingserializer.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"

#include <QFileInfo>

#include <memory>
#include <vector>

namespace
{
// Reads an index file, handing each record to `take`; false with `error` when it can't be read.
template <typename Take> bool readIndexFile(const QString& file, Take take, Exception* error)
{
    bool failed = false;
    CDataIndexSerializer serializer;
    QObject::connect(&serializer, &CDataIndexSerializer::addonFound, take);
    QObject::connect(&serializer, &CDataIndexSerializer::taskError, [&](const Exception& reported) {
        *error = reported;
        failed = true;
    });
    serializer.deserialize(file);
    return !failed;
}

LocationListing listing(const IndexPathInfo& location)
{
    LocationListing item;
    item.mappingGuid = location.mappingGuid;
    item.platform = platformName(location.platform);
    item.simulator = CSimulators::shortName(location.simulator);
    item.directory = location.directory;
    item.cycle = location.cycle;
    item.revision = location.revision;
    item.specified = location.specified;
    item.backup = location.backup;
    item.patterns = location.patterns;
    for (const FileSystemRule& rule : location.filesystem)
        item.filesystem.append({rule.directory, rule.fileName});
    for (const RegistryRule& rule : location.registry)
        item.registry.append({rule.keyPath, rule.valueName});
    for (const UninstallRule& rule : location.uninstall)
        item.uninstall.append({rule.hasProductGuid ? rule.productGuid : QUuid(), rule.keyName, rule.valueName});
    return item;
}
} // namespace

bool CLocalIndex::load(Exception* error, QString* warning, const QString& dataIndexFile)
{
    Exception unreadIndex;
    const QString file = dataIndexFile.isEmpty() ? CDataLocations::dataIndexFilePath() : dataIndexFile;
    if (!QFileInfo::exists(file)) {
        CDataIndex::instance()->supported().clear();
        *warning = QStringLiteral("there is no data index on this machine yet; 'tessaray-cli index refresh' "
                                  "fetches it");
    } else if (!loadSupported(file, &unreadIndex)) {
        *warning = unreadIndex.message;
    }
    if (!loadMappings(error))
        return false;
    sweepAbandoned();
    return true;
}

bool CLocalIndex::loadSupported(const QString& file, Exception* error)
{
    CDataIndex* index = CDataIndex::instance();
    index->supported().clear();
    return readIndexFile(
        file, [index](IndexInfo* addon) { index->addSupportedAddon(addon); }, error);
}

bool CLocalIndex::loadMappings(Exception* error)
{
    CDataIndex* index = CDataIndex::instance();
    index->mapped().clear();
    return index->loadMappedAddons(CDataLocations::mappingListFilePath(), error);
}

bool CLocalIndex::saveMappings(Exception* error)
{
    return CDataIndex::instance()->saveMappedAddons(CDataLocations::mappingListFilePath(), error);
}

void CLocalIndex::sweepAbandoned()
{
    QList<QUuid> mapped;
    for (const AddonStatus& status : CAddonStatus::all())
        mapped.append(status.mappingGuid);
    CLeftovers::sweepAbandoned(mapped);
}

void CLocalIndex::recordInstalled(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    IndexPathInfo* location = CDataIndex::instance()->mappedLocation(addonGuid, mappingGuid);
    if (!location)
        return; // the mapping was removed while the command ran
    const AddonStatus now = CAddonStatus::of(addonGuid, mappingGuid);
    location->cycle = now.installedCycle;
    location->revision = now.installedRevision;
    location->backup = now.state == AddonStatus::Restored;
}

bool CIndexListing::read(const QString& file, QList<AddonListing>* addons, Exception* error)
{
    std::vector<std::unique_ptr<IndexInfo>> records; // in file order
    if (!readIndexFile(
            file, [&records](IndexInfo* addon) { records.emplace_back(addon); }, error))
        return false;
    for (const auto& record : records) {
        AddonListing addon{
            record->guid, record->name, record->cycle, record->revision, record->masterfile, record->internalId, {}};
        for (const IndexPathInfo* location : qAsConst(record->paths))
            addon.locations.append(listing(*location));
        addons->append(addon);
    }
    return true;
}

IndexSummary CIndexListing::summary()
{
    CDataIndex* index = CDataIndex::instance();
    const QString path = CDataLocations::dataIndexFilePath();
    const DataIndexHeader header = CDataIndexSerializer::readHeader(path);
    IndexSummary summary{
        header.id, header.revision, header.description, path, index->isCurrent(), index->supported().size(), 0};
    for (const IndexInfo* addon : index->mappedAddons())
        summary.mapped += addon->paths.size();
    return summary;
}
