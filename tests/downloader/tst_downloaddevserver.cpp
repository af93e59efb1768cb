// The download engine against the development service: every case any server can play, and those only its
// fault switches can: lying, failing and slow servers. What the engine sent is read back from the service's
// request log.

#include "cdownloadprobe.h"
#include "ctestdevserver.h"
#include "downloader/cdownloadstatisticsrecorder.h"
#include "downloader/cfilesizerequest.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"
#include "downloader/chttpdownloadworker.h"
#include "foundation/csettings.h"
#include "testdownloadserver.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(CDevServerFault)
using Serving = CDownloadTestServer::Serving;
Q_DECLARE_METATYPE(CDownloadTestServer::Serving)

namespace
{
constexpr qint64 servedSize = 20 * TestDownloadServer::SmallChunk + 321; // many pieces with small chunks

CDevServerFault fault(const QString& method = QString())
{
    CDevServerFault fault;
    fault.method = method;
    return fault;
}
} // namespace

class TestDownloadDevServer : public TestDownloadServer
{
    Q_OBJECT

protected:
    CDownloadTestServer& server() override { return m_server; }

private slots:
    void reportsHeadWithoutContentLength();
    void survivesFaults_data();
    void survivesFaults();
    void givesUpOnSilentServers_data();
    void givesUpOnSilentServers();
    void journalsEveryDownloadOfTheFolder();
    void failsWhenTheJournalCannotBeWritten();
    void endsWhileAskingForTheSize_data();
    void endsWhileAskingForTheSize();
    void refusesSecondAppend();
    void recordsStatistics_data();
    void recordsStatistics();
    void deletesInTheMiddleAndStartsAgain();

private:
    CTestDevServer m_server;
};

void TestDownloadDevServer::reportsHeadWithoutContentLength()
{
    m_server.serveFile(QStringLiteral("nolength.bin"), 1000);
    CDevServerFault omit = fault(QStringLiteral("HEAD"));
    omit.contentLength = CDevServerFault::ContentLength::Omit;
    m_server->setFault(QStringLiteral("/nolength.bin"), omit);

    CFileSizeRequest request;
    QSignalSpy answers(&request, &CFileSizeRequest::finished);
    request.start(m_server.url(QStringLiteral("/nolength.bin")), 30000);
    QVERIFY(answers.wait(10000));
    QCOMPARE(request.size(), qint64(0));
    QCOMPARE(request.error().code(), 400);
    QCOMPARE(request.error().message(), QStringLiteral("GetFileLength contentLength covert failed!"));
    QTest::qWait(100); // a second answer would arrive within this
    QCOMPARE(answers.count(), 1);
    // A download goes on from here as from a size of 0 (failsCleanly: "empty file").
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
    status.status = 503;
    QTest::newRow("503 on every range, HEAD answered") << status << 3 << 400;
    status.remainingHits = 2;
    QTest::newRow("500 twice, then answered") << status << 1 << 0;

    CDevServerFault longer = fault(QStringLiteral("GET"));
    longer.contentLength = CDevServerFault::ContentLength::False;
    longer.falseContentLength = SmallChunk + 100;
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

    CDevServerFault delayed = fault();
    delayed.delayMs = 150;
    QTest::newRow("delayed") << delayed << 2 << 0;
}

void TestDownloadDevServer::survivesFaults()
{
    QFETCH(CDevServerFault, fault);
    QFETCH(int, threads);
    QFETCH(int, code);
    const QString source = m_server.serveFile(QStringLiteral("faulty.bin"), servedSize, 23);
    m_server->setFault(QStringLiteral("/faulty.bin"), fault);
    const QString destination = target(QStringLiteral("faulty.bin"));
    QVERIFY(CTestFiles::write(destination, 4444, 9));
    const QByteArray before = CTestFiles::sha1(destination);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(m_server.url(QStringLiteral("/faulty.bin")), destination, threads));
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

