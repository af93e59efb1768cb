#include "testdownloadserver.h"

#include "cdownloadprobe.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"
#include "foundation/csettings.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using Serving = CDownloadTestServer::Serving;
Q_DECLARE_METATYPE(CDownloadTestServer::Serving)

namespace
{
constexpr qint64 defaultChunk = 1572864;

// Empty when the ranges of `gets` cover [0, size - 1] exactly once, none longer than `chunk`; else what is
// wrong with them.
QString checkTiling(const QList<CServedRequest>& gets, qint64 size, qint64 chunk)
{
    static const QRegularExpression rangePattern(QStringLiteral(R"(^bytes=(\d+)-(\d+)$)"));
    QList<QPair<qint64, qint64>> ranges;
    for (const CServedRequest& request : gets) {
        const QRegularExpressionMatch match = rangePattern.match(request.range);
        if (!match.hasMatch())
            return QStringLiteral("GET without a byte range: ") + request.range;
        ranges.append({match.captured(1).toLongLong(), match.captured(2).toLongLong()});
    }
    std::sort(ranges.begin(), ranges.end());
    qint64 next = 0;
    for (const auto& range : qAsConst(ranges)) {
        if (range.first != next)
            return QStringLiteral("range starts at %1, expected %2").arg(range.first).arg(next);
        if (range.second - range.first + 1 > chunk)
            return QStringLiteral("range %1-%2 is longer than a chunk").arg(range.first).arg(range.second);
        next = range.second + 1;
    }
    if (next != size)
        return QStringLiteral("ranges end at %1, file has %2 bytes").arg(next).arg(size);
    return QString();
}

// Replaces the served file at `path` in one step by one of the same size and other content, with a
// modification time an hour on, as a publisher's upload would.
bool replaceServedFile(const QString& path)
{
    const QString fresh = path + QStringLiteral(".new");
    const qint64 size = QFileInfo(path).size();
    if (!CTestFiles::write(fresh, size, 999))
        return false;
    QFile file(fresh);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QFileInfo(path).lastModified().addSecs(3600), QFileDevice::FileModificationTime) &&
           QFile::remove(path) && file.rename(path);
}

qint64 requestedBytes(const QList<CServedRequest>& gets)
{
    static const QRegularExpression rangePattern(QStringLiteral(R"(^bytes=(\d+)-(\d+)$)"));
    qint64 bytes = 0;
    for (const CServedRequest& request : gets) {
        const QRegularExpressionMatch match = rangePattern.match(request.range);
        if (match.hasMatch())
            bytes += match.captured(2).toLongLong() - match.captured(1).toLongLong() + 1;
    }
    return bytes;
}
} // namespace

void TestDownloadServer::initTestCase()
{
    QString error;
    QVERIFY2(server().start(&error), qPrintable(error));
}

void TestDownloadServer::init()
{
    CDataDirTest::init();
    CSettings::setValue(SettingsKey::ChunkSize, SmallChunkSetting);
    server().reset();
}

void TestDownloadServer::downloadsWholeFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");

    // The default chunk's ranges: splitsAmongWorkersAndRanges.
    QTest::newRow("one byte") << qint64(1) << 1;
    QTest::newRow("one chunk and a byte, two ranges") << SmallChunk + 1 << 1;
    QTest::newRow("many pieces, one worker") << 3 * 1024 * 1024 + qint64(5) << 1;
    QTest::newRow("many pieces, five workers") << 3 * 1024 * 1024 + qint64(5) << 5;
    QTest::newRow("many pieces, more workers than pieces") << 5 * SmallChunk - 1 << 8;
}

