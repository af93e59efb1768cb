// The download engine against the development service, whose fault switches play lying, failing and slow
// servers. What the engine sent is read back from the service's request log.

#include "app/csettings.h"
#include "cdownloadprobe.h"
#include "ctestdatadir.h"
#include "downloader/cdownloadstatisticsrecorder.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"
#include "tools/devserver/cdevserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

Q_DECLARE_METATYPE(CDevServerFault)

namespace
{
constexpr int smallChunkSetting = -7; // 64 KiB chunks
constexpr qint64 smallChunk = 65536;
constexpr qint64 defaultChunk = 1572864;
constexpr qint64 servedSize = 20 * smallChunk + 321; // many pieces with small chunks

CDevServerFault fault(const QString& method = QString())
{
    CDevServerFault fault;
    fault.method = method;
    return fault;
}
} // namespace

class TestDownloadDevServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fetchesOneChunkWithOneRequest();
    void startsTwoWorkersForTwoPieces();
    void downloadsIdenticalBytes_data();
    void downloadsIdenticalBytes();
    void requestsUpperCaseUrlInLowerCase();
    void replacesExistingDestination();
    void reportsHeadWithoutContentLength();
    void survivesFaults_data();
    void survivesFaults();
    void stopsInTheMiddleAndStartsAgain();
    void stopsWhileAskingForTheSize();
    void journalsRunningDownload();
    void refusesSecondAppend();
    void storesIntoFolderUnderUrlName();
    void recordsStatistics_data();
    void recordsStatistics();

private:
    QString url(const QString& path) const { return m_server.baseUrl() + path; }
    QString served(const QString& name, qint64 size, quint32 seed = 11);
    QList<CDevServerRequest> requests(const QString& method) const;

    QTemporaryDir m_root;
    CDevServer m_server;
    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_target;
};

void TestDownloadDevServer::initTestCase()
{
    QVERIFY(m_root.isValid());
    QString error;
    QVERIFY2(m_server.setRoot(m_root.path(), &error), qPrintable(error));
    QVERIFY(m_server.start());
}

void TestDownloadDevServer::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_target = std::make_unique<QTemporaryDir>();
    CSettings::setValue(SettingsKey::ChunkSize, smallChunkSetting);
    m_server.clearFaults();
    m_server.clearRequests();
}

void TestDownloadDevServer::cleanup()
{
    m_server.clearFaults();
    m_target.reset();
    m_data.reset();
}

QString TestDownloadDevServer::served(const QString& name, qint64 size, quint32 seed)
{
    const QString path = m_root.filePath(name);
    return CTestFiles::write(path, size, seed) ? path : QString();
}

QList<CDevServerRequest> TestDownloadDevServer::requests(const QString& method) const
{
    QList<CDevServerRequest> matching;
    const QList<CDevServerRequest> all = m_server.requests();
    for (const CDevServerRequest& request : all) {
        if (request.method == method)
            matching.append(request);
    }
    return matching;
}

void TestDownloadDevServer::fetchesOneChunkWithOneRequest()
{
    CSettings::remove(SettingsKey::ChunkSize);
    const QString source = served(QStringLiteral("chunk.bin"), defaultChunk);
    const QString destination = m_target->filePath(QStringLiteral("chunk.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/chunk.bin")), destination, 1));
    manager.startTask(url(QStringLiteral("/chunk.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));

    const QList<CDevServerRequest> gets = requests(QStringLiteral("GET"));
    QCOMPARE(gets.size(), 1);
    QCOMPARE(gets.first().headers.value(QStringLiteral("range")), QStringLiteral("bytes=0-%1").arg(defaultChunk - 1));
    QCOMPARE(gets.first().headers.value(QStringLiteral("user-agent")), QStringLiteral("Brelvar.FMS.Client.1.0.0.109"));
    QCOMPARE(requests(QStringLiteral("HEAD")).size(), 1);
}

void TestDownloadDevServer::startsTwoWorkersForTwoPieces()
{
    CSettings::remove(SettingsKey::ChunkSize);
    const QString source = served(QStringLiteral("two.bin"), 3 * defaultChunk + 1000);
    const QString destination = m_target->filePath(QStringLiteral("two.bin"));

    CHttpDownloadTask task(url(QStringLiteral("/two.bin")), destination);
    task.setThreadCount(5);
    QSignalSpy finished(&task, &CHttpDownloadTask::finished);
    QSignalSpy errors(&task, &CHttpDownloadTask::errorReceived);
    task.start();
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(task.startedWorkerCount(), 2);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));

    // Two pieces of two chunks each and a rest: four ranges, fetched over the two workers' connections.
    const QList<CDevServerRequest> gets = requests(QStringLiteral("GET"));
    QCOMPARE(gets.size(), 4);
    QSet<int> connections;
    for (const CDevServerRequest& request : gets)
        connections.insert(request.connection);
    QCOMPARE(connections.size(), 2);
}

