#include "cdownloadprobe.h"
#include "ctestdevserver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

// The development service as clients meet it: over real loopback connections, through Qt's network
// access manager (as the program talks) and through raw sockets (as a hostile peer talks). What each fault
// switch does to a download, and that the service serves several connections at once and keeps them alive,
// the download engine's tests against it show (tst_downloaddevserver); its request log, the REST client's
// (tst_restapi).
class TestDevServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void files_data();
    void files();
    void headAnnouncesLength();
    void ranges_data();
    void ranges();
    void addedFilesAreServed();
    void faultScope();
    void malformedRequests_data();
    void malformedRequests();
    void pipelinedRequestsAreAnsweredInOrder();
    void startAndStop();
    void program();

private:
    struct Reply
    {
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        int status = 0;
        QByteArray body;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    Reply fetch(const QString& path, const QByteArray& method = "GET", const QByteArray& range = QByteArray());
    // Writes `bytes` on a fresh connection and returns everything the service sends until it closes.
    QByteArray exchange(const QByteArray& bytes);

    std::unique_ptr<CTestDevServer> m_service;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

void TestDevServer::init()
{
    m_service = std::make_unique<CTestDevServer>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorMessage()));
    m_manager = std::make_unique<QNetworkAccessManager>();
}

void TestDevServer::cleanup()
{
    m_manager.reset();
    m_service.reset();
}

TestDevServer::Reply TestDevServer::fetch(const QString& path, const QByteArray& method, const QByteArray& range)
{
    QNetworkRequest request(QUrl(m_service->url(path)));
    if (!range.isNull())
        request.setRawHeader("Range", range);
    QNetworkReply* reply = method == "HEAD" ? m_manager->head(request) : m_manager->get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000); // no answer: status 0
    Reply result;
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    for (const auto& header : reply->rawHeaderPairs())
        result.headers.insert(header.first.toLower(), header.second);
    reply->deleteLater();
    return result;
}

QByteArray TestDevServer::exchange(const QByteArray& bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_service->server().port());
    if (!socket.waitForConnected(10000))
        return QByteArray("not connected");
    socket.write(bytes);
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 20000) {
        socket.waitForReadyRead(200);
        received += socket.readAll();
    }
    received += socket.readAll();
    return received;
}

void TestDevServer::files_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("exact name") << "/Packages/Navdata.ZIP" << 200 << QByteArray("package");
    QTest::newRow("lower-cased by the client") << "/packages/navdata.zip" << 200 << QByteArray("package");
    QTest::newRow("percent-encoded blank") << "/Packages/Read%20Me.txt" << 200 << QByteArray("blank");
    QTest::newRow("nested, mixed case") << "/a/B/c.BIN" << 200 << QByteArray("nested");
    QTest::newRow("doubled slashes") << "//a//b//c.bin" << 200 << QByteArray("nested");
    QTest::newRow("missing file") << "/packages/none.zip" << 404 << QByteArray();
    QTest::newRow("folder") << "/packages" << 404 << QByteArray();
    QTest::newRow("escape with dots") << "/packages/%2E%2E/%2E%2E/etc/passwd" << 404 << QByteArray();
    QTest::newRow("backslash escape") << "/packages/..%5C..%5Cetc" << 404 << QByteArray();
    QTest::newRow("configuration stays private") << "/Service.JSON" << 404 << QByteArray();
}

void TestDevServer::files()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    m_service->writeFile(QStringLiteral("Packages/Navdata.ZIP"), "package");
    m_service->writeFile(QStringLiteral("Packages/Read Me.txt"), "blank");
    m_service->writeFile(QStringLiteral("a/b/C.bin"), "nested");
    m_service->writeFile(QStringLiteral("service.json"), "{}");

    const Reply reply = fetch(path);
    QCOMPARE(reply.status, status);
    if (status == 200) {
        QCOMPARE(reply.error, QNetworkReply::NoError);
        QCOMPARE(reply.body, body);
        QCOMPARE(reply.headers.value("content-length"), QByteArray::number(body.size()));
    } else {
        QCOMPARE(reply.error, QNetworkReply::ContentNotFoundError);
        // Errors come as JSON with a message the developer can read.
        QVERIFY(!QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("error")).toString().isEmpty());
    }
}

