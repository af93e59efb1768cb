#include "ctestdevserver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(CDevServerFault)

// The development service as clients meet it: over real loopback connections, through Qt's network
// access manager (as the program talks) and through raw sockets (as a hostile peer talks).
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
    void keepAliveCarriesSeveralRequests();
    void concurrentConnections();
    void largeFileIsStreamedWhole();
    void faults_data();
    void faults();
    void throttleAndDelaySlowTheAnswer();
    void faultScope();
    void malformedRequests_data();
    void malformedRequests();
    void pipelinedRequestsAreAnsweredInOrder();
    void requestLog();
    void startAndStop();
    void rootMustExist();
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
    QByteArray content(int size) const;

    std::unique_ptr<CTestDevServer> m_service;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

QByteArray TestDevServer::content(int size) const
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return data;
}

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
    QNetworkReply* reply = method == "GET"    ? m_manager->get(request)
                           : method == "HEAD" ? m_manager->head(request)
                                              : m_manager->sendCustomRequest(request, method);
    Reply result;
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(30000)) {
        reply->abort();
        result.error = QNetworkReply::TimeoutError;
    }
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
    m_service->writeFile(QStringLiteral("pkg.bin"), content(123457));
    const Reply reply = fetch(QStringLiteral("/PKG.bin"), "HEAD");
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.headers.value("content-length"), QByteArray("123457"));
    QCOMPARE(reply.headers.value("accept-ranges"), QByteArray("bytes"));
    QVERIFY(reply.body.isEmpty());

    // The connection is still in step: the next answer is not swallowed as a body of the HEAD.
    QCOMPARE(fetch(QStringLiteral("/pkg.bin")).body, content(123457));
}

void TestDevServer::ranges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");

    QTest::newRow("first piece") << QByteArray("bytes=0-65535") << 206 << qint64(0) << qint64(65535);
    QTest::newRow("open end") << QByteArray("bytes=99990-") << 206 << qint64(99990) << qint64(99999);
    QTest::newRow("end past the file") << QByteArray("bytes=99000-200000") << 206 << qint64(99000) << qint64(99999);
    QTest::newRow("suffix") << QByteArray("bytes=-100") << 206 << qint64(99900) << qint64(99999);
    QTest::newRow("past the end") << QByteArray("bytes=100000-") << 416 << qint64(0) << qint64(-1);
    QTest::newRow("malformed: whole file") << QByteArray("bytes=x-y") << 200 << qint64(0) << qint64(99999);
}

void TestDevServer::ranges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(qint64, first);
    QFETCH(qint64, last);

    const QByteArray data = content(100000);
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

void TestDevServer::keepAliveCarriesSeveralRequests()
{
    m_service->writeFile(QStringLiteral("one.bin"), content(5000));
    for (int i = 0; i < 5; ++i) {
        const Reply reply = fetch(QStringLiteral("/one.bin"), i % 2 ? "HEAD" : "GET", "bytes=10-19");
        QCOMPARE(reply.status, 206);
    }
    const QList<CDevServerRequest> requests = m_service->server().requests();
    QCOMPARE(requests.size(), 5);
    for (const CDevServerRequest& request : requests)
        QCOMPARE(request.connection, requests.first().connection);
}

void TestDevServer::concurrentConnections()
{
    const QByteArray data = content(3 * 1024 * 1024);
    m_service->writeFile(QStringLiteral("big.bin"), data);
    // Slow every answer a little so that the manager must open parallel connections.
    CDevServerFault slow;
    slow.delayMs = 100;
    m_service->server().setFault(QString(), slow);

    QList<QNetworkReply*> replies;
    const int pieces = 6;
    const int pieceSize = data.size() / pieces;
    for (int i = 0; i < pieces; ++i) {
        QNetworkRequest request(QUrl(m_service->url(QStringLiteral("/big.bin"))));
        request.setRawHeader("Range",
                             QStringLiteral("bytes=%1-%2").arg(i * pieceSize).arg((i + 1) * pieceSize - 1).toLatin1());
        replies.append(m_manager->get(request));
    }
    for (int i = 0; i < pieces; ++i) {
        QNetworkReply* reply = replies.at(i);
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 30000);
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), data.mid(i * pieceSize, pieceSize));
        reply->deleteLater();
    }
    QSet<int> connections;
    for (const CDevServerRequest& request : m_service->server().requests())
        connections.insert(request.connection);
    QVERIFY2(connections.size() > 1, "the manager's parallel requests were served one connection at a time");
}

