#include "cdataindex.h"

#include "dataindex/csimulators.h"

#include <QAtomicPointer>
#include <QMutex>

namespace
{
QMutex instanceMutex;
QAtomicPointer<CDataIndex> sharedInstance;
} // namespace

CDataIndex::CDataIndex(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
}

CDataIndex* CDataIndex::instance()
{
    // The pointer is read again under the lock: two threads may race to the first use.
    if (CDataIndex* existing = sharedInstance.loadAcquire())
        return existing;
    QMutexLocker locker(&instanceMutex);
    if (!sharedInstance.loadAcquire())
        sharedInstance.storeRelease(new CDataIndex);
    return sharedInstance.loadAcquire();
}

void CDataIndex::resetInstance()
{
    QMutexLocker locker(&instanceMutex);
    delete sharedInstance.fetchAndStoreAcquire(nullptr);
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