void TestDevServer::headAnnouncesLength()
{
    m_service->writeFile(QStringLiteral("pkg.bin"), CTestFiles::content(123457));
    const Reply reply = fetch(QStringLiteral("/PKG.bin"), "HEAD");
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.headers.value("content-length"), QByteArray("123457"));
    QCOMPARE(reply.headers.value("accept-ranges"), QByteArray("bytes"));
    QVERIFY(reply.body.isEmpty());

    // The connection is still in step: the next answer is not swallowed as a body of the HEAD.
    QCOMPARE(fetch(QStringLiteral("/pkg.bin")).body, CTestFiles::content(123457));
}

void TestDevServer::ranges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");

    QTest::newRow("first piece") << QByteArray("bytes=0-65535") << 206 << qint64(0) << qint64(65535);
    QTest::newRow("past the end") << QByteArray("bytes=100000-") << 416 << qint64(0) << qint64(-1);
    QTest::newRow("malformed: whole file") << QByteArray("bytes=x-y") << 200 << qint64(0) << qint64(99999);
}

void TestDevServer::ranges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(qint64, first);
    QFETCH(qint64, last);

    const QByteArray data = CTestFiles::content(100000);
    m_service->writeFile(QStringLiteral("pkg.bin"), data);
    const Reply reply = fetch(QStringLiteral("/pkg.bin"), "GET", range);
    QCOMPARE(reply.status, status);
    if (status == 416) {
        QCOMPARE(reply.headers.value("content-range"), QByteArray("bytes */100000"));
        return;
    }
    const QByteArray expected = data.mid(int(first), int(last - first + 1));
    QCOMPARE(reply.body.size(), expected.size());
    QCOMPARE(reply.body, expected);
    QCOMPARE(reply.headers.value("content-length"), QByteArray::number(expected.size()));
    if (status == 206)
        QCOMPARE(reply.headers.value("content-range"),
                 QStringLiteral("bytes %1-%2/100000").arg(first).arg(last).toLatin1());
    else
        QVERIFY(!reply.headers.contains("content-range"));
}

void TestDevServer::addedFilesAreServed()
{
    QTemporaryDir elsewhere;
    const QString file = elsewhere.filePath(QStringLiteral("outside.dat"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("from elsewhere");
    out.close();

    m_service->server().addFile(QStringLiteral("/Downloads/Thing.dat"), file);
    const Reply reply = fetch(QStringLiteral("/downloads/thing.DAT"), "GET", "bytes=5-9");
    QCOMPARE(reply.status, 206);
    QCOMPARE(reply.body, QByteArray("elsew"));
}

void TestDevServer::faultScope()
{
    m_service->writeFile(QStringLiteral("a.bin"), "aaaa");
    m_service->writeFile(QStringLiteral("b.bin"), "bbbb");
    CDevServer& server = m_service->server();

    CDevServerFault broken;
    broken.status = 500;
    CDevServerFault locked;
    locked.status = 401;

    // A path fault, named in another case, beats the global one; other paths get the global one.
    server.setFault(QStringLiteral("/A.BIN"), locked);
    server.setFault(QString(), broken);
    QCOMPARE(fetch(QStringLiteral("/a.bin?x=1")).status, 401);
    QCOMPARE(fetch(QStringLiteral("/b.bin")).status, 500);
    server.clearFaults();
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 200);

    // A fault with a hit count switches itself off.
    broken.remainingHits = 2;
    server.setFault(QStringLiteral("/a.bin"), broken);
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 500);
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 500);
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 200);

    // A fault for one method lets the others through without using up its hits.
    broken.remainingHits = 1;
    broken.method = QStringLiteral("GET");
    server.setFault(QStringLiteral("/a.bin"), broken);
    QCOMPARE(fetch(QStringLiteral("/a.bin"), "HEAD").status, 200);
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 500);
    QCOMPARE(fetch(QStringLiteral("/a.bin")).status, 200);
}

