// The model's mapping list: edits of the mapped add-ons and the operations on "mapping.index".
#include "cmainwindowmodel.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cmappinglistfile.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "model/cbackgroundwork.h"
#include "model/cmappingfiles.h"

#include <QDateTime>
#include <QDir>

#include <memory>
#include <vector>

bool CMainWindowModel::refuseWhileBusy()
{
    if (!m_mappingBusy)
        return false;
    m_view->addMessage(6, tr("Your addon mappings are being saved or loaded. Please try again in a moment."));
    return true;
}

void CMainWindowModel::markMappingChanged()
{
    m_mappingChanged = true;
}

void CMainWindowModel::saveMapping()
{
    BV_LOG(1, QStringLiteral("Try to save current mapping"));
    if (refuseWhileBusy())
        return;
    BV_LOG(1, QStringLiteral("Show scanning information"));
    m_view->displayWaitingMessage(tr("Scanning for addon information"));
    BV_LOG(1, QStringLiteral("Dispatch new thread for save"));
    // The worker reads the mapped add-ons; nothing edits them until it is done.
    m_mappingBusy = true;
    keep(runInBackground<CMappingFiles::Outcome>(this, QStringLiteral("mapping save"), &CMappingFiles::save,
                                                 [this](const CMappingFiles::Outcome& outcome) {
                                                     m_mappingBusy = false;
                                                     m_view->hideWaitingScreen();
                                                     const bool scan = m_scanAfterSave;
                                                     m_scanAfterSave = false;
                                                     if (!outcome.ok) {
                                                         CLogger::logException(outcome.error);
                                                         displayMessage(outcome.error);
                                                         emit mappingFileDone(false);
                                                         return;
                                                     }
                                                     m_mappingChanged = false;
                                                     m_view->addMessage(3, tr("Your addon mappings have been saved."));
                                                     emit mappingFileDone(true);
                                                     if (scan)
                                                         startScan();
                                                 }));
}

namespace
{
// "mapping.index" as a worker read it: its add-ons, held until the model's thread takes them (or freed
// with the last copy when the model is gone by then).
struct MappingList
{
    bool read = false;
    Exception error;
    std::shared_ptr<std::vector<std::unique_ptr<IndexInfo>>> addons =
        std::make_shared<std::vector<std::unique_ptr<IndexInfo>>>();
};

MappingList readMappingList()
{
    MappingList list;
    list.read = CMappingListFile(CDataLocations::mappingListFilePath())
                    .read([&list](IndexInfo* addon) { list.addons->emplace_back(addon); }, &list.error);
    return list;
}

// Replaces the mapped add-ons by those of a list that was read whole.
void takeMappingList(const MappingList& list)
{
    CDataIndex* index = CDataIndex::instance();
    index->mapped().clear();
    for (std::unique_ptr<IndexInfo>& addon : *list.addons)
        index->addMappedAddon(addon.release());
    list.addons->clear();
}
} // namespace

void CMainWindowModel::revertMapping()
{
    BV_LOG(1, QStringLiteral("Try to revert mapping"));
    if (refuseWhileBusy())
        return;
    m_mappingBusy = true;
    keep(runInBackground<MappingList>(this, QStringLiteral("mapping revert"), &readMappingList,
                                      [this](const MappingList& list) {
                                          m_mappingBusy = false;
                                          if (!list.read) {
                                              displayMessage(list.error);
                                              emit mappingFileDone(false);
                                              return;
                                          }
                                          takeMappingList(list);
                                          m_mappingChanged = false;
                                          addMappedAddons();
                                          emit mappingFileDone(true);
                                      }));
}

void CMainWindowModel::importMapping(const QString& file)
{
    BV_LOG(1, QStringLiteral("Try to import mapping"));
    if (refuseWhileBusy())
        return;
    BV_LOG(1, QStringLiteral("Backup current mapping"));
    m_mappingBusy = true;
    const QDateTime now = QDateTime::currentDateTime();
    struct Imported
    {
        CMappingFiles::Outcome outcome;
        MappingList list;
    };
    keep(runInBackground<Imported>(
        this, QStringLiteral("mapping import"),
        [file, now]() {
            Imported imported{CMappingFiles::import(file, now), {}};
            if (imported.outcome.ok)
                imported.list = readMappingList();
            return imported;
        },
        [this](const Imported& imported) {
            m_mappingBusy = false;
            const CMappingFiles::Outcome& outcome = imported.outcome;
            BV_LOG(1, QStringLiteral("Backup result is %0")
                          .arg(outcome.backupMade ? QStringLiteral("true") : QStringLiteral("false")));
            if (!outcome.ok) {
                CLogger::logException(outcome.error);
                displayMessage(outcome.error);
                emit mappingFileDone(false);
                return;
            }
            BV_LOG(1, QStringLiteral("Try to update installed addons"));
            if (imported.list.read) {
                takeMappingList(imported.list);
                m_mappingChanged = false;
                addMappedAddons();
                displayMessage(tr("File imported"), tr("The mapping has been imported successfully."));
            } else {
                displayMessage(imported.list.error);
            }
            emit mappingFileDone(imported.list.read);
        }));
}

