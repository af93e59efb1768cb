#pragma once

#include "dataindex/caddonmap.h"
#include "dataindex/indexinfo.h"
#include "dataindex/indexinformation.h"
#include "foundation/csingleton.h"
#include "foundation/exception.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <optional>

class QThread;

// The program's one in-memory model of add-ons: the supported add-ons of the data index and the add-ons
// the user has mapped. A process-wide singleton that lives on the GUI thread; the records are kept in two
// CAddonMap objects, where the rules live.
//
// initialize() brings it up to date: it asks the web service for the identity of the current data index,
// has a CDataIndexReader download a new "data.index" when the local one is another edition, parses it,
// loads the mapping list on a worker thread and reports completed(). Creating the singleton starts
// nothing: the command line and the commands read the maps without the web service, and the window model
// calls initialize() when it starts.
class CDataIndex : public QObject
{
    Q_OBJECT

public:
    // Created on first use, under a lock with a second check after locking.
    static CDataIndex* instance() { return CSingleton<CDataIndex>::instance(); }
    // Deletes the singleton and every record it holds; the next instance() starts empty. For tests, and
    // only while no other thread uses the index.
    static void resetInstance() { CSingleton<CDataIndex>::reset(); }

    CAddonMap& supported() { return m_supported; }
    CAddonMap& mapped() { return m_mapped; }

    IndexInfo* supportedAddon(const QUuid& addonGuid) const { return m_supported.addon(addonGuid); }
    IndexInfo* mappedAddon(const QUuid& addonGuid) const { return m_mapped.addon(addonGuid); }
    QList<IndexInfo*> supportedAddons() const { return m_supported.addons(); }
    QList<IndexInfo*> mappedAddons() const { return m_mapped.addons(); }
    IndexPathInfo* mappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid) const
    {
        return m_mapped.location(addonGuid, mappingGuid);
    }

    // The short name of a mapped location's simulator ("FSX", "XP11" ...); empty when there is no such
    // mapping.
    QString simulatorShortName(const QUuid& addonGuid, const QUuid& mappingGuid) const;

    // Whether mapping the add-on to `directory` for `simulator` repeats a mapping the user already has
    // (another location than `ignoredMappingGuid` with the same simulator and folder).
    bool isDuplicateMapping(const QUuid& addonGuid, int simulator, const QString& directory,
                            const QUuid& ignoredMappingGuid = QUuid()) const;
    // False when there is no such mapping or the change would duplicate another one.
    bool modifyMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& directory);
    bool removeMappedLocation(const QUuid& addonGuid, const QUuid& mappingGuid);

    // What the index serializer writes as "mapping.index": the mapped add-ons.
    DataIndexReaderInfo mappedReaderInfo() { return DataIndexReaderInfo{&m_mapped.map()}; }

    // Reads the mapping list at `file` into the mapped add-ons at once (the command line has no event loop
    // to wait in). A missing file adds nothing. False with `error` when the file can't be read.
    bool loadMappedAddons(const QString& file, Exception* error);

    struct FoundAddonsMerge
    {
        int added = 0;
        int alreadyMapped = 0; // the same simulator and folder were mapped before; not added again
    };
    // Adds the add-ons a scan found (each with one found location) to the mapped add-ons. Takes over every
    // record, added or not.
    FoundAddonsMerge addFoundAddons(const QList<IndexInfo*>& found);

    // Writes the mapped add-ons to the mapping list at `file`. Refused, with `error` saying which file and
    // why, when that file was not read completely as a mapping list (see CMappingListFile).
    bool saveMappedAddons(const QString& file, Exception* error);

    // Whether the local data index is the current edition (false until a check has shown it).
    bool isCurrent() const { return m_current; }
    // True from initialize() until the check has completed or failed for good.
    bool isChecking() const { return m_checking; }
    const std::optional<IndexInformation>& indexInformation() const { return m_information; }
    // The local file's "fileRevision" and its id text, when it has one.
    QString fileRevision() const { return m_fileRevision; }
    QString fileRevisionId() const { return m_fileRevisionId; }

    // Holds the header of the local "data.index" as the index information (after a new edition has been
    // installed, it is the current one).
    void takeLocalHeader();

    // Asks the web service for the identity of the current data index (web-service id 256).
    void tryGetInstallationInfo();
    // Loads "mapping.index" into the mapped add-ons on a worker thread.
    void tryGetMappingInfo();

signals:
    void completed(bool succeed);
    void searchError(Exception ex); // declared for receivers; the index reports through error()
    void error(int webServiceId, int errorNumber, QString message);
    void beginAddonSearch();
    void endAddonSearch();
    void checkForAddon(QString addonName); // declared for receivers
    void initializeDataIndex();

public slots:
    // Starts the check; ignored while one runs.
    void initialize();
    // As initialize(), but the index is downloaded again even when the local copy is the current edition:
    // the user's way out of a local copy that is damaged in a way its header doesn't show.
    void redownload();
    void onMappingFound(bool succeed);

    // Both take ownership. A supported add-on replaces one with the same GUID; a mapped add-on is merged
    // into one with the same GUID, location by location.
    void addSupportedAddon(IndexInfo* addon);
    void addMappedAddon(IndexInfo* addon);

private:
    friend class CSingleton<CDataIndex>;
    explicit CDataIndex(QObject* parent);
    ~CDataIndex() override;

    void onIndexInfoReceived(int webServiceId, int errorCode, const QVariant& data);
    void onIndexInfoFailed(int webServiceId, int errorNumber, const QString& message);
    void startReader();
    void takeParsedIndex(const QList<IndexInfo*>& addons, bool replacedByDownload);
    void endCheck();

    CAddonMap m_supported;
    CAddonMap m_mapped;
    std::optional<IndexInformation> m_information;
    bool m_current = false;
    bool m_checking = false;
    bool m_downloadAnyway = false; // set by redownload() for the check it starts
    QString m_fileRevision;
    QString m_fileRevisionId;
    QPointer<QThread> m_mappingThread;
};
