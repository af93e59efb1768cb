#include "caddonstatus.h"

#include "commands/cinstallrecovery.h"
#include "commands/cinstalltransaction.h"
#include "commands/cioutils.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cfilemappingserializer.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"

#include <QFileInfo>

QString AddonStatus::stateText(State state)
{
    switch (state) {
    case Updated:
        return QStringLiteral("updated");
    case Outdated:
        return QStringLiteral("outdated");
    case Restored:
        return QStringLiteral("restored");
    case NotInstalled:
        return QStringLiteral("not installed");
    case Missing:
        return QStringLiteral("missing");
    case Interrupted:
        return QStringLiteral("interrupted");
    case Unsupported:
        return QStringLiteral("unsupported");
    }
    return QString();
}

AddonStatus CAddonStatus::of(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    AddonStatus status = fromIndex(addonGuid, mappingGuid);
    readDisk(&status);
    return status;
}

AddonStatus CAddonStatus::fromIndex(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    AddonStatus status;
    CDataIndex* index = CDataIndex::instance();
    const IndexInfo* mapped = index->mappedAddon(addonGuid);
    const IndexPathInfo* location = mapped ? mapped->path(mappingGuid) : nullptr;
    if (!location)
        return status;
    status.addonGuid = addonGuid;
    status.mappingGuid = mappingGuid;
    status.name = mapped->name;
    status.simulator = CSimulators::shortName(location->simulator);
    status.folder = location->directory;

    // The index's data for this simulator; the add-on's own figures when no location names it.
    if (const IndexInfo* supported = index->supportedAddon(addonGuid)) {
        status.supported = true;
        status.masterfile = supported->masterfile;
        status.internalId = supported->internalId;
        status.currentCycle = supported->cycle;
        status.currentRevision = supported->revision;
        for (const IndexPathInfo* entry : supported->paths) {
            if (entry->simulator == location->simulator) {
                status.currentCycle = entry->cycle;
                status.currentRevision = entry->revision;
                break;
            }
        }
    }

    return status;
}

void CAddonStatus::readDisk(AddonStatus* record)
{
    AddonStatus& status = *record;
    if (!status.isMapped())
        return;
    const QString installed = CDataLocations::installedIndexPath(status.folder, status.addonGuid);
    if (!QFileInfo(status.folder).isDir()) {
        status.state = AddonStatus::Missing;
        return;
    }
    const MappingVersion version = CFileMappingSerializer::deserializeToVersion(installed);
    status.installedCycle = version.cycle;
    status.installedRevision = version.revision;
    // The installed mapping goes in last, so it may name an edition that only part of the files are.
    if (!CInstallTransaction::pendingJournals(status.folder).isEmpty()) {
        status.state = AddonStatus::Interrupted;
        status.reason = CInstallRecovery::lastProblem(status.folder);
        if (status.reason.isEmpty())
            status.reason =
                QStringLiteral("an install or restore was interrupted; the next command for it completes it");
    } else if (!QFileInfo::exists(installed)) {
        status.state = AddonStatus::NotInstalled;
    } else if (!status.supported) {
        status.state = AddonStatus::Unsupported;
    } else if (version.backup) {
        status.state = AddonStatus::Restored;
    } else if (version.cycle == status.currentCycle && version.revision == status.currentRevision) {
        status.state = AddonStatus::Updated;
    } else {
        status.state = AddonStatus::Outdated;
    }
}

QList<AddonStatus> CAddonStatus::all()
{
    QList<AddonStatus> list;
    for (const IndexInfo* addon : CDataIndex::instance()->mappedAddons()) {
        for (auto it = addon->paths.cbegin(); it != addon->paths.cend(); ++it)
            list.append(of(addon->guid, it.key()));
    }
    return list;
}