void TestDownloadServer::downloadsWholeFile()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    const QString source = server().serveFile(QStringLiteral("whole.bin"), size, quint32(size));
    const QString destination = target(QStringLiteral("out.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(server().url(QStringLiteral("/whole.bin")), destination, threads));
    QCOMPARE(probe.events, QStringList({QStringLiteral("size"), QStringLiteral("finished")}));
    QCOMPARE(probe.sizes, QList<qint64>{size});
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));

    // First the size, then the ranges; each request names the program as the servers expect for it.
    const QList<CServedRequest> requests = server().requests();
    QCOMPARE(requests.first().method, QStringLiteral("HEAD"));
    QCOMPARE(requests.first().userAgent,
             QStringLiteral("Brelvar Tessaray {Platform: WINDOWS, Version: 281474976710765}"));
    const QList<CServedRequest> gets = server().requests(QStringLiteral("GET"));
    QCOMPARE(gets.size(), requests.size() - 1);
    for (const CServedRequest& request : gets) {
        QCOMPARE(request.userAgent, QStringLiteral("Brelvar.FMS.Client.1.0.0.109"));
        // Both servers name their files with an ETag, which every range must be asked under.
        QVERIFY2(request.ifRange.startsWith(QLatin1Char('"')), qPrintable(request.ifRange));
    }
    const QString tiling = checkTiling(gets, size, SmallChunk);
    QVERIFY2(tiling.isEmpty(), qPrintable(tiling));
    QCOMPARE(probe.latencies.size(), gets.size()); // one a range

    // The finished task takes its entry out of the journal, and the journal holds no other.
    QVERIFY(!QFile::exists(target(CHttpDownloadHelper::FileName)));
}

void TestDownloadServer::splitsAmongWorkersAndRanges_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("ranges");

    // With the default chunk a piece is two chunks until the file reaches 10 chunks x threads.
    QTest::newRow("one chunk, one range") << defaultChunk << 1 << 1 << 1;
    QTest::newRow("two pieces, five threads") << 3 * defaultChunk + 1000 << 5 << 2 << 4;
    QTest::newRow("one piece, five threads") << qint64(1000) << 5 << 1 << 1;
    QTest::newRow("three pieces, two threads") << 5 * defaultChunk << 2 << 2 << 5;
}

void TestDownloadServer::splitsAmongWorkersAndRanges()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    QFETCH(int, workers);
    QFETCH(int, ranges);
    CSettings::remove(SettingsKey::ChunkSize);
    const QString source = server().serveFile(QStringLiteral("pieces.bin"), size, 3);
    const QString destination = target(QStringLiteral("pieces.bin"));

    CHttpDownloadTask task(server().url(QStringLiteral("/pieces.bin")), destination);
    task.setThreadCount(threads);
    QSignalSpy finished(&task, &CHttpDownloadTask::finished);
    QSignalSpy errors(&task, &CHttpDownloadTask::errorReceived);
    task.start();
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(task.startedWorkerCount(), workers);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));

    // Each worker fetches its ranges, a chunk at the most, over a connection of its own.
    const QList<CServedRequest> gets = server().requests(QStringLiteral("GET"));
    QCOMPARE(gets.size(), ranges);
    const QString tiling = checkTiling(gets, size, defaultChunk);
    QVERIFY2(tiling.isEmpty(), qPrintable(tiling));
    QSet<int> connections;
    for (const CServedRequest& request : gets)
        connections.insert(request.connection);
    QCOMPARE(connections.size(), workers);
}

void TestDownloadServer::downloadsIntoDestination_data()
{
    QTest::addColumn<QString>("path");        // of the URL; the file is served at it
    QTest::addColumn<QString>("destination"); // empty: the test's folder
    QTest::addColumn<QString>("file");        // where the bytes are to land
    QTest::addColumn<int>("threads");
    QTest::addColumn<qint64>("existing"); // bytes of an older file there
    const auto row = [](const char* name, const char* path, const char* destination, const char* file, int threads,
                        qint64 existing) { QTest::newRow(name) << path << destination << file << threads << existing; };

    row("replaces a longer file", "/replace.bin", "replace.bin", "replace.bin", 3, 900000);
    row("creates missing folders", "/deep.bin", "a/b/c/deep.bin", "a/b/c/deep.bin", 2, 0);
    row("into a folder, under the URL's name", "/packages/pkg.zip", "", "pkg.zip", 1, 0);
    row("mixed-case URL, asked for as given", "/PKG/NavData.BIN", "NavData.bin", "NavData.bin", 2, 0);
}

