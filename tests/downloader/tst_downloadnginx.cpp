// The download engine against nginx, a web server written elsewhere: whole files with one and several
// workers, the range requests on the wire, and servers that fail or misbehave.

#include "app/csettings.h"
#include "cdownloadprobe.h"
#include "cnginxserver.h"
#include "ctestdatadir.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{
constexpr qint64 smallChunk = 65536; // chunk setting -7
constexpr int smallChunkSetting = -7;
constexpr qint64 defaultChunk = 1572864;

struct LoggedRequest
{
    QString method;
    QString path;
    QString range;
    int status = 0;
    QString userAgent;
};

QList<LoggedRequest> parseLog(const QStringList& lines)
{
    static const QRegularExpression pattern(QString::fromUtf8(R"re(^(\S+) (\S+) "([^"]*)" (\d+) \d+ "([^"]*)"$)re"));
    QList<LoggedRequest> requests;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch())
            continue;
        requests.append(
            {match.captured(1), match.captured(2), match.captured(3), match.captured(4).toInt(), match.captured(5)});
    }
    return requests;
}

// The GET ranges of `requests`, checked to cover [0, size - 1] exactly once, none longer than `chunk`.
QString checkTiling(const QList<LoggedRequest>& requests, qint64 size, qint64 chunk)
{
    static const QRegularExpression rangePattern(QString::fromUtf8(R"(^bytes=(\d+)-(\d+)$)"));
    QList<QPair<qint64, qint64>> ranges;
    for (const LoggedRequest& request : requests) {
        if (request.method != QLatin1String("GET"))
            continue;
        const QRegularExpressionMatch match = rangePattern.match(request.range);
        if (!match.hasMatch())
            return QStringLiteral("GET without a byte range: ") + request.range;
        ranges.append({match.captured(1).toLongLong(), match.captured(2).toLongLong()});
    }
    std::sort(ranges.begin(), ranges.end());
    qint64 next = 0;
    for (const auto& range : ranges) {
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

class TestDownloadNginx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void fetchesOneChunkWithOneRequest();
    void startsNoMoreWorkersThanPieces_data();
    void startsNoMoreWorkersThanPieces();
    void requestsUpperCaseUrlInLowerCase();
    void replacesExistingDestination();
    void storesIntoFolderUnderUrlName();
    void createsMissingFolders();
    void failsCleanly_data();
    void failsCleanly();
    void journalsPiecesWhileRunning();
    void stopsInTheMiddleAndStartsAgain();
    void refusesSecondAppend();

private:
    QString url(const QString& path) const { return m_nginx.baseUrl() + path; }
    QString servedFile(const QString& name, qint64 size, quint32 seed = 7);

    QTemporaryDir m_root;
    CNginxServer m_nginx;
    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_target;
    int m_log = 0; // access log lines before the current test
};

void TestDownloadNginx::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY2(!CNginxServer::executable().isEmpty(), "nginx is needed (scripts/setup installs it)");
    QString error;
    QVERIFY2(m_nginx.start(m_root.path(), 1024 * 1024, &error), qPrintable(error));
}

void TestDownloadNginx::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_target = std::make_unique<QTemporaryDir>();
    CSettings::setValue(SettingsKey::ChunkSize, smallChunkSetting);
    m_log = m_nginx.accessLog().size();
}

void TestDownloadNginx::cleanup()
{
    m_target.reset();
    m_data.reset();
}

QString TestDownloadNginx::servedFile(const QString& name, qint64 size, quint32 seed)
{
    const QString path = m_root.filePath(name);
    if (!CTestFiles::write(path, size, seed))
        return QString();
    return path;
}

