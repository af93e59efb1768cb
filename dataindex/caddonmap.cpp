#include "caddonmap.h"

#include "platform/clocalpath.h"

#include <QDir>

CAddonMap::~CAddonMap()
{
    clear();
}

void CAddonMap::clear()
{
    qDeleteAll(m_addons);
    m_addons.clear();
}

IndexPathInfo* CAddonMap::location(const QUuid& addonGuid, const QUuid& mappingGuid) const
{
    const IndexInfo* info = addon(addonGuid);
    return info ? info->path(mappingGuid) : nullptr;
}

void CAddonMap::replace(IndexInfo* addon)
{
    if (!addon)
        return;
    IndexInfo* previous = m_addons.value(addon->guid);
    if (previous == addon)
        return;
    m_addons.insert(addon->guid, addon);
    delete previous;
}

void CAddonMap::merge(IndexInfo* addon)
{
    if (!addon)
        return;
    IndexInfo* held = m_addons.value(addon->guid);
    if (!held) {
        m_addons.insert(addon->guid, addon);
        return;
    }
    if (held == addon)
        return;
    const QList<QUuid> mappingGuids = addon->paths.keys();
    for (const QUuid& mappingGuid : mappingGuids)
        held->insertPath(addon->paths.take(mappingGuid));
    delete addon;
}

bool CAddonMap::isSameFolder(const QString& a, const QString& b)
{
    auto canonical = [](const QString& path) {
        QString result = QDir::cleanPath(CLocalPath::toInternal(path.trimmed()));
        while (result.size() > 1 && result.endsWith(QLatin1Char('/')))
            result.chop(1);
        return result;
    };
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    const Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity sensitivity = Qt::CaseSensitive;
#endif
    return canonical(a).compare(canonical(b), sensitivity) == 0;
}

bool CAddonMap::isDuplicate(const QUuid& addonGuid, int simulator, const QString& directory,
                            const QUuid& ignoredMappingGuid) const
{
    const IndexInfo* info = addon(addonGuid);
    if (!info)
        return false;
    for (const IndexPathInfo* path : info->paths) {
        if (!ignoredMappingGuid.isNull() && path->mappingGuid == ignoredMappingGuid)
            continue;
        if (path->simulator == simulator && isSameFolder(path->directory, directory))
            return true;
    }
    return false;
}

bool CAddonMap::modifyLocation(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& directory)
{
    IndexPathInfo* path = location(addonGuid, mappingGuid);
    if (!path || isDuplicate(addonGuid, path->simulator, directory, mappingGuid))
        return false;
    path->directory = QDir::toNativeSeparators(CLocalPath::toNative(directory));
    return true;
}

bool CAddonMap::removeLocation(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    IndexInfo* info = addon(addonGuid);
    if (!info || !info->removePath(mappingGuid))
        return false;
    if (info->paths.isEmpty())
        delete m_addons.take(addonGuid);
    return true;
}
