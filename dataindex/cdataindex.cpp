#include "cdataindex.h"

#include "dataindex/caddonmappingreader.h"
#include "dataindex/cdataindexreader.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/cmappinglistfile.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "foundation/cworkerthread.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cwebservices.h"
#include "webservices/fmsdataindexinfo.h"

#include <QFileInfo>
#include <QThread>

#include <memory>

namespace
{
constexpr int dataIndexServiceId = 256;
// The identity request failed in a way that still lets the local copy be read.
constexpr int localCopyStillUsable = 28;
} // namespace

CDataIndex::CDataIndex(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
}

CDataIndex::~CDataIndex() = default;

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

void CDataIndex::initialize()
{
    if (m_checking) {
        BV_LOG(1, QStringLiteral("Data index check already running; not started again."));
        return;
    }
    m_checking = true;
    emit initializeDataIndex();
    m_current = false;
    tryGetInstallationInfo();
}

void CDataIndex::redownload()
{
    if (m_checking) {
        BV_LOG(1, QStringLiteral("Data index check already running; not started again."));
        return;
    }
    m_downloadAnyway = true;
    initialize();
}

void CDataIndex::tryGetInstallationInfo()
{
    auto* webServices = new CWebServices(parent());
    connect(webServices, &CWebServices::workCompleted, this, &CDataIndex::onIndexInfoReceived);
    connect(webServices, &CWebServices::errorReceived, this, &CDataIndex::onIndexInfoFailed);
    webServices->getFMSIndex();
}

void CDataIndex::onIndexInfoReceived(int webServiceId, int errorCode, const QVariant& data)
{
    if (auto* webServices = qobject_cast<CWebServices*>(sender()))
        webServices->deleteLater();
    const std::unique_ptr<FMSDataIndexInfo> received(data.value<FMSDataIndexInfo*>());
    if (webServiceId != dataIndexServiceId)
        return;
    if (errorCode != 0 || !received) {
        // An answer that is no index information: reported like a failure, and the check ends.
        const QString message =
            QStringLiteral("The web service gave no data index information (error %0).").arg(errorCode);
        BV_LOG_SERVICE(webServiceId, 6, message);
        endCheck();
        emit error(webServiceId, errorCode, message);
        emit completed(false);
        return;
    }

    const QString path = CDataLocations::dataIndexFilePath();
    m_fileRevision.clear();
    m_fileRevisionId.clear();
    if (QFileInfo::exists(path)) {
        takeLocalHeader();
        m_current = m_information->id == received->id && !m_downloadAnyway;
    } else {
        m_information.reset();
        m_current = false;
    }
    if (!m_current)
        m_information = IndexInformation{received->id, QString(), received->url, received->comments};
    startReader();
}

void CDataIndex::onIndexInfoFailed(int webServiceId, int errorNumber, const QString& message)
{
    if (auto* webServices = qobject_cast<CWebServices*>(sender()))
        webServices->deleteLater();
    BV_LOG_SERVICE(webServiceId, 6,
                   QStringLiteral("Data index information not received: %0 (%1)").arg(message).arg(errorNumber));
    if (errorNumber == localCopyStillUsable)
        startReader();
    else
        endCheck();
    emit error(webServiceId, errorNumber, message);
}

void CDataIndex::takeLocalHeader()
{
    const QString path = CDataLocations::dataIndexFilePath();
    const DataIndexHeader header = CDataIndexSerializer::readHeader(path);
    m_information = IndexInformation{header.id, header.internalId, path, header.description};
    m_current = true;
    if (!header.fileRevision.isEmpty()) {
        m_fileRevision = header.fileRevision;
        m_fileRevisionId = header.id.toString();
    }
}

void CDataIndex::startReader()
{
    auto* reader = new CDataIndexReader(this);
    connect(reader, &CDataIndexReader::parsed, this, &CDataIndex::takeParsedIndex);
    connect(reader, &CDataIndexReader::installed, this, &CDataIndex::tryGetMappingInfo);
    connect(reader, &CDataIndexReader::networkError, this, [this](const QString& url, CNetworkError& failure) {
        emit error(dataIndexServiceId, failure.code(),
                   QStringLiteral("The data index could not be downloaded from %0: %1. The local copy is used.")
                       .arg(url, failure.text()));
    });
    connect(reader, &CDataIndexReader::failed, this,
            [this](const Exception& failure) { emit error(dataIndexServiceId, failure.errorNumber, failure.message); });
    reader->read(m_current, m_information);
}

void CDataIndex::takeParsedIndex(const QList<IndexInfo*>& addons, bool replacedByDownload)
{
    // A new edition that has just replaced the local file is the current one, with its own header.
    if (replacedByDownload)
        takeLocalHeader();
    m_supported.clear();
    for (IndexInfo* addon : addons)
        addSupportedAddon(addon);
}

void CDataIndex::tryGetMappingInfo()
{
    emit beginAddonSearch();
    auto* reader = new CAddonMappingReader;
    // All records in one hand-over: one that never arrives (the index went first) frees them.
    connect(reader, &CAddonMappingReader::addonsRead, this,
            [this](const CAddonMappingReader::Addons& addons, bool succeed) {
                for (auto& addon : *addons)
                    addMappedAddon(addon.release());
                addons->clear();
                onMappingFound(succeed);
            });
    const QString file = CDataLocations::mappingListFilePath();
    m_mappingThread =
        CWorkerThread::start(reader, QStringLiteral("mapping reader"), [reader, file]() { reader->beginRead(file); });
    BV_LOG(1, QStringLiteral("Thread dispatched: %0").arg(m_mappingThread->isRunning() ? 1 : 0));
}

void CDataIndex::onMappingFound(bool succeed)
{
    // The reader is done: ending its thread deletes it.
    if (m_mappingThread)
        m_mappingThread->quit();
    endCheck();
    emit completed(succeed);
    if (m_information)
        CSettings::setValue(SettingsKey::CycleHash, CDownloadLogUtils::encryptText(m_information->internalId));
    emit endAddonSearch();
}

void CDataIndex::endCheck()
{
    m_checking = false;
    m_downloadAnyway = false;
}
