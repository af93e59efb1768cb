#include "ccannedreplyserver.h"
#include "cservicetest.h"
#include "foundation/csettings.h"
#include "webservices/crestapi.h"
#include "webservices/crestutilities.h"

#include <QtTest>

// One call of the REST layer, for the rows of a table.
using Call = std::function<void(CRestAPI&)>;
Q_DECLARE_METATYPE(CCannedReplyServer::Reply)
Q_DECLARE_METATYPE(Call)

namespace
{
// A token as a service might hand it out, with every character that means something in a URL.
const QString awkwardToken = QStringLiteral("a/b?c&d=e f+g#h%");
const QString awkwardTokenEncoded = QStringLiteral("a%2Fb%3Fc%26d%3De%20f%2Bg%23h%25");
} // namespace

// The REST layer against the development service: what goes on the wire, what comes back by which
// signal in which order, and what is logged.
class TestRestApi : public CServiceTest
{
    Q_OBJECT

private slots:
    void requestsAsSent_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("body");

        const auto row = [](const char* name, const QString& method, const QString& path, const QJsonObject& body,
                            const Call& call) { QTest::newRow(name) << call << method << path << body; };
        const QJsonObject download{{"filename", "demo.zip"}, {"internal_id", "77"}};
        const QJsonObject password{
            {"client_identifier", "fms-client"}, {"user_password", "secret"}, {"username", "demo"}};
        row("password log-in", "POST", "/API/1/token?grant_type=password", password,
            [](CRestAPI& api) { api.login("demo", "secret"); });
        row("log-in by token", "GET", "/API/1/users/4711?token=tok3n", {},
            [](CRestAPI& api) { api.login(4711, "tok3n"); });
        row("download address", "POST", "/api/1/download/eu/fmsdata/tok3n", download, [](CRestAPI& api) {
            api.getDownloadUrl("eu", "tok3n", {"demo.zip", "77"});
        });
        row("log-in by token: token percent-encoded", "GET", "/API/1/users/4711?token=" + awkwardTokenEncoded, {},
            [](CRestAPI& api) { api.login(4711, awkwardToken); });
        row("download address: token and region percent-encoded", "POST",
            "/api/1/download/e%2Fu/fmsdata/" + awkwardTokenEncoded, download, [](CRestAPI& api) {
                api.getDownloadUrl("e/u", awkwardToken, {"demo.zip", "77"});
            });
    }
    void requestsAsSent()
    {
        QFETCH(Call, call);
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QJsonObject, body);

        run(call);
        const QList<CDevServerRequest> requests = service().server().requests();
        QCOMPARE(requests.size(), 1);
        const CDevServerRequest& request = requests.first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.path, path);
        QCOMPARE(request.headers.value(QStringLiteral("content-type")), QStringLiteral("application/json"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(), body);
    }

    void failuresCarryTheBody_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("address"); // below the service; empty: the service itself
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("member");

        const auto row = [](const char* name, const QString& address, int error, const QString& member,
                            const Call& call) { QTest::newRow(name) << call << address << error << member; };
        row("401: wrong password", QString(), QNetworkReply::AuthenticationRequiredError, "invalid_grant",
            [](CRestAPI& api) { api.login("demo", "wrong"); });
        row("401: wrong token", QString(), QNetworkReply::AuthenticationRequiredError, "invalid_token",
            [](CRestAPI& api) { api.login(4711, "wrong"); });
        row("404: nothing there", "/nothing", QNetworkReply::ContentNotFoundError, QString(),
            [](CRestAPI& api) { api.getServers(); });
    }
    void failuresCarryTheBody()
    {
        QFETCH(Call, call);
        QFETCH(QString, address);
        QFETCH(int, error);
        QFETCH(QString, member);

        if (!address.isEmpty())
            CSettings::setValue(SettingsKey::ServerAddress, service().url(address));
        const Outcome outcome = run(call);
        QCOMPARE(outcome.order, (QStringList{QStringLiteral("finished"), QStringLiteral("failed")}));
        QCOMPARE(int(outcome.error), error);
        const QString text = outcome.document.object().value(QStringLiteral("error")).toString();
        QVERIFY(!text.isEmpty());
        if (!member.isEmpty())
            QCOMPARE(text, member);
        QVERIFY(logText().contains(QStringLiteral("\nReceived REST error from server.\n")) ||
                logText().startsWith(QStringLiteral("Received REST error from server.\n")));
    }

    void failuresNameTheirCause_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");

        QTest::newRow("HTTP 500") << "500" << int(QNetworkReply::InternalServerError)
                                  << "HTTP 500 Internal Server Error" << 500;
        QTest::newRow("redirect is not followed")
            << "302" << int(QNetworkReply::ProtocolFailure) << "HTTP 302 Found" << 302;
        QTest::newRow("refused connection") << "refused" << int(QNetworkReply::ConnectionRefusedError)
                                            << "Connection refused" << int(QNetworkReply::ConnectionRefusedError);
    }
    void failuresNameTheirCause()
    {
        QFETCH(QString, situation);
        QFETCH(int, error);
        QFETCH(QString, text);
        QFETCH(int, code);

        CCannedReplyServer canned;
        if (situation == QLatin1String("500")) {
            CDevServerFault fault;
            fault.status = 500;
            service().server().setFault(QStringLiteral("/api/1/download/regions"), fault);
        } else if (situation == QLatin1String("302")) {
            canned.setReply(QStringLiteral("/api/1/download/regions"), {302, "{}", -1});
            CSettings::setValue(SettingsKey::ServerAddress, canned.baseUrl());
        } else {
            service().server().stop(); // nothing listens there any more
        }
        const Outcome outcome = run([](CRestAPI& api) { api.getServers(); });
        QCOMPARE(outcome.order, (QStringList{QStringLiteral("finished"), QStringLiteral("failed")}));
        QCOMPARE(int(outcome.error), error);
        QCOMPARE(outcome.failure.text(), text);
        QCOMPARE(outcome.failure.code(), code);
    }

    void replySizeLimit_data()
    {
        QTest::addColumn<CCannedReplyServer::Reply>("reply");
        QTest::addColumn<QString>("failure"); // empty when the reply is taken

        const int limit = int(CRestUtilities::MaxReplyBytes);
        const auto padded = [](int size) { return "{\"pad\":\"" + QByteArray(size - 10, 'x') + "\"}"; };
        const QString tooLarge = QStringLiteral("The reply is larger than 4 MiB.");
        QTest::newRow("at the limit") << CCannedReplyServer::Reply{200, padded(limit), -1} << QString();
        QTest::newRow("one byte over") << CCannedReplyServer::Reply{200, padded(limit + 1), -1} << tooLarge;
        QTest::newRow("announced over it, never sent")
            << CCannedReplyServer::Reply{200, "{", 300LL * 1000 * 1000} << tooLarge;
        QTest::newRow("error status with a body over it") << CCannedReplyServer::Reply{500, padded(limit + 1), -1}
                                                          << QStringLiteral("HTTP 500 Internal Server Error");
    }
    void replySizeLimit()
    {
        QFETCH(CCannedReplyServer::Reply, reply);
        QFETCH(QString, failure);
        const bool accepted = failure.isEmpty();

        CCannedReplyServer canned;
        canned.setReply(QStringLiteral("/api/1/fmsdata/cycles/current"), reply);
        CSettings::setValue(SettingsKey::ServerAddress, canned.baseUrl());
        const Outcome outcome = run([](CRestAPI& api) { api.getCurrentDataCycle(); });
        QCOMPARE(outcome.order.last(), accepted ? QStringLiteral("succeed") : QStringLiteral("failed"));
        if (accepted) {
            QCOMPARE(outcome.document.object().value(QStringLiteral("pad")).toString().size(), reply.body.size() - 10);
            return;
        }
        QCOMPARE(outcome.error, QNetworkReply::ProtocolFailure);
        QCOMPARE(outcome.failure.text(), failure);
        QVERIFY(outcome.document.isNull());
    }

    void emptyReplySucceedsWithNullDocument()
    {
        // An address below which the cycle endpoint is an empty file.
        service().writeFile(QStringLiteral("empty/api/1/fmsdata/cycles/current"), QByteArray());
        CSettings::setValue(SettingsKey::ServerAddress, service().url(QStringLiteral("/empty")));
        const Outcome outcome = run([](CRestAPI& api) { api.getCurrentDataCycle(); });
        QCOMPARE(outcome.order, (QStringList{QStringLiteral("finished"), QStringLiteral("succeed")}));
        QVERIFY(outcome.document.isNull());
    }

    void postsAreLoggedWithoutToken()
    {
        const QString token = QStringLiteral("a1b2c3d4e5f6a7b8c9d0");
        run([&](CRestAPI& api) { api.getServers(); });
        QVERIFY2(!logText().contains(QStringLiteral("endpoint=")), qPrintable(logText()));

        run([&](CRestAPI& api) {
            api.getDownloadUrl(QStringLiteral("eu"), token, {QStringLiteral("demo.zip"), QString()});
        });
        run([&](CRestAPI& api) { api.login(QStringLiteral("demo"), QStringLiteral("wrong")); });
        const QString log = logText();
        QVERIFY(!log.contains(token));
        QVERIFY2(log.contains(QStringLiteral("[CRestUtilities::httpPost]: endpoint=") + service().baseUrl() +
                              QStringLiteral("/api/1/download/eu/fmsdata/<token>\n")),
                 qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("[CRestUtilities::httpPost]: endpoint=") + service().baseUrl() +
                             QStringLiteral("/API/1/token?grant_type=password\n")));
        // The server got the real token all the same.
        QCOMPARE(service().server().requests().at(1).path, QStringLiteral("/api/1/download/eu/fmsdata/") + token);
    }

    void statisticsCarryFifteenMembers()
    {
        DownloadStatistics statistics;
        statistics.server = QStringLiteral("eu");
        statistics.url = QStringLiteral("http://host/packages/a.zip");
        statistics.start = 1764999999123;
        statistics.end = 1765000001234;
        statistics.elapsed = statistics.end - statistics.start;
        statistics.size = 5000000000LL; // above 32 bits
        statistics.chunks = 3180;
        statistics.chunkSize = 1572864;
        statistics.fileName = QStringLiteral("a.zip");
        statistics.userId = 4711;
        statistics.initialLatency = 12;
        statistics.latency = 345;
        statistics.operatingSystem = QStringLiteral("debian 12 (0, x86_64)");
        statistics.clientIdentifier = QStringLiteral("fms-client");
        statistics.version = QStringLiteral("1.0.0.109");

        const Outcome outcome = run([&](CRestAPI& api) { api.uploadDownloadStatstics(statistics); });
        QCOMPARE(outcome.order.last(), QStringLiteral("succeed"));
        QCOMPARE(service().server().requests().first().path, QStringLiteral("/api/1/statistics/download"));

        const QList<QJsonObject> uploads = service().server().statisticsUploads();
        QCOMPARE(uploads.size(), 1);
        // Every member by its name, numbers as numbers.
        QCOMPARE(uploads.first(), (QJsonObject{{"server", "eu"},
                                               {"url", "http://host/packages/a.zip"},
                                               {"start", 1764999999123.0},
                                               {"end", 1765000001234.0},
                                               {"elapsed", 2111},
                                               {"size", 5000000000.0},
                                               {"chunks", 3180},
                                               {"chunk_size", 1572864},
                                               {"filename", "a.zip"},
                                               {"user_id", 4711},
                                               {"initialLatency", 12},
                                               {"latency", 345},
                                               {"operating_system", "debian 12 (0, x86_64)"},
                                               {"client_identifier", "fms-client"},
                                               {"version", "1.0.0.109"}}));
    }

private:
    struct Outcome
    {
        QStringList order; // "finished", "succeed", "failed" as they came
        QJsonDocument document;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        CRestFailure failure;
    };
    // Runs one call on a fresh CRestAPI and waits for its result.

    Outcome run(const std::function<void(CRestAPI&)>& call)
    {
        Outcome outcome;
        CRestAPI api;
        bool done = false;
        connect(&api, &CRestAPI::finished, this, [&]() { outcome.order << QStringLiteral("finished"); });
        connect(&api, &CRestAPI::succeed, this, [&](const QJsonDocument& document) {
            outcome.order << QStringLiteral("succeed");
            outcome.document = document;
            done = true;
        });
        connect(&api, &CRestAPI::failed, this, [&](QNetworkReply::NetworkError error, const QJsonDocument& document) {
            outcome.order << QStringLiteral("failed");
            outcome.error = error;
            outcome.document = document;
            done = true;
        });
        call(api);
        if (!QTest::qWaitFor([&done]() { return done; }, 30000))
            outcome.order << QStringLiteral("timed out");
        outcome.failure = api.lastFailure();
        return outcome;
    }
};

QTEST_GUILESS_MAIN(TestRestApi)
#include "tst_restapi.moc"