void TestDevServer::largeFileIsStreamedWhole()
{
    // A sparse file: large on the wire, cheap on disk. The service reads it in slices as the socket drains.
    const qint64 size = 96LL * 1024 * 1024 + 13;
    const QString path = m_service->writeFile(QStringLiteral("huge.bin"), QByteArray());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(size));
    QVERIFY(file.seek(size - 4));
    file.write("tail");
    file.close();

    QNetworkReply* reply = m_manager->get(QNetworkRequest(QUrl(m_service->url(QStringLiteral("/huge.bin")))));
    qint64 received = 0;
    QByteArray last;
    connect(reply, &QNetworkReply::readyRead, this, [&]() {
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        last = (last + chunk).right(4);
    });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 60000);
    const QByteArray rest = reply->readAll();
    received += rest.size();
    last = (last + rest).right(4);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(received, size);
    QCOMPARE(last, QByteArray("tail"));
    delete reply;
}

namespace
{
constexpr int Either = -1;
}

void TestDevServer::faults_data()
{
    QTest::addColumn<CDevServerFault>("fault");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("failed");   // 0, 1 or Either
    QTest::addColumn<int>("bodySize"); // bytes the client receives
    QTest::addColumn<QByteArray>("contentLength");

    CDevServerFault fault;
    fault.dropAfterBytes = 70000;
    // When the body is cut short by an orderly close, whether the manager reports an error depends on the
    // order in which it sees the close and the last bytes; the client must compare the length itself.
    QTest::newRow("drop after bytes") << fault << QByteArray() << 200 << Either << 70000 << QByteArray("200000");
    fault = CDevServerFault();
    fault.dropAfterBytes = 0;
    QTest::newRow("drop before the body") << fault << QByteArray() << 200 << Either << 0 << QByteArray("200000");
    fault = CDevServerFault();
    fault.status = 500;
    QTest::newRow("status 500") << fault << QByteArray() << 500 << 1 << -1 << QByteArray();
    fault = CDevServerFault();
    fault.status = 401;
    QTest::newRow("status 401") << fault << QByteArray() << 401 << 1 << -1 << QByteArray();
    fault = CDevServerFault();
    fault.contentLength = CDevServerFault::ContentLength::Omit;
    QTest::newRow("no Content-Length") << fault << QByteArray() << 200 << 0 << 200000 << QByteArray();
    fault = CDevServerFault();
    fault.contentLength = CDevServerFault::ContentLength::False;
    fault.falseContentLength = 1000;
    QTest::newRow("Content-Length too small") << fault << QByteArray() << 200 << 0 << 1000 << QByteArray("1000");
    fault.falseContentLength = 300000;
    QTest::newRow("Content-Length too large")
        << fault << QByteArray() << 200 << Either << 200000 << QByteArray("300000");
    fault = CDevServerFault();
    fault.ignoreRange = true;
    QTest::newRow("Range ignored") << fault << QByteArray("bytes=0-9") << 200 << 0 << 200000 << QByteArray("200000");
    fault = CDevServerFault();
    fault.dropAfterBytes = 5;
    QTest::newRow("drop inside a range") << fault << QByteArray("bytes=100-199") << 206 << Either << 5
                                         << QByteArray("100");
}

