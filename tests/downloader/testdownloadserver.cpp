#include "testdownloadserver.h"

#include "cdownloadprobe.h"
#include "downloader/cdownloadstatisticsrecorder.h"
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

// Served slowly, each of `workers` connections needs about two seconds for this much: time enough to catch
// the download on the way.
constexpr qint64 slowFileSize(int workers)
{
    return workers * 2 * CDownloadTestServer::SlowBytesPerSecond;
}

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
} // namespace

void TestDownloadServer::initTestCase()
{
    QString error;
    QVERIFY2(server().start(&error), qPrintable(error));
}

void TestDownloadServer::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_target = std::make_unique<QTemporaryDir>();
    CSettings::setValue(SettingsKey::ChunkSize, SmallChunkSetting);
    server().reset();
}

void TestDownloadServer::cleanup()
{
    m_target.reset();
    m_data.reset();
}

void TestDownloadServer::downloadsWholeFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("chunkSetting");

    QTest::newRow("one byte") << qint64(1) << 1 << SmallChunkSetting;
    QTest::newRow("one chunk and a byte, two ranges") << SmallChunk + 1 << 1 << SmallChunkSetting;
    QTest::newRow("many pieces, one worker") << 3 * 1024 * 1024 + qint64(5) << 1 << SmallChunkSetting;
    QTest::newRow("many pieces, five workers") << 3 * 1024 * 1024 + qint64(5) << 5 << SmallChunkSetting;
    QTest::newRow("many pieces, more workers than pieces") << 5 * SmallChunk - 1 << 8 << SmallChunkSetting;
    QTest::newRow("default chunk, five workers") << 7 * 1024 * 1024 + qint64(3) << 5 << 16;
}

void TestDownloadServer::downloadsWholeFile()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    QFETCH(int, chunkSetting);
    CSettings::setValue(SettingsKey::ChunkSize, chunkSetting);
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
    for (const CServedRequest& request : gets)
        QCOMPARE(request.userAgent, QStringLiteral("Brelvar.FMS.Client.1.0.0.109"));
    const QString tiling = checkTiling(gets, size, CHttpDownloadTask::chunkSizeFor(chunkSetting));
    QVERIFY2(tiling.isEmpty(), qPrintable(tiling));
    QCOMPARE(probe.latencies.size(), gets.size()); // one a range

    // The finished task takes its entry out of the journal.
    CHttpDownloadHelper journal(target(CHttpDownloadHelper::FileName));
    QVERIFY(journal.read());
    QVERIFY(journal.records().isEmpty());
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
    QTest::addColumn<QString>("path");        // of the URL; the file is served at it in lower case
    QTest::addColumn<QString>("destination"); // empty: the test's folder
    QTest::addColumn<QString>("file");        // where the bytes are to land
    QTest::addColumn<int>("threads");
    QTest::addColumn<qint64>("existing"); // bytes of an older file there
    const auto row = [](const char* name, const char* path, const char* destination, const char* file, int threads,
                        qint64 existing) { QTest::newRow(name) << path << destination << file << threads << existing; };

    row("replaces a longer file", "/replace.bin", "replace.bin", "replace.bin", 3, 900000);
    row("creates missing folders", "/deep.bin", "a/b/c/deep.bin", "a/b/c/deep.bin", 2, 0);
    row("into a folder, under the URL's name", "/packages/pkg.zip", "", "pkg.zip", 1, 0);
    row("upper-case URL, asked for in lower case", "/PKG/NavData.BIN", "NavData.bin", "NavData.bin", 2, 0);
}

