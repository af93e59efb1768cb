#include "indexinfo.h"

IndexInfo::~IndexInfo()
{
    qDeleteAll(paths);
}

void IndexInfo::insertPath(IndexPathInfo* path)
{
    if (!path)
        return;
    IndexPathInfo* previous = paths.value(path->mappingGuid);
    if (previous == path)
        return;
    paths.insert(path->mappingGuid, path);
    delete previous;
}

bool IndexInfo::removePath(const QUuid& mappingGuid)
{
    IndexPathInfo* path = paths.take(mappingGuid);
    if (!path)
        return false;
    delete path;
    return true;
}

IndexInfo* IndexInfo::clone() const
{
    auto* copy = new IndexInfo;
    copy->guid = guid;
    copy->name = name;
    copy->cycle = cycle;
    copy->revision = revision;
    copy->masterfile = masterfile;
    copy->internalId = internalId;
    for (const IndexPathInfo* path : paths)
        copy->paths.insert(path->mappingGuid, new IndexPathInfo(*path));
    return copy;
}

QString platformName(int platform)
{
    switch (platform) {
    case PlatformMac:
        return QStringLiteral("MAC");
    case PlatformLinux:
        return QStringLiteral("LINUX");
    default:
        return QStringLiteral("WINDOWS");
    }
}

int platformFromName(const QString& text)
{
    if (text == QLatin1String("LINUX"))
        return PlatformLinux;
    if (text == QLatin1String("MAC"))
        return PlatformMac;
    return PlatformWindows;
}