void TestDownloadServer::downloadsIntoDestination()
{
    QFETCH(QString, path);
    QFETCH(QString, destination);
    QFETCH(QString, file);
    QFETCH(int, threads);
    QFETCH(qint64, existing);
    const qint64 size = 300001;
    const QString source = server().serveFile(path.mid(1), size);
    if (existing > 0)
        QVERIFY(CTestFiles::write(target(file), existing, 99));
    const QString address = server().url(path);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(address, destination.isEmpty() ? data().path() : target(destination), threads));
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(probe.finishedUrls, QStringList{address});
    QCOMPARE(QFileInfo(target(file)).size(), size); // no tail of an older, longer file
    QCOMPARE(CTestFiles::sha1(target(file)), CTestFiles::sha1(source));
    const QList<CServedRequest> requests = server().requests();
    QVERIFY(requests.size() >= 2);
    for (const CServedRequest& request : requests)
        QCOMPARE(request.path, path);
    // The URL as given is free again once the download has ended.
    QTRY_VERIFY(manager.task(address) == nullptr);
}

void TestDownloadServer::failsCleanly_data()
{
    QTest::addColumn<QString>("path"); // empty: a port nobody listens on
    QTest::addColumn<Serving>("serving");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("words"); // in the error text

    QTest::newRow("missing file (404)") << "/missing.bin" << Serving::Normally << 1 << 400 << "HTTP 404 Not Found";
    QTest::newRow("server error (500)") << "/served.bin" << Serving::Failing << 1 << 400
                                        << "HTTP 500 Internal Server Error";
    QTest::newRow("endless redirects") << "/served.bin" << Serving::RedirectingForever << 1 << 400
                                       << "More than 10 redirects";
    QTest::newRow("range ignored (200), one worker")
        << "/served.bin" << Serving::IgnoringRanges << 1 << 400 << "HTTP 200";
    QTest::newRow("range ignored (200), five workers")
        << "/served.bin" << Serving::IgnoringRanges << 5 << 400 << "HTTP 200";
    QTest::newRow("empty file") << "/empty.bin" << Serving::Normally << 1 << 400 << "no usable size";
    if (!wireLevelOnly()) {
        // Leaves only the folder as destination.
        QTest::newRow("into a folder, URL without a file name")
            << "/packages/" << Serving::Normally << 1 << 400 << "folder";
        QTest::newRow("nobody listening") << QString() << Serving::Normally << 1 << 1 << "refused";
    }
}

void TestDownloadServer::failsCleanly()
{
    QFETCH(QString, path);
    QFETCH(Serving, serving);
    QFETCH(int, threads);
    QFETCH(int, code);
    QFETCH(QString, words);
    server().serveFile(QStringLiteral("served.bin"), 20 * SmallChunk + 11);
    server().serveFile(QStringLiteral("empty.bin"), 0);

    QString address;
    if (path.isEmpty()) {
        // A port that was free a moment ago: the probe closes it again at the end of this block.
        QTcpServer probePort;
        QVERIFY(probePort.listen(QHostAddress::LocalHost, 0));
        address = QStringLiteral("http://127.0.0.1:%1/x.bin").arg(probePort.serverPort());
    } else {
        address = server().url(path, serving);
    }
    const QString kept = target(QStringLiteral("keep.bin"));
    QVERIFY(CTestFiles::write(kept, 12345, 5));
    const QByteArray before = CTestFiles::sha1(kept);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(address, path.endsWith(QLatin1Char('/')) ? data().path() : kept, threads));
    QTest::qWait(200); // a second report would arrive within this
    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.finishedCount(), 1);
    QCOMPARE(probe.events.mid(probe.events.size() - 2),
             QStringList({QStringLiteral("error"), QStringLiteral("finished")}));
    QCOMPARE(probe.errors.first().code(), code);
    QCOMPARE(probe.finishedCode(), code);
    QVERIFY2(probe.errors.first().text().contains(words, Qt::CaseInsensitive), qPrintable(probe.errors.first().text()));
    QCOMPARE(CTestFiles::sha1(kept), before);
}

