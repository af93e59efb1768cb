#pragma once

#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"

#include <QDir>
#include <QFile>
#include <QUuid>

// Maps `count` locations below `root` into the data index, each a folder of its own with an installed
// edition of one of the supported add-ons (taken in turn), as a user with many add-ons has them. The list
// fill benchmarks of the model and of the window start from these.
inline void mapBenchLocations(const QString& root, int count)
{
    const QList<IndexInfo*> supported = CDataIndex::instance()->supportedAddons();
    for (int i = 0; i < count && !supported.isEmpty(); ++i) {
        const IndexInfo* source = supported.at(i % supported.size());
        auto* addon = new IndexInfo;
        addon->guid = source->guid;
        addon->name = source->name;
        auto* location = new IndexPathInfo;
        location->mappingGuid = QUuid::createUuid();
        location->simulator = 0x100000;
        location->directory = QDir::toNativeSeparators(root + QStringLiteral("/addons/%0").arg(i));
        addon->insertPath(location);
        QDir().mkpath(location->directory);
        QFile installed(CDataLocations::installedIndexPath(location->directory, addon->guid));
        if (installed.open(QIODevice::WriteOnly))
            installed.write("<mapping cycle=\"2612\" revision=\"1\"><sim simulator=\"USER\"/></mapping>\n");
        CDataIndex::instance()->addMappedAddon(addon);
    }
}