void CMainWindowModel::exportMapping(const QString& file)
{
    BV_LOG(1, QStringLiteral("Try to export mapping... filename = %0").arg(file));
    keep(runInBackground<CMappingFiles::Outcome>(
        this, QStringLiteral("mapping export"), [file]() { return CMappingFiles::exportTo(file); },
        [this, file](const CMappingFiles::Outcome& outcome) {
            BV_LOG(1, QStringLiteral("Export mapping copy result is %0")
                          .arg(outcome.ok ? QStringLiteral("true") : QStringLiteral("false")));
            if (outcome.ok) {
                m_view->addMessage(3, tr("Your current addon mapping was successfully exported."));
            } else {
                CLogger::logException(outcome.error);
                m_view->addMessage(8, tr("Your addon mapping could not be exported to %0: %1")
                                          .arg(QDir::toNativeSeparators(file), outcome.error.message));
            }
            emit mappingFileDone(outcome.ok);
        }));
}

void CMainWindowModel::modifyMappedAddon(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Try to modify mapped addon"));
    CDataIndex* index = CDataIndex::instance();
    const IndexInfo* addon = index->mappedAddon(addonGuid);
    const IndexPathInfo* location = index->mappedLocation(addonGuid, mappingGuid);
    if (!addon || !location || refuseWhileBusy())
        return;
    BV_LOG(1, QStringLiteral("Popup directory dialog"));
    const QString chosen = m_view->getExistingDirectory(tr("Please select a path"), location->directory);
    if (chosen.isEmpty())
        return;
    const QString directory = QDir::toNativeSeparators(chosen);
    if (index->isDuplicateMapping(addonGuid, location->simulator, directory, mappingGuid)) {
        displayMessage(tr("Duplicated Mapping"),
                       tr("Duplicated mapping found. Your mapping for addon %0 (%1) will not be saved.")
                           .arg(addon->name, CSimulators::shortName(location->simulator)));
        BV_LOG(6, QStringLiteral("Duplicated mapping found"));
        return;
    }
    if (!index->modifyMappedLocation(addonGuid, mappingGuid, directory))
        return;
    markMappingChanged();
    BV_LOG(1, QStringLiteral("Mapping modified"));
    updateAddonStatus(addonGuid, mappingGuid);
}

void CMainWindowModel::removeMappedAddon(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Try to remove addon %0, mapping %1").arg(addonGuid.toString(), mappingGuid.toString()));
    if (CDataIndex::instance()->removeMappedLocation(addonGuid, mappingGuid))
        markMappingChanged();
}

void CMainWindowModel::removeMappedAddonFromInterface(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Try to remove item from interface"));
    if (refuseWhileBusy())
        return;
    BV_LOG(1, QStringLiteral("Item found: addon: %0, mapping: %1").arg(addonGuid.toString(), mappingGuid.toString()));
    removeMappedAddon(addonGuid, mappingGuid);
    m_view->onAddonRemoved(addonGuid, mappingGuid);
}

void CMainWindowModel::addNewAddon(const AddonInsertInfo& info)
{
    CDataIndex* index = CDataIndex::instance();
    const IndexInfo* supported = index->supportedAddon(info.addonGuid);
    if (!supported || refuseWhileBusy())
        return;
    auto* addon = new IndexInfo;
    addon->guid = supported->guid;
    addon->name = supported->name;
    addon->masterfile = supported->masterfile;
    addon->internalId = supported->internalId;
    auto* location = new IndexPathInfo;
    location->mappingGuid = QUuid::createUuid();
    location->simulator = info.simulator;
    location->directory = QDir::toNativeSeparators(info.folder);
    location->specified = true;
    addon->insertPath(location);
    const QUuid mappingGuid = location->mappingGuid;
    index->addMappedAddon(addon);
    markMappingChanged();
    m_view->addMappedAddon(itemRecord(indexLocation(info.addonGuid, mappingGuid), nullptr, true));
    updateAddonStatus(info.addonGuid, mappingGuid);
}