void TestDownloadServer::followsRedirects()
{
    const QString source = server().serveFile(QStringLiteral("moved.bin"), 5 * SmallChunk + 3, 5);
    const QString address = server().url(QStringLiteral("/moved.bin"), Serving::Redirected);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(address, target(QStringLiteral("moved.bin")), 2));
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(probe.sizes, QList<qint64>{5 * SmallChunk + 3}); // not the length of the redirect's page
    QCOMPARE(CTestFiles::sha1(target(QStringLiteral("moved.bin"))), CTestFiles::sha1(source));
    // The ranges go to where the size request ended.
    const QList<CServedRequest> gets = server().requests(QStringLiteral("GET"));
    QCOMPARE(gets.size(), 5 + 1);
    for (const CServedRequest& request : gets)
        QCOMPARE(request.path, QStringLiteral("/moved.bin"));
}

void TestDownloadServer::refusesFileChangedOnTheWay()
{
    const QString source = server().serveFile(QStringLiteral("changing.bin"), slowFileSize(2) + 1);
    const QString address = server().url(QStringLiteral("/changing.bin"), Serving::Slowly);
    const QString destination = target(QStringLiteral("changing.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, destination, 2));
    manager.startTask(address);
    QTRY_VERIFY_WITH_TIMEOUT(manager.currentTaskRecord().downloaded > 0, 30000);
    QVERIFY(replaceServedFile(source));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.finishedCode(), 400);
    QVERIFY2(probe.errors.first().message().contains(QStringLiteral("changed on the server")),
             qPrintable(probe.errors.first().message()));
    QVERIFY(!QFile::exists(destination));

    // Started again, it takes the new file from its first byte.
    server().reset();
    CDownloadProbe again(&manager);
    QVERIFY(again.download(server().url(QStringLiteral("/changing.bin")), destination, 2));
    QCOMPARE(again.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    QCOMPARE(requestedBytes(server().requests(QStringLiteral("GET"))), QFileInfo(source).size());
}

void TestDownloadServer::resumesWhereItStopped_data()
{
    QTest::addColumn<bool>("changed"); // the file on the server, between the two runs
    QTest::newRow("same file: only what is missing") << false;
    QTest::newRow("changed file: from the first byte") << true;
}

void TestDownloadServer::resumesWhereItStopped()
{
    QFETCH(bool, changed);
    const int workers = 2;
    const qint64 size = slowFileSize(workers) + 5;
    const QString source = server().serveFile(QStringLiteral("resume.bin"), size, 11);
    const QString destination = target(QStringLiteral("resume.bin"));
    qint64 received = 0;
    {
        const QString slow = server().url(QStringLiteral("/resume.bin"), Serving::Slowly);
        CHttpDownloadManager manager;
        CDownloadProbe probe(&manager);
        QVERIFY(manager.appendTask(slow, destination, workers));
        manager.startTask(slow);
        QTRY_VERIFY_WITH_TIMEOUT(manager.currentTaskRecord().downloaded > size / 3, 30000);
        const DownloadTaskRecord running = manager.currentTaskRecord();
        QCOMPARE(running.url, slow);
        QCOMPARE(running.size, size);
        received = running.downloaded;
        manager.stopAllTasks();
        QCOMPARE(manager.currentTaskRecord().url, QString());
        QCOMPARE(probe.finishedCount(), 0);
    }
    QVERIFY(QFile::exists(destination + CHttpDownloadTask::PartSuffix));
    QVERIFY(QFile::exists(target(CHttpDownloadHelper::FileName)));
    if (changed)
        QVERIFY(replaceServedFile(source));
    QTest::qWait(500); // until the server has logged the requests it was cut off in
    server().reset();

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(server().url(QStringLiteral("/resume.bin")), destination, workers));
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    const qint64 requested = requestedBytes(server().requests(QStringLiteral("GET")));
    if (changed) {
        QCOMPARE(requested, size);
    } else {
        // What arrived in a range that was cut off is asked for again, at most a chunk a worker.
        QVERIFY2(requested <= size - received + workers * SmallChunk,
                 qPrintable(QStringLiteral("%1 bytes asked for, %2 were missing").arg(requested).arg(size - received)));
    }
    QVERIFY(!QFile::exists(target(CHttpDownloadHelper::FileName)));
}