void TestDownloadDevServer::givesUpOnSilentServers_data()
{
    QTest::addColumn<CDevServerFault>("fault");
    QTest::addColumn<bool>("completes");

    CDevServerFault afterHeaders = fault(QStringLiteral("GET"));
    afterHeaders.stallAfterBytes = 0;
    QTest::newRow("silent after the headers of every range") << afterHeaders << false;
    CDevServerFault midway = fault(QStringLiteral("GET"));
    midway.stallAfterBytes = 1000;
    midway.remainingHits = 2;
    QTest::newRow("silent mid-range twice, then answered") << midway << true;
    CDevServerFault noAnswer = fault(QStringLiteral("HEAD"));
    noAnswer.delayMs = 60000;
    QTest::newRow("size request never answered") << noAnswer << false;
}

void TestDownloadDevServer::givesUpOnSilentServers()
{
    QFETCH(CDevServerFault, fault);
    QFETCH(bool, completes);
    CSettings::setValue(SettingsKey::StallTimeout, 1);
    const QString source = m_server.serveFile(QStringLiteral("silent.bin"), 3 * SmallChunk, 4);
    m_server->setFault(QStringLiteral("/silent.bin"), fault);
    const QString destination = target(QStringLiteral("silent.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(m_server.url(QStringLiteral("/silent.bin")), destination, 1));
    if (completes) {
        QCOMPARE(probe.finishedCode(), 0);
        QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
        return;
    }
    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.finishedCode(), 400);
    QVERIFY2(probe.errors.first().message().startsWith(QStringLiteral("The server stopped responding")),
             qPrintable(probe.errors.first().message()));
    // Given up after the same three attempts as any other network error.
    const bool head = fault.method == QLatin1String("HEAD");
    QCOMPARE(m_server.requests(fault.method).size(),
             head ? CFileSizeRequest::Attempts : CHttpDownloadWorker::RetryBudget);
    QVERIFY(!QFile::exists(destination));
}

void TestDownloadDevServer::journalsEveryDownloadOfTheFolder()
{
    const QStringList names{QStringLiteral("a.bin"), QStringLiteral("b.bin"), QStringLiteral("c.bin")};
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    for (const QString& name : names) {
        m_server.serveFile(name, slowFileSize(1) + 1);
        const QString address = m_server.url(QLatin1Char('/') + name, Serving::Slowly);
        QVERIFY(manager.appendTask(address, target(name), 1));
        manager.startTask(address);
    }
    const QString journalPath = target(CHttpDownloadHelper::FileName);
    const auto journalled = [&journalPath]() {
        CHttpDownloadHelper journal(journalPath);
        return journal.read() ? journal.records().size() : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(journalled(), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.finishedCount(), 3, 60000);
    QCOMPARE(probe.errorCount(), 0);
    QVERIFY(!QFile::exists(journalPath));
}

void TestDownloadDevServer::failsWhenTheJournalCannotBeWritten()
{
    m_server.serveFile(QStringLiteral("unjournalled.bin"), 5000);
    QVERIFY(QDir().mkpath(target(CHttpDownloadHelper::FileName))); // a folder where the journal would go
    const QString destination = target(QStringLiteral("unjournalled.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(m_server.url(QStringLiteral("/unjournalled.bin")), destination, 1));
    QCOMPARE(probe.errorCount(), 1);
    QVERIFY2(probe.errors.first().message().startsWith(QStringLiteral("Write downloadLog file failed! ") +
                                                       target(CHttpDownloadHelper::FileName) + QLatin1Char(':')),
             qPrintable(probe.errors.first().message()));
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));
}

void TestDownloadDevServer::endsWhileAskingForTheSize_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("stopped") << QStringLiteral("stop");
    QTest::newRow("stopped, then started again") << QStringLiteral("restart");
    QTest::newRow("destroyed") << QStringLiteral("destroy");
}

void TestDownloadDevServer::endsWhileAskingForTheSize()
{
    QFETCH(QString, then);
    const QString source = m_server.serveFile(QStringLiteral("slowhead.bin"), 5000);
    CDevServerFault slowHead = fault(QStringLiteral("HEAD"));
    slowHead.delayMs = 1000;
    slowHead.remainingHits = 1;
    m_server->setFault(QStringLiteral("/slowhead.bin"), slowHead);
    const QString destination = target(QStringLiteral("slowhead.bin"));

    auto task = std::make_unique<CHttpDownloadTask>(m_server.url(QStringLiteral("/slowhead.bin")), destination);
    QSignalSpy sizes(task.get(), &CHttpDownloadTask::fileSizeReceived);
    QSignalSpy errors(task.get(), &CHttpDownloadTask::errorReceived);
    QSignalSpy finishes(task.get(), &CHttpDownloadTask::finished);
    task->start();
    // start() returns while the size request is out: a start that waited for the answer would have heard it.
    QVERIFY(sizes.isEmpty());
    QTRY_COMPARE(m_server.requests(QStringLiteral("HEAD")).size(), 1);
    if (then == QLatin1String("destroy")) {
        task.reset();
    } else {
        task->stop();
        if (then == QLatin1String("restart"))
            task->start();
    }
    QTest::qWait(1500); // past the answer to the abandoned request

    if (then == QLatin1String("restart")) {
        // Only the second start is heard, once.
        QTRY_COMPARE(finishes.count(), 1);
        QCOMPARE(sizes.count(), 1);
        QCOMPARE(errors.count(), 0);
        QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
        return;
    }
    QCOMPARE(sizes.count() + errors.count() + finishes.count(), 0);
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));
    QVERIFY(m_server.requests(QStringLiteral("GET")).isEmpty());
}