void TestDownloadDevServer::downloadsIdenticalBytes_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");

    QTest::newRow("one worker") << servedSize << 1;
    QTest::newRow("five workers") << servedSize << 5;
    QTest::newRow("five workers, odd size") << 7 * smallChunk - 1 << 5;
}

void TestDownloadDevServer::downloadsIdenticalBytes()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    const QString source = served(QStringLiteral("same.bin"), size, quint32(size));
    const QString destination = m_target->filePath(QStringLiteral("same.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/same.bin")), destination, threads));
    manager.startTask(url(QStringLiteral("/same.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.events, QStringList({QStringLiteral("size"), QStringLiteral("finished")}));
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    QCOMPARE(probe.latencies.size(), requests(QStringLiteral("GET")).size());
}

void TestDownloadDevServer::requestsUpperCaseUrlInLowerCase()
{
    const QString source = served(QStringLiteral("Mixed/Case.BIN"), 5000);
    const QString given = url(QStringLiteral("/Mixed/Case.BIN"));
    const QString destination = m_target->filePath(QStringLiteral("case.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(given, destination, 1));
    manager.startTask(given);
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(probe.finishedUrls, QStringList{given.toLower()});
    const QList<CDevServerRequest> all = m_server.requests();
    QVERIFY(all.size() >= 2);
    for (const CDevServerRequest& request : all)
        QCOMPARE(request.path, QStringLiteral("/mixed/case.bin"));
}

void TestDownloadDevServer::replacesExistingDestination()
{
    const QString source = served(QStringLiteral("new.bin"), servedSize);
    const QString destination = m_target->filePath(QStringLiteral("new.bin"));
    QVERIFY(CTestFiles::write(destination, 3 * servedSize, 42));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/new.bin")), destination, 5));
    manager.startTask(url(QStringLiteral("/new.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}

void TestDownloadDevServer::reportsHeadWithoutContentLength()
{
    served(QStringLiteral("nolength.bin"), 1000);
    CDevServerFault omit = fault(QStringLiteral("HEAD"));
    omit.contentLength = CDevServerFault::ContentLength::Omit;
    m_server.setFault(QStringLiteral("/nolength.bin"), omit);

    CHttpDownloadTask task(url(QStringLiteral("/nolength.bin")), m_target->filePath(QStringLiteral("a.bin")));
    QSignalSpy sizes(&task, &CHttpDownloadTask::fileSizeReceived);
    QCOMPARE(task.getFileSize(), qint64(0));
    QCOMPARE(task.error().code(), 400);
    QCOMPARE(task.error().message(), QStringLiteral("GetFileLength contentLength covert failed!"));
    QCOMPARE(sizes.count(), 1);

    // Started, the task ends with a clear error and leaves no file behind.
    const QString destination = m_target->filePath(QStringLiteral("nolength.bin"));
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/nolength.bin")), destination, 1));
    manager.startTask(url(QStringLiteral("/nolength.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.events, QStringList({QStringLiteral("size"), QStringLiteral("error"), QStringLiteral("finished")}));
    QCOMPARE(probe.finishedCode(), 400);
    QVERIFY(probe.errors.first().message().contains(QStringLiteral("no usable size")));
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));
    QVERIFY(requests(QStringLiteral("GET")).isEmpty());
}

void TestDownloadDevServer::survivesFaults_data()
{
    QTest::addColumn<CDevServerFault>("fault");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("code"); // 0: the download completes; -1: any error

    CDevServerFault drop = fault(QStringLiteral("GET"));
    drop.dropAfterBytes = 1000;
    // The network layer reports a cut body as a closed connection or not at all; the worker's count of
    // the range's bytes catches the latter.
    QTest::newRow("drop mid-range, every time") << drop << 1 << -1;
    QTest::newRow("drop mid-range, every time, five workers") << drop << 5 << -1;
    drop.remainingHits = 2;
    QTest::newRow("drop mid-range twice, then resume the range") << drop << 1 << 0;

    CDevServerFault status = fault(QStringLiteral("GET"));
    status.status = 500;
    QTest::newRow("500 on every range") << status << 3 << int(401);
    status.remainingHits = 2;
    QTest::newRow("500 twice, then answered") << status << 1 << 0;
    CDevServerFault headStatus = fault();
    headStatus.status = 500;
    QTest::newRow("500 on HEAD") << headStatus << 1 << int(401);

    CDevServerFault whole = fault(QStringLiteral("GET"));
    whole.ignoreRange = true;
    QTest::newRow("range ignored") << whole << 1 << 400;
    QTest::newRow("range ignored, five workers") << whole << 5 << 400;

    CDevServerFault longer = fault(QStringLiteral("GET"));
    longer.contentLength = CDevServerFault::ContentLength::False;
    longer.falseContentLength = smallChunk + 100;
    QTest::newRow("false Content-Length, longer than the range") << longer << 2 << 400;
    CDevServerFault shorter = longer;
    shorter.falseContentLength = 100;
    QTest::newRow("false Content-Length, shorter than the range") << shorter << 2 << 400;
    CDevServerFault headLies = fault(QStringLiteral("HEAD"));
    headLies.contentLength = CDevServerFault::ContentLength::False;
    headLies.falseContentLength = servedSize + 5000;
    QTest::newRow("false size on HEAD, larger") << headLies << 2 << 400;
    headLies.falseContentLength = servedSize - 5000;
    QTest::newRow("false size on HEAD, smaller") << headLies << 2 << 400;
    CDevServerFault omitted = fault(QStringLiteral("GET"));
    omitted.contentLength = CDevServerFault::ContentLength::Omit;
    QTest::newRow("no Content-Length on ranges (body ends with the connection)") << omitted << 2 << 0;

    CDevServerFault throttled = fault(QStringLiteral("GET"));
    throttled.bytesPerSecond = 4 * 1024 * 1024;
    QTest::newRow("throttled") << throttled << 5 << 0;
    CDevServerFault delayed = fault();
    delayed.delayMs = 150;
    QTest::newRow("delayed") << delayed << 2 << 0;
}

void TestDownloadDevServer::survivesFaults()
{
    QFETCH(CDevServerFault, fault);
    QFETCH(int, threads);
    QFETCH(int, code);
    const QString source = served(QStringLiteral("faulty.bin"), servedSize, 23);
    m_server.setFault(QStringLiteral("/faulty.bin"), fault);
    const QString destination = m_target->filePath(QStringLiteral("faulty.bin"));
    QVERIFY(CTestFiles::write(destination, 4444, 9));
    const QByteArray before = CTestFiles::sha1(destination);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/faulty.bin")), destination, threads));
    manager.startTask(url(QStringLiteral("/faulty.bin")));
    QVERIFY(probe.waitFinished());
    QTest::qWait(200); // a second report would arrive within this

    QCOMPARE(probe.finishedCount(), 1);
    if (code == -1)
        code = probe.finishedCode() == 0 ? -1 : probe.finishedCode();
    QCOMPARE(probe.finishedCode(), code);
    if (code == 0) {
        QCOMPARE(probe.errorCount(), 0);
        QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
        return;
    }
    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.errors.first().code(), code);
    QCOMPARE(probe.events.mid(probe.events.size() - 2),
             QStringList({QStringLiteral("error"), QStringLiteral("finished")}));
    QCOMPARE(CTestFiles::sha1(destination), before);
}

void TestDownloadDevServer::stopsInTheMiddleAndStartsAgain()
{
    const QString source = served(QStringLiteral("stop.bin"), servedSize, 31);
    CDevServerFault slow = fault(QStringLiteral("GET"));
    slow.bytesPerSecond = 256 * 1024;
    m_server.setFault(QStringLiteral("/stop.bin"), slow);
    const QString destination = m_target->filePath(QStringLiteral("stop.bin"));

    auto manager = std::make_unique<CHttpDownloadManager>();
    CDownloadProbe probe(manager.get());
    QVERIFY(manager->appendTask(url(QStringLiteral("/stop.bin")), destination, 3));
    manager->startTask(url(QStringLiteral("/stop.bin")));
    QTRY_VERIFY_WITH_TIMEOUT(manager->currentTaskRecord().downloaded > 0, 30000);
    manager->deleteTask(url(QStringLiteral("/stop.bin")));
    QCOMPARE(manager->currentTaskRecord().url, QString());
    QTest::qWait(300);
    QCOMPARE(probe.finishedCount(), 0);
    QCOMPARE(probe.errorCount(), 0);
    QVERIFY(!QFile::exists(destination));
    manager.reset(); // must not hang on the stopped workers

    m_server.clearFaults();
    CHttpDownloadManager again;
    CDownloadProbe second(&again);
    QVERIFY(again.appendTask(url(QStringLiteral("/stop.bin")), destination, 3));
    again.startTask(url(QStringLiteral("/stop.bin")));
    QVERIFY(second.waitFinished());
    QCOMPARE(second.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}

void TestDownloadDevServer::stopsWhileAskingForTheSize()
{
    served(QStringLiteral("slowhead.bin"), 5000);
    CDevServerFault slowHead = fault(QStringLiteral("HEAD"));
    slowHead.delayMs = 3000;
    m_server.setFault(QStringLiteral("/slowhead.bin"), slowHead);
    const QString address = url(QStringLiteral("/slowhead.bin"));
    const QString destination = m_target->filePath(QStringLiteral("slowhead.bin"));

    // startTask waits for the size; the stop arrives while it waits, as a user's cancel would.
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, destination, 2));
    QTimer::singleShot(200, &manager, [&manager]() { manager.stopAllTasks(); });
    QElapsedTimer clock;
    clock.start();
    manager.startTask(address);
    QVERIFY2(clock.elapsed() < 2500, "the stop did not end the wait for the size");
    QTest::qWait(300);
    QCOMPARE(probe.finishedCount(), 0);
    QCOMPARE(probe.errorCount(), 0);
    QVERIFY(probe.sizes.isEmpty());
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));
    QVERIFY(requests(QStringLiteral("GET")).isEmpty());
}

void TestDownloadDevServer::journalsRunningDownload()
{
    served(QStringLiteral("journal.bin"), servedSize, 5);
    CDevServerFault slow = fault(QStringLiteral("GET"));
    slow.bytesPerSecond = 256 * 1024;
    m_server.setFault(QStringLiteral("/journal.bin"), slow);
    const QString destination = m_target->filePath(QStringLiteral("journal.bin"));
    const QString address = url(QStringLiteral("/Journal.bin"));

    CHttpDownloadManager manager;
    QVERIFY(manager.appendTask(address, destination, 2));
    manager.startTask(address);
    QTRY_VERIFY_WITH_TIMEOUT(manager.currentTaskRecord().downloaded > smallChunk, 30000);

    CHttpDownloadHelper journal(m_target->filePath(CHttpDownloadHelper::FileName));
    QString message;
    QVERIFY2(journal.read(&message), qPrintable(message));
    DownloadTaskRecord record;
    QVERIFY(journal.loadRecord(address.toLower(), &record));
    QCOMPARE(record.path, destination);
    QCOMPARE(record.size, servedSize);
    QCOMPARE(record.threads, 2);
    QVERIFY(!record.pieces.isEmpty());
    qint64 completed = 0;
    for (const CFilePiece& piece : qAsConst(record.pieces))
        completed += piece.completed();
    QVERIFY(completed <= manager.currentTaskRecord().downloaded);
    manager.stopAllTasks();
}

void TestDownloadDevServer::refusesSecondAppend()
{
    const QString source = served(QStringLiteral("once.bin"), 3000);
    const QString address = url(QStringLiteral("/once.bin"));
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, m_target->filePath(QStringLiteral("a.bin")), 1));
    QVERIFY(!manager.appendTask(address, m_target->filePath(QStringLiteral("b.bin")), 1));
    manager.startTask(address);
    QVERIFY(probe.waitFinished());
    QTest::qWait(100);
    QCOMPARE(probe.finishedCount(), 1);
    QCOMPARE(CTestFiles::sha1(m_target->filePath(QStringLiteral("a.bin"))), CTestFiles::sha1(source));
    QVERIFY(!QFile::exists(m_target->filePath(QStringLiteral("b.bin"))));
}

void TestDownloadDevServer::storesIntoFolderUnderUrlName()
{
    const QString source = served(QStringLiteral("packages/pkg.zip"), 2000);
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/packages/pkg.zip")), m_target->path(), 1));
    manager.startTask(url(QStringLiteral("/packages/pkg.zip")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(m_target->filePath(QStringLiteral("pkg.zip"))), CTestFiles::sha1(source));

    // A URL without a file name leaves only the folder as destination: refused before anything is fetched.
    CHttpDownloadManager second;
    CDownloadProbe refused(&second);
    QVERIFY(second.appendTask(url(QStringLiteral("/packages/")), m_target->path(), 1));
    second.startTask(url(QStringLiteral("/packages/")));
    QVERIFY(refused.waitFinished());
    QCOMPARE(refused.finishedCode(), 400);
    QVERIFY(refused.errors.first().message().contains(QStringLiteral("folder")));
}

void TestDownloadDevServer::recordsStatistics_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ignoreRange");
    QTest::addColumn<int>("code");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("chunks");

    QTest::newRow("3,000,000 bytes") << "/stats.bin" << false << 0 << qint64(3000000) << 2;
    QTest::newRow("fails after the size is known") << "/stats.bin" << true << 400 << qint64(3000000) << 2;
    QTest::newRow("fails before the size is known") << "/nothing.bin" << false << 203 << qint64(0) << 0;
}

void TestDownloadDevServer::recordsStatistics()
{
    QFETCH(QString, path);
    QFETCH(bool, ignoreRange);
    QFETCH(int, code);
    QFETCH(qint64, size);
    QFETCH(int, chunks);
    CSettings::remove(SettingsKey::ChunkSize);
    served(QStringLiteral("stats.bin"), 3000000);
    CDevServerFault whole = fault(QStringLiteral("GET"));
    whole.ignoreRange = ignoreRange;
    m_server.setFault(QStringLiteral("/stats.bin"), whole);

    qint64 clock = 1000;
    DownloadStatistics statistics;
    CDownloadStatisticsRecorder recorder(&statistics, [&clock]() { return clock; });
    QSignalSpy completed(&recorder, &CDownloadStatisticsRecorder::completed);
    recorder.prepare(QStringLiteral("eu"), 42);
    recorder.markStart();
    clock = 1040;
    const QString address = url(path);
    recorder.addressReceived(address);
    clock = 5000;

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    recorder.watch(&manager);
    QVERIFY(manager.appendTask(address, m_target->filePath(QStringLiteral("stats.bin")), 1));
    manager.startTask(address);
    QVERIFY(probe.waitFinished());
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

QTEST_GUILESS_MAIN(TestDownloadDevServer)
#include "tst_downloaddevserver.moc"