void TestDevServer::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");

    QTest::newRow("huge header") << "GET / HTTP/1.1\r\nX-Big: " + QByteArray(200 * 1024, 'x') + "\r\n\r\n"
                                 << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("unsupported version") << QByteArray("GET / HTTP/3.0\r\n\r\n") << QByteArray("HTTP/1.1 505 ");
    QTest::newRow("unsupported method on a file")
        << QByteArray("DELETE /a.bin HTTP/1.1\r\nConnection: close\r\n\r\n") << QByteArray("HTTP/1.1 405 ");
}

void TestDevServer::malformedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);

    m_service->writeFile(QStringLiteral("a.bin"), "still here");
    const QByteArray answer = exchange(request);
    QVERIFY2(answer.startsWith(statusLine), answer.left(200).constData());
    const int bodyStart = answer.indexOf("\r\n\r\n");
    QVERIFY(bodyStart > 0);
    QVERIFY(!QJsonDocument::fromJson(answer.mid(bodyStart + 4)).object().value(QStringLiteral("error")).isUndefined());

    // The service keeps serving.
    QCOMPARE(fetch(QStringLiteral("/a.bin")).body, QByteArray("still here"));
}

void TestDevServer::pipelinedRequestsAreAnsweredInOrder()
{
    m_service->writeFile(QStringLiteral("a.txt"), "first");
    m_service->writeFile(QStringLiteral("b.txt"), "second");
    const QByteArray answer = exchange("GET /a.txt HTTP/1.1\r\nHost: x\r\n\r\n"
                                       "HEAD /b.txt HTTP/1.1\r\nHost: x\r\n\r\n"
                                       "GET /b.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const int first = answer.indexOf("first");
    const int head = answer.indexOf("Content-Length: 6", first);
    const int second = answer.indexOf("\r\n\r\nsecond", head);
    QVERIFY2(first > 0 && head > first && second > head, answer.constData());
    QVERIFY(answer.endsWith("second"));
}

void TestDevServer::startAndStop()
{
    CDevServer& server = m_service->server();
    const quint16 port = server.port();
    QVERIFY(port != 0);
    QCOMPARE(server.baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(port));

    // A second service cannot take a port that is in use.
    CDevServer other;
    QVERIFY(other.setRoot(m_service->rootPath()));
    QVERIFY(!other.start(port));

    server.stop();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!socket.waitForConnected(3000) || !socket.waitForReadyRead(500));

    QVERIFY(other.start(port));
    m_service->writeFile(QStringLiteral("x.txt"), "x");
    m_manager->clearConnectionCache();
    QCOMPARE(fetch(QStringLiteral("/x.txt")).body, QByteArray("x"));
}

void TestDevServer::program()
{
    const QString binary =
        qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/tools/devserver/brelvar-devserver");
    m_service->writeFile(QStringLiteral("hello.txt"), "hello");

    QProcess process;
    process.start(binary,
                  {QStringLiteral("--root"), m_service->rootPath(), QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 20000);
    bool ok = false;
    const int port = process.readLine().trimmed().toInt(&ok);
    QVERIFY(ok && port > 0);

    QNetworkReply* reply =
        m_manager->get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/HELLO.txt").arg(port))));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 20000);
    QCOMPARE(reply->readAll(), QByteArray("hello"));
    delete reply;
    process.kill();
    process.waitForFinished();

    QProcess refused;
    refused.start(binary, {QStringLiteral("--root"), QStringLiteral("/nonexistent/folder")});
    QVERIFY(refused.waitForFinished(20000));
    QCOMPARE(refused.exitCode(), 1);
    QVERIFY(refused.readAllStandardError().contains("/nonexistent/folder"));
}

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
