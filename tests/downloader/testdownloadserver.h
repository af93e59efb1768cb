#pragma once

#include "cdatadirtest.h"
#include "cdownloadtestserver.h"

// The download engine's cases that are about what goes over the wire, so that a web server written elsewhere
// plays them too: whole files with one and several workers, the range requests and their headers,
// redirects, servers that fail, files that change, and downloads that go on where they stopped. Each test
// program derives from this to run them against its own server, and adds what only that server can play.
class TestDownloadServer : public CDataDirTest
{
    Q_OBJECT

public:
    static constexpr int SmallChunkSetting = -7; // 64 KiB chunks, set before each test
    static constexpr qint64 SmallChunk = 65536;

    // Served slowly, each of `workers` connections needs about two seconds for this much: time enough to
    // catch the download on the way.
    static constexpr qint64 slowFileSize(int workers) { return workers * 2 * CDownloadTestServer::SlowBytesPerSecond; }

protected:
    virtual CDownloadTestServer& server() = 0;
    // True for a server that is there to check what goes over the wire: cases that do not depend on the
    // server are left to the others.
    virtual bool wireLevelOnly() const { return false; }
    // `name` in the current test's scratch folder.
    QString target(const QString& name) const { return data().filePath(name); }

private slots:
    void initTestCase();
    void init();

    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void splitsAmongWorkersAndRanges_data();
    void splitsAmongWorkersAndRanges();
    void downloadsIntoDestination_data();
    void downloadsIntoDestination();
    void failsCleanly_data();
    void failsCleanly();
    void followsRedirects();
    void refusesFileChangedOnTheWay();
    // Last: a server may log the requests of a stopped download only once it notices.
    void resumesWhereItStopped_data();
    void resumesWhereItStopped();
};