void TestDownloadNginx::downloadsWholeFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("chunkSetting");

    QTest::newRow("one byte") << qint64(1) << 1 << smallChunkSetting;
    QTest::newRow("one chunk and a byte, two ranges") << smallChunk + 1 << 1 << smallChunkSetting;
    QTest::newRow("many pieces, one worker") << 3 * 1024 * 1024 + qint64(5) << 1 << smallChunkSetting;
    QTest::newRow("many pieces, five workers") << 3 * 1024 * 1024 + qint64(5) << 5 << smallChunkSetting;
    QTest::newRow("many pieces, more workers than pieces") << 5 * smallChunk - 1 << 8 << smallChunkSetting;
    QTest::newRow("default chunk, five workers") << 7 * 1024 * 1024 + qint64(3) << 5 << 16;
}

void TestDownloadNginx::downloadsWholeFile()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    QFETCH(int, chunkSetting);
    CSettings::setValue(SettingsKey::ChunkSize, chunkSetting);
    const QString name = QStringLiteral("whole-%1-%2.bin").arg(size).arg(threads);
    const QString source = servedFile(name, size);
    const QString destination = m_target->filePath(QStringLiteral("out.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QLatin1Char('/') + name), destination, threads));
    manager.startTask(url(QLatin1Char('/') + name));
    QVERIFY(probe.waitFinished());

    QCOMPARE(probe.events, QStringList({QStringLiteral("size"), QStringLiteral("finished")}));
    QCOMPARE(probe.sizes, QList<qint64>{size});
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    QVERIFY(!QFile::exists(destination + QStringLiteral(".bvpart")));
    QVERIFY(!probe.latencies.isEmpty());

    const QList<LoggedRequest> requests = parseLog(m_nginx.accessLog().mid(m_log));
    const QString tiling = checkTiling(requests, size, CHttpDownloadTask::chunkSizeFor(chunkSetting));
    QVERIFY2(tiling.isEmpty(), qPrintable(tiling));
    for (const LoggedRequest& request : requests) {
        if (request.method == QLatin1String("GET"))
            QCOMPARE(request.status, 206);
    }

    // The finished task takes its entry out of the journal.
    CHttpDownloadHelper journal(m_target->filePath(CHttpDownloadHelper::FileName));
    QVERIFY(journal.read());
    QVERIFY(journal.records().isEmpty());
}

void TestDownloadNginx::fetchesOneChunkWithOneRequest()
{
    CSettings::remove(SettingsKey::ChunkSize);
    servedFile(QStringLiteral("chunk.bin"), defaultChunk);
    const QString destination = m_target->filePath(QStringLiteral("chunk.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/chunk.bin")), destination, 1));
    manager.startTask(url(QStringLiteral("/chunk.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);

    const QList<LoggedRequest> requests = parseLog(m_nginx.accessLog().mid(m_log));
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].method, QStringLiteral("HEAD"));
    QCOMPARE(requests[0].userAgent, QStringLiteral("Brelvar Tessaray {Platform: WINDOWS, Version: 281474976710765}"));
    QCOMPARE(requests[1].method, QStringLiteral("GET"));
    QCOMPARE(requests[1].range, QStringLiteral("bytes=0-%1").arg(defaultChunk - 1));
    QCOMPARE(requests[1].userAgent, QStringLiteral("Brelvar.FMS.Client.1.0.0.109"));
}

void TestDownloadNginx::startsNoMoreWorkersThanPieces_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("workers");

    // With the default chunk a piece is two chunks until the file reaches 30 chunks x threads.
    QTest::newRow("two pieces, five threads") << 3 * defaultChunk << 5 << 2;
    QTest::newRow("one piece, five threads") << qint64(1000) << 5 << 1;
    QTest::newRow("three pieces, two threads") << 5 * defaultChunk << 2 << 2;
}

void TestDownloadNginx::startsNoMoreWorkersThanPieces()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    QFETCH(int, workers);
    CSettings::remove(SettingsKey::ChunkSize);
    const QString source = servedFile(QStringLiteral("pieces.bin"), size, 3);

    CHttpDownloadTask task(url(QStringLiteral("/pieces.bin")), m_target->filePath(QStringLiteral("pieces.bin")));
    task.setThreadCount(threads);
    QSignalSpy finished(&task, &CHttpDownloadTask::finished);
    QSignalSpy errors(&task, &CHttpDownloadTask::errorReceived);
    task.start();
    QVERIFY(finished.wait(60000));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(task.startedWorkerCount(), workers);
    QCOMPARE(CTestFiles::sha1(m_target->filePath(QStringLiteral("pieces.bin"))), CTestFiles::sha1(source));
}

