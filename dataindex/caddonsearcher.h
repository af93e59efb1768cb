#pragma once

#include "dataindex/caircraftconfig.h"
#include "dataindex/cfoldertree.h"
#include "dataindex/indexinfo.h"
#include "foundation/exception.h"
#include "platform/clocalpath.h"

#include <QHash>
#include <QObject>
#include <QRegularExpression>
#include <QSharedPointer>
#include <QVector>

#include <atomic>

// Finds on this machine the add-ons that the data index lists. Each location of each add-on is tried with
// its file-system, registry and uninstall rules (searchTools) and then with its aircraft titles
// (searchAddons); every hit is announced as a fresh copy of the add-on holding one new location, the
// folder where it was found.
//
// One searcher per scan, on a thread of its own (search() runs there). It reads the add-on records while
// the GUI thread holds them and writes one field in place: a location whose directory is the marker
// "[PROGRAMROOT]" or "[REGPATH]" gets the folder found. Within one searcher, folder listings, aircraft
// titles, simulator trees and compiled patterns are read once and remembered: a scan tests thousands of
// paths below the same few folders.
class CAddonSearcher : public QObject
{
    Q_OBJECT

public:
    // Searches the supported add-ons of CDataIndex unless setAddons() names other ones.
    explicit CAddonSearcher(QObject* parent = nullptr);

    // The add-ons to search (not owned; they must outlive the search).
    void setAddons(IndexInfoMap* addons) { m_addons = addons; }

    // Ends a running search() after the current location, with searchCompleted(false). Any thread.
    void requestStop() { m_stopRequested = true; }

    // One location of one add-on; true when it was found and announced.
    bool searchTools(IndexInfo* info, IndexPathInfo* entry);
    bool searchAddons(IndexInfo* info, IndexPathInfo* entry);

    // A new record with the source's GUID, name and master file, zero counters and no locations; the
    // caller owns it.
    Q_INVOKABLE IndexInfo* copyIndexInfo(IndexInfo* source);
    // A new found location: platform 0, the simulator, the folder in native separators, a new mapping GUID,
    // the current time. The caller owns it.
    Q_INVOKABLE IndexPathInfo* createIndexPathInfo(IndexInfo* source, int simulator, const QString& directory);

public slots:
    void search();

signals:
    void searchStarted(QString addonName, QString simulator);
    // The receiver owns `addon`; `pathInfo` is the simulator flag of its one location.
    void addonFound(IndexInfo* addon, int pathInfo);
    void searchCompleted(bool succeed);
    // Declared for receivers: a missing simulator or unreadable file only means "not found".
    void searchError(Exception error);

private:
    struct Aircraft
    {
        QString folder;
        QString configPath;
        QString title;
    };

    bool announce(IndexInfo* info, IndexPathInfo* entry, const QString& directory, const QString& pattern = QString(),
                  const QString& title = QString());
    bool findByFileSystem(IndexInfo* info, IndexPathInfo* entry);
    bool findByRegistry(IndexInfo* info, IndexPathInfo* entry);
    bool findByUninstall(IndexInfo* info, IndexPathInfo* entry);
    // The X-Plane walk for a file-system rule not found where the index says; the found directory or empty.
    QString findInXPlaneTree(const IndexPathInfo* entry, const QString& fileName, const QString& resolvedPath,
                             const QString& root);
    void takeFoundValue(IndexPathInfo* entry, const QString& value);
    QString foundDirectory(const QString& directory);

    const QVector<Aircraft>& aircraftBelow(const QString& root, int simulator);
    QString aircraftText(const Aircraft& aircraft);
    const QRegularExpression& titlePattern(const QString& pattern);
    const CFolderTree& folderTree(const QString& root);

    IndexInfoMap* m_addons = nullptr;
    std::atomic_bool m_stopRequested{false};

    CPathCaseCache m_paths;
    QHash<QString, QVector<Aircraft>> m_aircraft;
    QHash<QString, QSharedPointer<CFolderTree>> m_trees;
    QHash<QString, QRegularExpression> m_patterns;
};