void TestDownloadServer::downloadsIntoDestination()
{
    QFETCH(QString, path);
    QFETCH(QString, destination);
    QFETCH(QString, file);
    QFETCH(int, threads);
    QFETCH(qint64, existing);
    const qint64 size = 300001;
    const QString source = server().serveFile(path.toLower().mid(1), size);
    if (existing > 0)
        QVERIFY(CTestFiles::write(target(file), existing, 99));
    const QString address = server().url(path);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(address, destination.isEmpty() ? m_target->path() : target(destination), threads));
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(probe.finishedUrls, QStringList{address.toLower()});
    QCOMPARE(QFileInfo(target(file)).size(), size); // no tail of an older, longer file
    QCOMPARE(CTestFiles::sha1(target(file)), CTestFiles::sha1(source));
    const QList<CServedRequest> requests = server().requests();
    QVERIFY(requests.size() >= 2);
    for (const CServedRequest& request : requests)
        QCOMPARE(request.path, path.toLower());
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

    QTest::newRow("missing file (404)") << "/missing.bin" << Serving::Normally << 1 << 203 << "not found";
    QTest::newRow("server error (500)") << "/served.bin" << Serving::Failing << 1 << 401 << "Code:401";
    QTest::newRow("range ignored (200), one worker")
        << "/served.bin" << Serving::IgnoringRanges << 1 << 400 << "HTTP 200";
    QTest::newRow("range ignored (200), five workers")
        << "/served.bin" << Serving::IgnoringRanges << 5 << 400 << "HTTP 200";
    QTest::newRow("empty file") << "/empty.bin" << Serving::Normally << 1 << 400 << "no usable size";
    // Leaves only the folder as destination.
    QTest::newRow("into a folder, URL without a file name")
        << "/packages/" << Serving::Normally << 1 << 400 << "folder";
    QTest::newRow("nobody listening") << QString() << Serving::Normally << 1 << 1 << "refused";
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
    QVERIFY(probe.download(address, path.endsWith(QLatin1Char('/')) ? m_target->path() : kept, threads));
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

void TestDownloadServer::refusesSecondAppend()
{
    const QString source = server().serveFile(QStringLiteral("twice.bin"), 150000);
    const QString address = server().url(QStringLiteral("/twice.bin"));
    const QString first = target(QStringLiteral("first.bin"));
    const QString second = target(QStringLiteral("second.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, first, 1));
    QVERIFY(!manager.appendTask(address, second, 4));
    manager.startTask(address);
    manager.startTask(address); // already running: ignored
    QVERIFY(probe.waitFinished());
    QTest::qWait(200);
    QCOMPARE(probe.finishedCount(), 1);
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(first), CTestFiles::sha1(source));
    QVERIFY(!QFile::exists(second));
    QTRY_VERIFY(manager.task(address) == nullptr);
    QVERIFY(manager.appendTask(address, second, 1));
}

void TestDownloadServer::recordsStatistics_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Serving>("serving");
    QTest::addColumn<int>("code");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("chunks");

    QTest::newRow("3,000,000 bytes") << "/stats.bin" << Serving::Normally << 0 << qint64(3000000) << 2;
    QTest::newRow("fails after the size is known")
        << "/stats.bin" << Serving::IgnoringRanges << 400 << qint64(3000000) << 2;
    QTest::newRow("fails before the size is known") << "/nothing.bin" << Serving::Normally << 203 << qint64(0) << 0;
}

void TestDownloadServer::recordsStatistics()
{
    QFETCH(QString, path);
    QFETCH(Serving, serving);
    QFETCH(int, code);
    QFETCH(qint64, size);
    QFETCH(int, chunks);
    CSettings::remove(SettingsKey::ChunkSize);
    server().serveFile(QStringLiteral("stats.bin"), 3000000);

    qint64 clock = 1000;
    DownloadStatistics statistics;
    CDownloadStatisticsRecorder recorder(&statistics, [&clock]() { return clock; });
    QSignalSpy completed(&recorder, &CDownloadStatisticsRecorder::completed);
    recorder.prepare(QStringLiteral("eu"), 42);
    recorder.markStart();
    clock = 1040;
    const QString address = server().url(path, serving);
    recorder.addressReceived(address);
    clock = 5000;

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    recorder.watch(&manager);
    QVERIFY(probe.download(address, target(QStringLiteral("stats.bin")), 1));
    QCOMPARE(probe.finishedCode(), code);

    QCOMPARE(completed.count(), 1);
    QCOMPARE(statistics.server, QStringLiteral("eu"));
    QCOMPARE(statistics.userId, 42);
    QCOMPARE(statistics.url, address);
    QCOMPARE(statistics.fileName, path.mid(1));
    QCOMPARE(statistics.start, qint64(1000));
    QCOMPARE(statistics.initialLatency, 40);
    QCOMPARE(statistics.end, qint64(5000));
    QCOMPARE(statistics.elapsed, qint64(4000));
    QCOMPARE(statistics.size, size);
    QCOMPARE(statistics.chunks, chunks);
    QCOMPARE(statistics.chunkSize, 1572864);
    qint64 latencies = 0;
    for (qint64 latency : qAsConst(probe.latencies))
        latencies += latency;
    QCOMPARE(qint64(statistics.latency), latencies);
    QCOMPARE(statistics.clientIdentifier, QStringLiteral("fms-client"));
    QCOMPARE(statistics.version, QStringLiteral("1.0.0.109"));
    QVERIFY(statistics.operatingSystem.contains(QSysInfo::currentCpuArchitecture()));
}

