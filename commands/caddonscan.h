#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <vector>

struct IndexInfo;
class QThread;

// One add-on location a scan found.
struct FoundAddon
{
    QUuid addonGuid;
    QUuid mappingGuid;
    QString name;
    QString simulator; // short name
    QString directory;
    QStringList patterns;
    QStringList titles; // the aircraft titles that matched
};

// Searches this machine for the supported add-ons of the data index on a thread of its own, and adds what it
// found to the mapped add-ons when asked: the scan of the window and of `tessaray-cli scan`. The search works
// on a copy of the supported add-ons, so that the index may be refreshed meanwhile. Lives on the GUI thread.
class CAddonScan : public QObject
{
    Q_OBJECT

public:
    struct Merge
    {
        int added = 0;
        int alreadyMapped = 0; // the same simulator and folder were mapped before; not added again
    };

    explicit CAddonScan(QObject* parent = nullptr);
    ~CAddonScan() override;

    // Starts searching; ignored while a search runs.
    void start();
    bool isRunning() const { return !m_thread.isNull(); }
    QList<FoundAddon> found() const { return m_found; }
    // Adds what was found to the mapped add-ons (they are saved with the mapping list, when the user saves).
    // What was found is handed over once: a second call adds nothing.
    Merge addToMapped();

signals:
    void searchStarted(QString addonName, QString simulator);
    void addonFound(const FoundAddon& addon);
    void finished(int found);

private:
    QPointer<QThread> m_thread;
    QList<FoundAddon> m_found;
    std::vector<std::unique_ptr<IndexInfo>> m_records;
};
