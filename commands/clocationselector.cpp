#include "clocationselector.h"

#include <QSet>

namespace
{
QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

QList<AddonStatus> filtered(const QList<AddonStatus>& locations, bool (AddonStatus::*keep)() const)
{
    QList<AddonStatus> chosen;
    for (const AddonStatus& location : locations) {
        if ((location.*keep)())
            chosen.append(location);
    }
    return chosen;
}

// "Name (GUID)", one per add-on, for a list of candidates.
QStringList addonNames(const QList<AddonStatus>& locations)
{
    QStringList names;
    QSet<QUuid> seen;
    for (const AddonStatus& location : locations) {
        if (seen.contains(location.addonGuid))
            continue;
        seen.insert(location.addonGuid);
        names.append(QStringLiteral("%0 (%1)").arg(location.name, guidText(location.addonGuid)));
    }
    return names;
}

// The add-on's locations by GUID, by the whole name, or by the one add-on whose name starts so.
QList<AddonStatus> byAddon(const QList<AddonStatus>& locations, const QString& addon, QStringList* candidates)
{
    QList<AddonStatus> chosen;
    const QUuid guid(addon);
    for (const AddonStatus& location : locations) {
        if (guid.isNull() ? location.name.compare(addon, Qt::CaseInsensitive) == 0 : location.addonGuid == guid)
            chosen.append(location);
    }
    if (!chosen.isEmpty() || !guid.isNull())
        return chosen;
    QList<AddonStatus> prefixed;
    for (const AddonStatus& location : locations) {
        if (location.name.startsWith(addon, Qt::CaseInsensitive))
            prefixed.append(location);
    }
    *candidates = addonNames(prefixed);
    return candidates->size() == 1 ? prefixed : QList<AddonStatus>();
}
} // namespace

CLocationSelector::Selection CLocationSelector::select(const QList<AddonStatus>& locations, const QString& addon,
                                                       const QString& mapping)
{
    Selection selection;
    const QString name = addon.trimmed();
    const QString which = mapping.trimmed();
    if (name.isEmpty()) {
        selection.error = QStringLiteral("No add-on named.");
        return selection;
    }
    QStringList prefixed;
    const QList<AddonStatus> ofAddon = byAddon(locations, name, &prefixed);
    if (ofAddon.isEmpty()) {
        if (prefixed.size() > 1) {
            selection.error = QStringLiteral("'%0' names more than one add-on.").arg(name);
            selection.candidates = prefixed;
        } else {
            selection.error = QStringLiteral("No mapped add-on is named '%0'.").arg(name);
            selection.candidates = addonNames(locations);
        }
        return selection;
    }
    selection.addonKnown = true;
    const QUuid mappingGuid(which);
    for (const AddonStatus& location : ofAddon) {
        if (which.isEmpty() || (mappingGuid.isNull() ? location.simulator.compare(which, Qt::CaseInsensitive) == 0
                                                     : location.mappingGuid == mappingGuid))
            selection.locations.append(location);
    }
    if (selection.locations.isEmpty()) {
        selection.error = QStringLiteral("%0 has no mapped location '%1'.").arg(ofAddon.first().name, which);
        for (const AddonStatus& location : ofAddon)
            selection.candidates.append(
                QStringLiteral("%0 (%1) %2").arg(location.simulator, guidText(location.mappingGuid), location.folder));
    }
    return selection;
}

QList<AddonStatus> CLocationSelector::toUpdate(const QList<AddonStatus>& locations)
{
    return filtered(locations, &AddonStatus::needsUpdate);
}

QList<AddonStatus> CLocationSelector::toBackUp(const QList<AddonStatus>& locations)
{
    return filtered(locations, &AddonStatus::canBackUp);
}