void TestDownloadServer::journalsPiecesWhileRunning()
{
    const qint64 size = slowFileSize(2) + 17;
    server().serveFile(QStringLiteral("journal.bin"), size);
    const QString address = server().url(QStringLiteral("/Journal.bin"), Serving::Slowly);
    const QString destination = target(QStringLiteral("journal.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, destination, 2));
    manager.startTask(address);
    QTRY_VERIFY_WITH_TIMEOUT(manager.currentTaskRecord().downloaded > 2 * SmallChunk, 30000);

    const DownloadTaskRecord running = manager.currentTaskRecord();
    QCOMPARE(running.url, address.toLower());
    QCOMPARE(running.size, size);

    CHttpDownloadHelper journal(target(CHttpDownloadHelper::FileName));
    QString message;
    QVERIFY2(journal.read(&message), qPrintable(message));
    DownloadTaskRecord recorded;
    QVERIFY(journal.loadRecord(address.toLower(), &recorded));
    QCOMPARE(recorded.path, destination);
    QCOMPARE(recorded.size, size);
    QCOMPARE(recorded.threads, 2);
    QVERIFY(!recorded.pieces.isEmpty());
    qint64 completed = 0;
    for (const CFilePiece& piece : qAsConst(recorded.pieces)) {
        QVERIFY(piece.start() >= 0 && piece.end() < size && piece.start() <= piece.end());
        QVERIFY(piece.completed() >= 0 && piece.completed() <= piece.length());
        completed += piece.completed();
    }
    QVERIFY(recorded.offset >= recorded.pieces.last().id() - 1);
    // The journal may lag behind what has arrived, never run ahead of it.
    QVERIFY(completed <= manager.currentTaskRecord().downloaded);

    manager.stopAllTasks();
    QCOMPARE(manager.currentTaskRecord().url, QString());
    QTest::qWait(300);
    QCOMPARE(probe.finishedCount(), 0);
    QVERIFY(!QFile::exists(destination));
}

void TestDownloadServer::stopsInTheMiddleAndStartsAgain()
{
    const QString source = server().serveFile(QStringLiteral("again.bin"), slowFileSize(3) + 3);
    const QString destination = target(QStringLiteral("again.bin"));

    CHttpDownloadTask task(server().url(QStringLiteral("/again.bin"), Serving::Slowly), destination);
    task.setThreadCount(3);
    QSignalSpy finished(&task, &CHttpDownloadTask::finished);
    QSignalSpy errors(&task, &CHttpDownloadTask::errorReceived);
    task.start();
    QTRY_VERIFY_WITH_TIMEOUT(task.record().downloaded > SmallChunk, 30000);
    task.stop();
    QCOMPARE(task.state(), int(CDownloadTask::Idle));
    QTest::qWait(300);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!QFile::exists(destination));

    // Late signals of the stopped workers must not disturb the second run.
    task.start();
    QVERIFY(finished.wait(60000));
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}

void TestDownloadServer::deletesInTheMiddleAndStartsAgain()
{
    const QString source = server().serveFile(QStringLiteral("stop.bin"), slowFileSize(3) + 321, 31);
    const QString address = server().url(QStringLiteral("/stop.bin"), Serving::Slowly);
    const QString destination = target(QStringLiteral("stop.bin"));

    auto manager = std::make_unique<CHttpDownloadManager>();
    CDownloadProbe probe(manager.get());
    QVERIFY(manager->appendTask(address, destination, 3));
    manager->startTask(address);
    QTRY_VERIFY_WITH_TIMEOUT(manager->currentTaskRecord().downloaded > 0, 30000);
    manager->deleteTask(address);
    QCOMPARE(manager->currentTaskRecord().url, QString());
    QTest::qWait(300);
    QCOMPARE(probe.finishedCount(), 0);
    QCOMPARE(probe.errorCount(), 0);
    QVERIFY(!QFile::exists(destination));
    manager.reset(); // must not hang on the stopped workers

    CHttpDownloadManager again;
    CDownloadProbe second(&again);
    QVERIFY(second.download(address, destination, 3));
    QCOMPARE(second.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}