void TestDownloadDevServer::refusesSecondAppend()
{
    const QString source = m_server.serveFile(QStringLiteral("twice.bin"), 150000);
    const QString address = m_server.url(QStringLiteral("/twice.bin"));
    const QString first = target(QStringLiteral("first.bin"));
    const QString second = target(QStringLiteral("second.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, first, 1));
    QVERIFY(!manager.appendTask(address, second, 4));
    QVERIFY(!manager.appendTask(address.toUpper(), second, 4)); // one download, whatever the letter case
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

void TestDownloadDevServer::recordsStatistics_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Serving>("serving");
    QTest::addColumn<int>("code");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("chunks");

    QTest::newRow("3,000,000 bytes") << "/stats.bin" << Serving::Normally << 0 << qint64(3000000) << 2;
    QTest::newRow("fails after the size is known")
        << "/stats.bin" << Serving::IgnoringRanges << 400 << qint64(3000000) << 2;
    QTest::newRow("fails before the size is known") << "/nothing.bin" << Serving::Normally << 400 << qint64(0) << 0;
}

void TestDownloadDevServer::recordsStatistics()
{
    QFETCH(QString, path);
    QFETCH(Serving, serving);
    QFETCH(int, code);
    QFETCH(qint64, size);
    QFETCH(int, chunks);
    CSettings::remove(SettingsKey::ChunkSize);
    m_server.serveFile(QStringLiteral("stats.bin"), 3000000);

    qint64 clock = 1000;
    DownloadStatistics statistics;
    CDownloadStatisticsRecorder recorder(&statistics, [&clock]() { return clock; });
    QSignalSpy completed(&recorder, &CDownloadStatisticsRecorder::completed);
    recorder.prepare(QStringLiteral("eu"), 42);
    recorder.markStart();
    clock = 1040;
    const QString address = m_server.url(path, serving);
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

void TestDownloadDevServer::deletesInTheMiddleAndStartsAgain()
{
    const QString source = m_server.serveFile(QStringLiteral("stop.bin"), slowFileSize(3) + 321, 31);
    const QString address = m_server.url(QStringLiteral("/stop.bin"), Serving::Slowly);
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

QTEST_GUILESS_MAIN(TestDownloadDevServer)
#include "tst_downloaddevserver.moc"
