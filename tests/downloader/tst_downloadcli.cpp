// tessaray-cli download, run as a user would run it, against nginx.

#include "cdownloadprobe.h"
#include "cnginxserver.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/cresumeplan.h"
#include "foundation/csettings.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestDownloadCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void downloadsAndReports();
    void resumesAfterKill();
    void reportsFailure();
    void refusesBadArguments_data();
    void refusesBadArguments();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList& arguments);
    QProcessEnvironment environment() const;

    QTemporaryDir m_work;
    CNginxServer m_nginx;
    QString m_cli;
    QString m_served;
};

void TestDownloadCli::initTestCase()
{
    m_cli = qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/cli/tessaray-cli");
    QVERIFY2(QFile::exists(m_cli), qPrintable(m_cli));
    m_served = m_nginx.serveFile(QStringLiteral("pkg.bin"), 2 * 1024 * 1024 + 9);
    QVERIFY(!m_served.isEmpty());
    QString error;
    QVERIFY2(m_nginx.start(&error), qPrintable(error));
}

QProcessEnvironment TestDownloadCli::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TESSARAY_DATA_DIR"), m_work.filePath(QStringLiteral("data")));
    return environment;
}

TestDownloadCli::Run TestDownloadCli::run(const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_work.path());
    process.start(m_cli, QStringList{QStringLiteral("download")} + arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void TestDownloadCli::downloadsAndReports()
{
    // A relative destination is taken from the current folder, as a user means it.
    const Run result = run({m_nginx.baseUrl() + QStringLiteral("/pkg.bin"), QStringLiteral("copy.bin"),
                            QStringLiteral("--threads"), QStringLiteral("3")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^2097161 bytes\t\\d+\\.\\d{3} s\t\\d+\\.\\d MB/s\n$"))
                 .match(result.out)
                 .hasMatch(),
             qPrintable(result.out));
    QCOMPARE(result.err, QString()); // no progress bar when stderr is not a terminal
    QCOMPARE(CTestFiles::sha1(m_work.filePath(QStringLiteral("copy.bin"))), CTestFiles::sha1(m_served));
}

void TestDownloadCli::resumesAfterKill()
{
    // Small chunks, so that the ranges cut off by the kill are small against what is left.
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(m_work.filePath(QStringLiteral("data"))));
    CSettings::setValue(SettingsKey::ChunkSize, -7);
    const int threads = 2;
    const qint64 chunk = 65536;
    const qint64 size = 32 * 1024 * 1024 + 7;
    const QString served = m_nginx.serveFile(QStringLiteral("big.bin"), size, 3);
    const QString destination = m_work.filePath(QStringLiteral("resumed.bin"));
    const QStringList arguments{QStringLiteral("download"), m_nginx.baseUrl() + QStringLiteral("/big.bin"), destination,
                                QStringLiteral("--threads"), QString::number(threads)};
    const qint64 piece = CResumePlan::pieceSize(size, threads, chunk);
    // What the journal says is on disk: the pieces handed out, less what their records still miss.
    const auto journalled = [&]() -> qint64 {
        CHttpDownloadHelper journal(m_work.filePath(CHttpDownloadHelper::FileName));
        DownloadTaskRecord record;
        if (!journal.read() || !journal.loadRecord(arguments.at(1), &record))
            return 0; // not written yet, or caught in the middle of a rewrite
        qint64 done = qMin(size, record.offset * piece);
        for (const CFilePiece& handedOut : qAsConst(record.pieces))
            done -= handedOut.remaining();
        return done;
    };

    m_nginx.reset();
    QProcess first;
    first.setProcessEnvironment(environment());
    first.start(m_cli, arguments);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(journalled() >= size / 4 || first.state() == QProcess::NotRunning, 30000);
    first.kill();
    first.waitForFinished();
    QCOMPARE(first.exitStatus(), QProcess::CrashExit); // killed in the middle, not finished
    QTest::qWait(300);                                 // until nginx has logged the ranges it was cut off in
    qint64 fetched = 0;
    for (const CServedRequest& request : m_nginx.requests(QStringLiteral("GET")))
        fetched += request.bytesSent;
    const qint64 missing = size - fetched;
    QVERIFY(missing > 0);

    m_nginx.reset();
    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(m_cli, arguments);
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(CTestFiles::sha1(destination), CTestFiles::sha1(served));
    qint64 refetched = 0;
    for (const CServedRequest& request : m_nginx.requests(QStringLiteral("GET")))
        refetched += request.bytesSent;
    QVERIFY2(refetched < missing + missing / 10,
             qPrintable(QStringLiteral("%1 bytes fetched again for %2 missing").arg(refetched).arg(missing)));
    CSettings::remove(SettingsKey::ChunkSize);
}

void TestDownloadCli::reportsFailure()
{
    // The engine's failures are its tests' (failsCleanly); here, how the command line shows one.
    const QString destination = m_work.filePath(QStringLiteral("failed.bin"));
    const Run result = run({m_nginx.baseUrl() + QStringLiteral("/none.bin"), destination});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, QString());
    QVERIFY2(result.err.startsWith(QStringLiteral("error 400: Code:400, Description: HTTP 404 Not Found from ")),
             qPrintable(result.err));
    QVERIFY(!QFile::exists(destination));
}

void TestDownloadCli::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no destination") << QStringList{QStringLiteral("http://127.0.0.1:1/a.bin")};
    QTest::newRow("zero threads") << QStringList{QStringLiteral("http://127.0.0.1:1/a.bin"), QStringLiteral("a.bin"),
                                                 QStringLiteral("--threads"), QStringLiteral("0")};
    QTest::newRow("threads not a number") << QStringList{QStringLiteral("http://127.0.0.1:1/a.bin"),
                                                         QStringLiteral("a.bin"), QStringLiteral("--threads=x")};
    QTest::newRow("not an http URL") << QStringList{QStringLiteral("ftp://host/a.bin"), QStringLiteral("a.bin")};
}

void TestDownloadCli::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.out, QString());
    QVERIFY(!result.err.isEmpty());
}

QTEST_GUILESS_MAIN(TestDownloadCli)
#include "tst_downloadcli.moc"