void TestDevServer::faults()
{
    QFETCH(CDevServerFault, fault);
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(int, failed);
    QFETCH(int, bodySize);
    QFETCH(QByteArray, contentLength);

    const QByteArray data = content(200000);
    m_service->writeFile(QStringLiteral("pkg.bin"), data);
    m_service->server().setFault(QStringLiteral("/pkg.bin"), fault);

    QNetworkRequest request(QUrl(m_service->url(QStringLiteral("/pkg.bin"))));
    if (!range.isEmpty())
        request.setRawHeader("Range", range);
    QNetworkReply* reply = m_manager->get(request);
    QByteArray body;
    connect(reply, &QNetworkReply::readyRead, this, [&]() { body += reply->readAll(); });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 30000);
    body += reply->readAll();

    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    if (failed != Either)
        QCOMPARE(int(reply->error() != QNetworkReply::NoError), failed);
    if (bodySize >= 0) {
        QCOMPARE(reply->rawHeader("Content-Length"), contentLength);
        QCOMPARE(body.size(), bodySize);
        const int offset = status == 206 ? 100 : 0;
        QCOMPARE(body, data.mid(offset, bodySize));
    } else {
        QVERIFY(!QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toString().isEmpty());
    }
    delete reply;

    // The service goes on serving once the fault is lifted.
    m_service->server().clearFaults();
    QCOMPARE(fetch(QStringLiteral("/pkg.bin")).body, data);
}

void TestDevServer::throttleAndDelaySlowTheAnswer()
{
    // Only lower bounds: a loaded machine may be slower, never faster than the throttle allows.
    m_service->writeFile(QStringLiteral("pkg.bin"), content(40000));
    CDevServerFault throttle;
    throttle.bytesPerSecond = 80000;
    m_service->server().setFault(QStringLiteral("/pkg.bin"), throttle);
    QElapsedTimer clock;
    clock.start();
    Reply reply = fetch(QStringLiteral("/pkg.bin"));
    QCOMPARE(reply.body, content(40000));
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));

    CDevServerFault delay;
    delay.delayMs = 400;
    m_service->server().setFault(QStringLiteral("/pkg.bin"), delay);
    clock.restart();
    reply = fetch(QStringLiteral("/pkg.bin"));
    QCOMPARE(reply.status, 200);
    QVERIFY2(clock.elapsed() >= 390, qPrintable(QString::number(clock.elapsed())));
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

    QTest::newRow("garbage line") << QByteArray("GARBAGE\r\n\r\n") << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("TLS hello on plain port")
        << QByteArray("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n\r\n", 15) << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("huge header") << "GET / HTTP/1.1\r\nX-Big: " + QByteArray(200 * 1024, 'x') + "\r\n\r\n"
                                 << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("endless request line") << "GET /" + QByteArray(100 * 1024, 'a') << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("bad Content-Length") << QByteArray("POST /x HTTP/1.1\r\nContent-Length: ten\r\n\r\n")
                                        << QByteArray("HTTP/1.1 400 ");
    QTest::newRow("HTTP/2 preface") << QByteArray("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") << QByteArray("HTTP/1.1 400 ");
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

void TestDevServer::requestLog()
{
    QNetworkRequest request(QUrl(m_service->url(QStringLiteral("/api/1/anything?token=abc"))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply = m_manager->post(request, QByteArray("{\"k\": 1}"));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 30000);
    delete reply;

    const QList<CDevServerRequest> requests = m_service->server().requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QStringLiteral("POST"));
    QCOMPARE(requests.first().path, QStringLiteral("/api/1/anything?token=abc"));
    QCOMPARE(requests.first().headers.value(QStringLiteral("content-type")), QStringLiteral("application/json"));
    QCOMPARE(requests.first().body, QByteArray("{\"k\": 1}"));
    m_service->server().clearRequests();
    QVERIFY(m_service->server().requests().isEmpty());
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

void TestDevServer::rootMustExist()
{
    CDevServer server;
    QString message;
    QVERIFY(!server.setRoot(QStringLiteral("/nonexistent/folder"), &message));
    QVERIFY(message.contains(QStringLiteral("/nonexistent/folder")));
}

void TestDevServer::program()
{
    const QString binary =
        QString::fromLocal8Bit(qgetenv("TESSARAY_BINARY_DIR")) + QStringLiteral("/tools/devserver/brelvar-devserver");
    if (!QFileInfo::exists(binary))
        QSKIP("brelvar-devserver is not built");
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
