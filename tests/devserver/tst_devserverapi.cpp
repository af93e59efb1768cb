#include "ctestdevserver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

// The REST side of the development service, served from a copy of the demo content. What the program's
// client gets from it on the good paths, the user, REST and data index tests show.
class TestDevServerApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void passwordLogIn_data();
    void passwordLogIn();
    void userRecordOfAnotherUser();
    void downloadAddress_data();
    void downloadAddress();
    void brokenStatisticsAreRefused();
    void unknownEndpoint();
    void addressesFollowTheHostUsed();
    void configurationErrors_data();
    void configurationErrors();

private:
    struct Reply
    {
        int status = 0;
        QByteArray body;
        QJsonDocument json;
    };
    Reply call(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray(),
               const QString& host = QStringLiteral("127.0.0.1"));
    QString logInToken();

    QTemporaryDir m_root;
    std::unique_ptr<CTestDevServer> m_service;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

namespace
{
const QString demoUser = QStringLiteral("demo");
const QString demoPassword = QStringLiteral("demo-pass-2612");
const int demoUserId = 4711;

QByteArray logInBody(const QString& user, const QString& password)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("username"), user},
                                     {QStringLiteral("user_password"), password},
                                     {QStringLiteral("client_identifier"), QStringLiteral("fms-client")}})
        .toJson();
}
} // namespace

void TestDevServerApi::init()
{
    QVERIFY(m_root.isValid());
    QVERIFY(CTestDevServer::copySamples(m_root.path()));
    QFile package(m_root.filePath(QStringLiteral("packages/Demo_Airliner_2612.ZIP")));
    QVERIFY(package.open(QIODevice::WriteOnly));
    package.write("PK package bytes");
    package.close();
    m_service = std::make_unique<CTestDevServer>(m_root.path());
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorMessage()));
    m_manager = std::make_unique<QNetworkAccessManager>();
}

void TestDevServerApi::cleanup()
{
    m_manager.reset();
    m_service.reset();
}

TestDevServerApi::Reply TestDevServerApi::call(const QByteArray& method, const QString& path, const QByteArray& body,
                                               const QString& host)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2%3").arg(host).arg(m_service->server().port()).arg(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply = method == "GET"    ? m_manager->get(request)
                           : method == "POST" ? m_manager->post(request, body)
                                              : m_manager->sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000);
    Reply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.json = QJsonDocument::fromJson(result.body);
    delete reply;
    return result;
}

QString TestDevServerApi::logInToken()
{
    const Reply reply =
        call("POST", QStringLiteral("/API/1/token?grant_type=password"), logInBody(demoUser, demoPassword));
    return reply.json.object().value(QStringLiteral("user")).toObject().value(QStringLiteral("token")).toString();
}

void TestDevServerApi::passwordLogIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    const QString path = QStringLiteral("/API/1/token?grant_type=password");
    QTest::newRow("user name in other case")
        << path << logInBody(QStringLiteral("DEMO"), demoPassword) << 200 << QString();
    QTest::newRow("lower-case path") << QStringLiteral("/api/1/token?grant_type=password")
                                     << logInBody(demoUser, demoPassword) << 200 << QString();
    QTest::newRow("wrong password") << path << logInBody(demoUser, QStringLiteral("Demo-pass-2612")) << 401
                                    << QStringLiteral("invalid_grant");
    QTest::newRow("unknown user") << path << logInBody(QStringLiteral("nobody"), demoPassword) << 401
                                  << QStringLiteral("invalid_grant");
    QTest::newRow("empty fields") << path << logInBody(QString(), QString()) << 401 << QStringLiteral("invalid_grant");
    QTest::newRow("other grant") << QStringLiteral("/API/1/token?grant_type=client")
                                 << logInBody(demoUser, demoPassword) << 400
                                 << QStringLiteral("unsupported_grant_type");
    QTest::newRow("body not JSON") << path << QByteArray("{\"username\": ") << 400 << QStringLiteral("invalid_request");
    QTest::newRow("body is an array") << path << QByteArray("[1, 2]") << 400 << QStringLiteral("invalid_request");
}

void TestDevServerApi::passwordLogIn()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, error);

    const Reply reply = call("POST", path, body);
    QCOMPARE(reply.status, status);
    if (status != 200) {
        QCOMPARE(reply.json.object().value(QStringLiteral("error")).toString(), error);
        return;
    }
    // The account's own name; the rest of the record the user tests read through the program's client.
    const QJsonObject user = reply.json.object().value(QStringLiteral("user")).toObject();
    QCOMPARE(user.value(QStringLiteral("username")).toString(), demoUser);
    QCOMPARE(user.value(QStringLiteral("user_id")).toInt(), demoUserId);
}

void TestDevServerApi::userRecordOfAnotherUser()
{
    // A wrong token the user tests try through the program's client.
    const QString token = logInToken();
    QVERIFY(!token.isEmpty());
    const Reply reply = call("GET", QStringLiteral("/API/1/users/4712?token=%1").arg(token));
    QCOMPARE(reply.status, 401);
    QCOMPARE(reply.json.object().value(QStringLiteral("error")).toString(), QStringLiteral("invalid_token"));
    // The user record is not served without any token either.
    QCOMPARE(call("GET", QStringLiteral("/API/1/users/%1").arg(demoUserId)).status, 401);
}

