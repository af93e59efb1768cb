#pragma once

#include "cdownloadtestserver.h"
#include "ctestdatadir.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

// The download engine's cases that any web server can play: whole files with one and several workers, the
// range requests on the wire, servers that fail, journals, and downloads stopped on the way. Each test
// program derives from this to run them against its own server, and adds what only that server can play.
class TestDownloadServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int SmallChunkSetting = -7; // 64 KiB chunks, set before each test
    static constexpr qint64 SmallChunk = 65536;

protected:
    virtual CDownloadTestServer& server() = 0;
    // `name` in the current test's scratch folder.
    QString target(const QString& name) const { return m_target->filePath(name); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void splitsAmongWorkersAndRanges_data();
    void splitsAmongWorkersAndRanges();
    void downloadsIntoDestination_data();
    void downloadsIntoDestination();
    void failsCleanly_data();
    void failsCleanly();
    void refusesSecondAppend();
    void recordsStatistics_data();
    void recordsStatistics();
    // Last: a server may log the requests of a stopped download only once it notices.
    void journalsPiecesWhileRunning();
    void stopsInTheMiddleAndStartsAgain();
    void deletesInTheMiddleAndStartsAgain();

private:
    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_target;
};
