// The download engine against the development service: every case any server can play, and those only its
// fault switches can: lying, failing and slow servers. What the engine sent is read back from the service's
// request log.

#include "cdownloadprobe.h"
#include "ctestdevserver.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"
#include "testdownloadserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(CDevServerFault)

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
    void stopsWhileAskingForTheSize();

private:
    CTestDevServer m_server;
};

void TestDownloadDevServer::reportsHeadWithoutContentLength()
{
    m_server.serveFile(QStringLiteral("nolength.bin"), 1000);
    CDevServerFault omit = fault(QStringLiteral("HEAD"));
    omit.contentLength = CDevServerFault::ContentLength::Omit;
    m_server->setFault(QStringLiteral("/nolength.bin"), omit);
    const QString address = m_server.url(QStringLiteral("/nolength.bin"));

    CHttpDownloadTask task(address, target(QStringLiteral("a.bin")));
    QSignalSpy sizes(&task, &CHttpDownloadTask::fileSizeReceived);
    QCOMPARE(task.getFileSize(), qint64(0));
    QCOMPARE(task.error().code(), 400);
    QCOMPARE(task.error().message(), QStringLiteral("GetFileLength contentLength covert failed!"));
    QCOMPARE(sizes.count(), 1);

    // Started, the task ends with a clear error and leaves no file behind.
    const QString destination = target(QStringLiteral("nolength.bin"));
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(probe.download(address, destination, 1));
    QCOMPARE(probe.events, QStringList({QStringLiteral("size"), QStringLiteral("error"), QStringLiteral("finished")}));
    QCOMPARE(probe.finishedCode(), 400);
    QVERIFY(probe.errors.first().message().contains(QStringLiteral("no usable size")));
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + CHttpDownloadTask::PartSuffix));
    QVERIFY(m_server.requests(QStringLiteral("GET")).isEmpty());
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
    QTest::newRow("500 on every range, HEAD answered") << status << 3 << int(401);
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

void TestDownloadDevServer::stopsWhileAskingForTheSize()
{
    m_server.serveFile(QStringLiteral("slowhead.bin"), 5000);
    CDevServerFault slowHead = fault(QStringLiteral("HEAD"));
    slowHead.delayMs = 3000;
    m_server->setFault(QStringLiteral("/slowhead.bin"), slowHead);
    const QString address = m_server.url(QStringLiteral("/slowhead.bin"));
    const QString destination = target(QStringLiteral("slowhead.bin"));

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
    QVERIFY(m_server.requests(QStringLiteral("GET")).isEmpty());
}

QTEST_GUILESS_MAIN(TestDownloadDevServer)
#include "tst_downloaddevserver.moc"