void TestDevServerApi::downloadAddress_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("rightToken");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QByteArray request("{\"filename\": \"Demo_Airliner_2612.zip\", \"internal_id\": \"6425378f\"}");
    QTest::newRow("region in upper case") << "NA" << true << request << 200;
    QTest::newRow("wrong token") << "eu" << false << request << 401;
    QTest::newRow("unknown region") << "mars" << true << request << 404;
    QTest::newRow("unpublished package") << "eu" << true
                                         << QByteArray("{\"filename\": \"other.zip\", \"internal_id\": \"1\"}") << 404;
    QTest::newRow("escape from the folder")
        << "eu" << true << QByteArray("{\"filename\": \"../service.json\", \"internal_id\": \"1\"}") << 404;
    QTest::newRow("no file name") << "eu" << true << QByteArray("{\"internal_id\": \"1\"}") << 400;
    QTest::newRow("body not JSON") << "eu" << true << QByteArray("filename=x") << 400;
}

void TestDevServerApi::downloadAddress()
{
    QFETCH(QString, region);
    QFETCH(bool, rightToken);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    const QString token = rightToken ? logInToken() : QStringLiteral("not-a-token");
    const Reply reply = call("POST", QStringLiteral("/api/1/download/%1/fmsdata/%2").arg(region, token), body);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.json.object()
                 .value(status == 200 ? QStringLiteral("url") : QStringLiteral("error"))
                 .toString()
                 .isEmpty());
    if (status != 200)
        return;
    const QString url = reply.json.object().value(QStringLiteral("url")).toString();
    QCOMPARE(url, m_service->url(QStringLiteral("/packages/demo_airliner_2612.zip")));
    const Reply package = call("GET", QUrl(url).path());
    QCOMPARE(package.status, 200);
    QCOMPARE(package.body, QByteArray("PK package bytes"));
}

void TestDevServerApi::brokenStatisticsAreRefused()
{
    QCOMPARE(call("POST", QStringLiteral("/api/1/statistics/download"), "{broken").status, 400);
    QCOMPARE(call("GET", QStringLiteral("/api/1/statistics/download")).status, 405);
    QVERIFY(m_service->server().statisticsUploads().isEmpty());
}

void TestDevServerApi::unknownEndpoint()
{
    const Reply reply = call("GET", QStringLiteral("/api/2/whatever"));
    QCOMPARE(reply.status, 404);
    QVERIFY(reply.json.object().value(QStringLiteral("error")).toString().contains(QStringLiteral("/api/2/whatever")));
    QCOMPARE(call("POST", QStringLiteral("/api/1/download/regions")).status, 405); // known, but not for POST
    QCOMPARE(call("GET", QStringLiteral("/status.txt")).status, 200);
}

void TestDevServerApi::addressesFollowTheHostUsed()
{
    const Reply index = call("GET", QStringLiteral("/api/1/fmsdata/index"), QByteArray(), QStringLiteral("localhost"));
    if (index.status == 0)
        QSKIP("localhost does not reach the loopback address here");
    QCOMPARE(index.json.object().value(QStringLiteral("Url")).toString(),
             QStringLiteral("http://localhost:%1/data.index").arg(m_service->server().port()));
}

void TestDevServerApi::configurationErrors_data()
{
    QTest::addColumn<QByteArray>("configuration");
    QTest::addColumn<QString>("named");

    QTest::newRow("not JSON") << QByteArray("{ accounts: [] }") << QStringLiteral("not valid JSON");
    QTest::newRow("not an object") << QByteArray("[]") << QStringLiteral("JSON object");
    QTest::newRow("account without password")
        << QByteArray("{\"accounts\": [{\"username\": \"a\", \"user_id\": 1}]}") << QStringLiteral("\"password\"");
    QTest::newRow("user id as text")
        << QByteArray("{\"accounts\": [{\"username\": \"a\", \"password\": \"p\", \"user_id\": \"1\"}]}")
        << QStringLiteral("\"user_id\"");
    QTest::newRow("user name twice")
        << QByteArray("{\"accounts\": [{\"username\": \"a\", \"password\": \"p\", \"user_id\": 1},"
                      "{\"username\": \"A\", \"password\": \"q\", \"user_id\": 2}]}")
        << QStringLiteral("accounts[1]");
    QTest::newRow("region without name") << QByteArray("{\"regions\": [{\"region_code\": \"eu\"}]}")
                                         << QStringLiteral("regions[0]");
    QTest::newRow("index without file") << QByteArray("{\"index\": {\"Id\": \"x\"}}") << QStringLiteral("\"File\"");
}

void TestDevServerApi::configurationErrors()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QString, named);

    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("service.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(configuration);
    file.close();

    CDevServer& server = m_service->server();
    const QString previousRoot = server.root();
    QString message;
    QVERIFY(!server.setRoot(folder.path(), &message));
    QVERIFY2(message.contains(named), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("service.json")));
    // The service goes on with what it had.
    QCOMPARE(server.root(), previousRoot);
    QCOMPARE(call("GET", QStringLiteral("/api/1/fmsdata/cycles/current")).status, 200);
}

QTEST_GUILESS_MAIN(TestDevServerApi)
#include "tst_devserverapi.moc"