void TestDownloadNginx::requestsUpperCaseUrlInLowerCase()
{
    const QString source = servedFile(QStringLiteral("pkg/navdata.bin"), 200000);
    const QString given = url(QStringLiteral("/PKG/NavData.BIN"));
    const QString destination = m_target->filePath(QStringLiteral("NavData.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(given, destination, 2));
    manager.startTask(given);
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(probe.finishedUrls, QStringList{given.toLower()});
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
    const QList<LoggedRequest> requests = parseLog(m_nginx.accessLog().mid(m_log));
    QVERIFY(!requests.isEmpty());
    for (const LoggedRequest& request : requests)
        QCOMPARE(request.path, QStringLiteral("/pkg/navdata.bin"));
    // The URL as given is free again once the download has ended.
    QTRY_VERIFY(manager.task(given) == nullptr);
}

void TestDownloadNginx::replacesExistingDestination()
{
    const QString source = servedFile(QStringLiteral("replace.bin"), 300001);
    const QString destination = m_target->filePath(QStringLiteral("replace.bin"));
    QVERIFY(CTestFiles::write(destination, 900000, 99)); // longer than the new file: must not leave a tail

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/replace.bin")), destination, 3));
    manager.startTask(url(QStringLiteral("/replace.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(QFileInfo(destination).size(), qint64(300001));
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}

void TestDownloadNginx::storesIntoFolderUnderUrlName()
{
    const QString source = servedFile(QStringLiteral("folder/index.dat"), 4321);
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/folder/index.dat")), m_target->path(), 1));
    manager.startTask(url(QStringLiteral("/folder/index.dat")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(m_target->filePath(QStringLiteral("index.dat"))), CTestFiles::sha1(source));
}

void TestDownloadNginx::createsMissingFolders()
{
    const QString source = servedFile(QStringLiteral("deep.bin"), 100000);
    const QString destination = m_target->filePath(QStringLiteral("a/b/c/deep.bin"));
    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(url(QStringLiteral("/deep.bin")), destination, 2));
    manager.startTask(url(QStringLiteral("/deep.bin")));
    QVERIFY(probe.waitFinished());
    QCOMPARE(probe.finishedCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(source));
}

void TestDownloadNginx::failsCleanly_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("words"); // in the error text

    QTest::newRow("missing file (404)") << "/missing.bin" << 1 << 203 << "not found";
    QTest::newRow("server error (500)") << "/fail/served.bin" << 1 << 401 << "Code:401";
    QTest::newRow("range ignored (200), one worker") << "/whole/served.bin" << 1 << 400 << "HTTP 200";
    QTest::newRow("range ignored (200), five workers") << "/whole/served.bin" << 5 << 400 << "HTTP 200";
    QTest::newRow("empty file") << "/empty.bin" << 1 << 400 << "no usable size";
    QTest::newRow("nobody listening") << "closed" << 1 << 1 << "refused";
}

void TestDownloadNginx::failsCleanly()
{
    QFETCH(QString, path);
    QFETCH(int, threads);
    QFETCH(int, code);
    QFETCH(QString, words);
    servedFile(QStringLiteral("served.bin"), 20 * smallChunk + 11);
    servedFile(QStringLiteral("empty.bin"), 0);

    QString address = url(path);
    if (path == QLatin1String("closed")) {
        // A port that was free a moment ago: the probe closes it again at the end of this block.
        QTcpServer probePort;
        QVERIFY(probePort.listen(QHostAddress::LocalHost, 0));
        address = QStringLiteral("http://127.0.0.1:%1/x.bin").arg(probePort.serverPort());
    }
    const QString destination = m_target->filePath(QStringLiteral("keep.bin"));
    QVERIFY(CTestFiles::write(destination, 12345, 5));
    const QByteArray before = CTestFiles::sha1(destination);

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, destination, threads));
    manager.startTask(address);
    QVERIFY(probe.waitFinished());
    QTest::qWait(200); // a second report would arrive within this

    QCOMPARE(probe.errorCount(), 1);
    QCOMPARE(probe.finishedCount(), 1);
    QCOMPARE(probe.events.mid(probe.events.size() - 2),
             QStringList({QStringLiteral("error"), QStringLiteral("finished")}));
    QCOMPARE(probe.errors.first().code(), code);
    QCOMPARE(probe.finishedCode(), code);
    QVERIFY2(probe.errors.first().text().contains(words, Qt::CaseInsensitive), qPrintable(probe.errors.first().text()));
    QCOMPARE(CTestFiles::sha1(destination), before);
}

void TestDownloadNginx::journalsPiecesWhileRunning()
{
    // Throttled to 1 MiB/s a connection: two workers need about a second.
    const qint64 size = 2 * 1024 * 1024 + 17;
    servedFile(QStringLiteral("journal.bin"), size);
    const QString address = url(QStringLiteral("/slow/Journal.bin"));
    const QString destination = m_target->filePath(QStringLiteral("journal.bin"));

    CHttpDownloadManager manager;
    CDownloadProbe probe(&manager);
    QVERIFY(manager.appendTask(address, destination, 2));
    manager.startTask(address);
    QTRY_VERIFY_WITH_TIMEOUT(manager.currentTaskRecord().downloaded > 2 * smallChunk, 30000);

    const DownloadTaskRecord running = manager.currentTaskRecord();
    QCOMPARE(running.url, address.toLower());
    QCOMPARE(running.size, size);

    CHttpDownloadHelper journal(m_target->filePath(CHttpDownloadHelper::FileName));
    QString message;
    QVERIFY2(journal.read(&message), qPrintable(message));
    DownloadTaskRecord recorded;
    QVERIFY(journal.loadRecord(address.toLower(), &recorded));
    QCOMPARE(recorded.path, destination);
    QCOMPARE(recorded.size, size);
    QCOMPARE(recorded.threads, 2);
    QVERIFY(!recorded.pieces.isEmpty());
    for (const CFilePiece& piece : qAsConst(recorded.pieces)) {
        QVERIFY(piece.start() >= 0 && piece.end() < size && piece.start() <= piece.end());
        QVERIFY(piece.completed() >= 0 && piece.completed() <= piece.length());
    }
    QVERIFY(recorded.offset >= recorded.pieces.last().id() - 1);

    manager.stopAllTasks();
    QCOMPARE(manager.currentTaskRecord().url, QString());
    QTest::qWait(300);
    QCOMPARE(probe.finishedCount(), 0);
    QVERIFY(!QFile::exists(destination));
}

void TestDownloadNginx::stopsInTheMiddleAndStartsAgain()
{
    const qint64 size = 2 * 1024 * 1024 + 3;
    const QString source = servedFile(QStringLiteral("again.bin"), size);
    const QString destination = m_target->filePath(QStringLiteral("again.bin"));

    CHttpDownloadTask task(url(QStringLiteral("/slow/again.bin")), destination);
    task.setThreadCount(3);
    QSignalSpy finished(&task, &CHttpDownloadTask::finished);
    QSignalSpy errors(&task, &CHttpDownloadTask::errorReceived);
    task.start();
    QTRY_VERIFY_WITH_TIMEOUT(task.record().downloaded > smallChunk, 30000);
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

void TestDownloadNginx::refusesSecondAppend()
{
    const QString source = servedFile(QStringLiteral("twice.bin"), 150000);
    const QString address = url(QStringLiteral("/twice.bin"));
    const QString first = m_target->filePath(QStringLiteral("first.bin"));
    const QString second = m_target->filePath(QStringLiteral("second.bin"));

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

QTEST_GUILESS_MAIN(TestDownloadNginx)
#include "tst_downloadnginx.moc"
