#include "ccannedreplyserver.h"
#include "cservicetest.h"
#include "foundation/csettings.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QtTest>

namespace
{
const QString demoUser = QStringLiteral("demo");
const QString demoPassword = QStringLiteral("demo-pass-2612");
} // namespace

// The user session against the development service: both log-ins, what is stored and how, every failure,
// and that the token never reaches the settings file or the log in clear text.
class TestUser : public CServiceTest
{
    Q_OBJECT

private slots:
    void passwordLogInStoresCredentials()
    {
        CUser* user = CUser::instance();
        QSignalSpy tokens(user, &CUser::passwordAuthCompleted);

        const QList<Emission> emissions = collect([user]() { user->login(demoUser, demoPassword); });
        QCOMPARE(emissions.size(), 1);
        QVERIFY(emissions.first().completed);
        QCOMPARE(emissions.first().service, int(ERESTService::UserRecord));
        // The document is the token reply, with the record under "user".
        QCOMPARE(emissions.first().document[QStringLiteral("user")][QStringLiteral("user_id")].toInt(), 4711);

        QCOMPARE(user->state(), 1);
        QCOMPARE(user->userId(), 4711);
        QCOMPARE(user->userName(), demoUser);
        QCOMPARE(user->serverRegion(), QStringLiteral("eu"));
        QVERIFY(user->token().size() >= 32);
        QCOMPARE(tokens.count(), 1);
        QCOMPARE(tokens.first().at(0).toString(), user->token());

        // Regions first, then the token.
        const QList<CDevServerRequest> requests = service().server().requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).path, QStringLiteral("/api/1/download/regions"));
        QCOMPARE(requests.at(1).path, QStringLiteral("/API/1/token?grant_type=password"));
        QVERIFY(CNetworkStatus::instance()->findRegion(QStringLiteral("ap")));

        // Stored enciphered under the two keys.
        QCOMPARE(
            CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramToken), CCipherKeys::TokenKey),
            user->token());
        QCOMPARE(CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramUser),
                                                CCipherKeys::DefaultTextKey),
                 QStringLiteral("4711"));
        QVERIFY(!settingsFile().contains("4711"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<int>>("services");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("code"); // of the session's last failure: the HTTP status; 0 without a request

        const QString notFound = QStringLiteral("Access token was not found.");
        const QString noAddress = QStringLiteral("Unable to fetch server address.");

        QTest::newRow("nothing stored") << "nothing stored" << QList<int>{1} << QStringList{notFound} << 0 << 0;
        QTest::newRow("stored token but user 0") << "user zero" << QList<int>{1} << QStringList{notFound} << 0 << 0;
        QTest::newRow("stored values of another key")
            << "other key" << QList<int>{1} << QStringList{notFound} << 0 << 0;
        QTest::newRow("silent: regions fail") << "silent regions" << QList<int>{1} << QStringList{notFound} << 1 << 500;
        QTest::newRow("silent: user record fails")
            << "silent user" << QList<int>{1} << QStringList{noAddress} << 2 << 401;
        QTest::newRow("password: regions fail")
            << "password regions" << QList<int>{3}
            << QStringList{QStringLiteral("Unable to fetch server regions. Server returns: "
                                          "{\"error\":\"Internal Server Error\"}")}
            << 1 << 500;
        QTest::newRow("password: wrong password")
            << "password wrong" << QList<int>{0, 1}
            << QStringList{QStringLiteral("Username and password does not match."), noAddress} << 2 << 401;
    }
    void failures()
    {
        QFETCH(QString, situation);
        QFETCH(QList<int>, services);
        QFETCH(QStringList, messages);
        QFETCH(int, requests);
        QFETCH(int, code);

        CDevServerFault broken;
        broken.status = 500;
        const QString validToken =
            CDownloadLogUtils::encryptText(QStringLiteral("0123456789abcdef"), CCipherKeys::TokenKey);
        if (situation == QLatin1String("user zero")) {
            CSettings::setValue(SettingsKey::ProgramToken, validToken);
            CSettings::setValue(SettingsKey::ProgramUser, CDownloadLogUtils::encryptText(QStringLiteral("0")));
        } else if (situation == QLatin1String("other key")) {
            CSettings::setValue(
                SettingsKey::ProgramToken,
                CDownloadLogUtils::encryptText(QStringLiteral("0123"), QStringLiteral("00112233445566778899")));
            CSettings::setValue(SettingsKey::ProgramUser,
                                CDownloadLogUtils::encryptText(QStringLiteral("4711"), CCipherKeys::TokenKey));
        } else if (situation.startsWith(QLatin1String("silent"))) {
            CSettings::setValue(SettingsKey::ProgramToken, validToken); // not the service's token
            CSettings::setValue(SettingsKey::ProgramUser, CDownloadLogUtils::encryptText(QStringLiteral("4711")));
            if (situation == QLatin1String("silent regions"))
                service().server().setFault(QStringLiteral("/api/1/download/regions"), broken);
        } else if (situation == QLatin1String("password regions")) {
            service().server().setFault(QStringLiteral("/api/1/download/regions"), broken);
        }
        const QByteArray settingsBefore = settingsFile();

        CUser* user = CUser::instance();
        const QList<Emission> emissions = collect([&]() {
            if (situation.startsWith(QLatin1String("password")))
                user->login(demoUser,
                            situation == QLatin1String("password wrong") ? QStringLiteral("wrong") : demoPassword);
            else
                user->restoreLogIn({QStringLiteral("tessaray")});
        });

        QCOMPARE(emissions.size(), services.size());
        for (int i = 0; i < emissions.size(); ++i) {
            QVERIFY(!emissions.at(i).completed);
            QCOMPARE(emissions.at(i).service, services.at(i));
            QCOMPARE(emissions.at(i).message, messages.at(i));
            // The document is of the program's own making: one member.
            QCOMPARE(emissions.at(i).document.object().keys(), QStringList{QStringLiteral("error")});
        }
        QCOMPARE(service().server().requests().size(), requests);
        QCOMPARE(user->state(), 0);
        QCOMPARE(user->userId(), -1);
        QCOMPARE(settingsFile(), settingsBefore);
        QCOMPARE(user->lastFailure().code(), code);
    }

    void unusableUserRepliesChangeNothing_data()
    {
        QTest::addColumn<bool>("password"); // the password log-in's token reply, or the silent log-in's user reply
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("problem");

        // The demo record with `changes` made and the member `removed` left out.
        const auto reply = [](bool password, const QJsonObject& changes, const QString& removed = QString()) {
            QJsonObject record{{"username", "demo"},       {"first_name", "Dana"}, {"last_name", "Demo"},
                               {"preferred_region", "eu"}, {"user_id", 4711},      {"token", "0123456789abcdef"}};
            if (!password)
                record.remove(QStringLiteral("token"));
            for (auto it = changes.begin(); it != changes.end(); ++it)
                record.insert(it.key(), it.value());
            record.remove(removed);
            return QJsonDocument(password ? QJsonObject{{"user", record}} : record).toJson();
        };
        const QString notObject = QStringLiteral("is not a JSON object");

        QTest::newRow("password: empty body") << true << QByteArray() << notObject;
        QTest::newRow("password: an array") << true << QByteArray("[{\"user_id\": 4711}]") << notObject;
        QTest::newRow("password: no user record") << true << QByteArray("{\"token\": \"abc\"}") << "\"user\"";
        QTest::newRow("password: user id 0") << true << reply(true, {{"user_id", 0}}) << "\"user_id\"";
        QTest::newRow("password: user id as text") << true << reply(true, {{"user_id", "4711"}}) << "\"user_id\"";
        QTest::newRow("password: no user id") << true << reply(true, {}, "user_id") << "\"user_id\"";
        QTest::newRow("password: empty token") << true << reply(true, {{"token", " "}}) << "\"token\"";
        QTest::newRow("password: token as a number") << true << reply(true, {{"token", 12345}}) << "\"token\"";
        QTest::newRow("password: user name as a number") << true << reply(true, {{"username", 7}}) << "\"username\"";
        QTest::newRow("silent: empty body") << false << QByteArray() << notObject;
        QTest::newRow("silent: fractional user id") << false << reply(false, {{"user_id", 4711.5}}) << "\"user_id\"";
        QTest::newRow("silent: user id beyond int")
            << false << reply(false, {{"user_id", 4294967296.0}}) << "\"user_id\"";
        QTest::newRow("silent: first name null")
            << false << reply(false, {{"first_name", QJsonValue()}}) << "\"first_name\"";
    }
    void unusableUserRepliesChangeNothing()
    {
        QFETCH(bool, password);
        QFETCH(QByteArray, body);
        QFETCH(QString, problem);

        const QString token = logIn();
        QVERIFY(!token.isEmpty());
        CUser* user = CUser::instance();

        CCannedReplyServer canned;
        canned.setReply(QStringLiteral("/api/1/download/regions"), {200, "[]", -1});
        canned.setReply(password ? QStringLiteral("/API/1/token") : QStringLiteral("/API/1/users/4711"),
                        {200, body, -1});
        CSettings::setValue(SettingsKey::ServerAddress, canned.baseUrl());
        const QByteArray settingsBefore = settingsFile();

        const QList<Emission> emissions = collect([&]() {
            if (password)
                user->login(demoUser, demoPassword);
            else
                user->restoreLogIn({QStringLiteral("tessaray")});
        });
        QCOMPARE(canned.requests().size(), 2);
        QCOMPARE(emissions.size(), 1);
        QVERIFY(!emissions.first().completed);
        QCOMPARE(emissions.first().service, int(ERESTService::UserRecord));
        QVERIFY2(emissions.first().message.contains(problem), qPrintable(emissions.first().message));
        QCOMPARE(user->lastFailure().code(), int(QNetworkReply::ProtocolFailure));

        // The stored log-in and the session in memory are those of the log-in before.
        QCOMPARE(settingsFile(), settingsBefore);
        QCOMPARE(user->token(), token);
        QCOMPARE(user->userId(), 4711);
        QCOMPARE(user->userName(), demoUser);
        QCOMPARE(user->state(), 1);
    }

    void chosenRegionIsKept_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("region");

        QTest::newRow("none chosen: the account's") << QString() << "eu";
        QTest::newRow("blank: the account's") << "   " << QStringLiteral("eu");
        QTest::newRow("chosen stays") << "na" << QStringLiteral("na");
    }
    void chosenRegionIsKept()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, region);

        QVERIFY(!logIn().isEmpty());
        CUser::resetInstance();
        if (!chosen.isNull())
            CSettings::setValue(SettingsKey::ServerRegion, chosen);

        const QList<Emission> emissions = collect([]() { CUser::instance()->restoreLogIn({}); });
        QCOMPARE(emissions.size(), 1);
        QVERIFY(emissions.first().completed);
        QCOMPARE(CUser::instance()->serverRegion(), region);
        // The region is read, never written, by the session.
        QCOMPARE(CSettings::stringValue(SettingsKey::ServerRegion), chosen.isNull() ? QString() : chosen);
    }

    void argumentsOverrideStoredValues_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("loggedIn");

        // The next start: a fresh session logs in with what the last one stored.
        QTest::newRow("no arguments") << QStringList{"tessaray"} << true;
        QTest::newRow("forced token wins over the stored one")
            << QStringList{"tessaray", "--force-token=<service>"} << true;
        QTest::newRow("forced token, trimmed") << QStringList{"tessaray", "--force-token=  <service> "} << true;
        QTest::newRow("forced wrong token") << QStringList{"tessaray", "--force-token=bad"} << false;
        QTest::newRow("first forced token counts")
            << QStringList{"tessaray", "--force-token=<service>", "--force-token=bad"} << true;
        QTest::newRow("option names are case-sensitive") << QStringList{"tessaray", "--FORCE-TOKEN=bad"} << true;
        QTest::newRow("forced user id 0 is ignored") << QStringList{"tessaray", "--force-user-id=0"} << true;
        QTest::newRow("forced user id not a number is ignored")
            << QStringList{"tessaray", "--force-user-id=abc"} << true;
        QTest::newRow("forced other user id") << QStringList{"tessaray", "--force-user-id=4712"} << false;
    }
    void argumentsOverrideStoredValues()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, loggedIn);

        const QString token = logIn();
        QVERIFY(!token.isEmpty());
        // The stored token is one the service does not know: only a forced right one logs in then.
        const bool forcesToken = arguments.join(QLatin1Char(' ')).contains(QStringLiteral("--force-token=<service>"));
        if (forcesToken)
            CSettings::setValue(SettingsKey::ProgramToken,
                                CDownloadLogUtils::encryptText(QStringLiteral("stale"), CCipherKeys::TokenKey));
        arguments.replaceInStrings(QStringLiteral("<service>"), token);
        CUser::resetInstance();

        const QList<Emission> emissions = collect([&]() { CUser::instance()->restoreLogIn(arguments); });
        QVERIFY(!emissions.isEmpty());
        QCOMPARE(emissions.first().completed, loggedIn);
        if (loggedIn) {
            QCOMPARE(CUser::instance()->token(), token);
            QCOMPARE(CUser::instance()->userId(), 4711);
            QCOMPARE(CUser::instance()->userName(), demoUser);
            QCOMPARE(CUser::instance()->state(), 1);
        } else {
            QCOMPARE(emissions.first().message, QStringLiteral("Unable to fetch server address."));
        }
    }

    void tokenNeverInClearText()
    {
        const QString token = logIn();
        QVERIFY(!token.isEmpty());
        // A restart restores the log-in from the stored values. (The download address request that carries the
        // token in its path is logged with "<token>": tst_restapi.)
        CUser::resetInstance();
        QCOMPARE(collect([]() { CUser::instance()->restoreLogIn({}); }).size(), 1);

        const QString log = logText();
        QVERIFY2(!log.contains(token), qPrintable(log));
        QVERIFY(!settingsFile().contains(token.toLatin1()));
        // Nothing else below the data directory holds it either.
        QDirIterator files(data().path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            QVERIFY2(!CTestDataDir::readFile(files.next()).contains(token.toLatin1()), qPrintable(files.filePath()));
    }

private:
    struct Emission
    {
        bool completed = false;
        int service = -1;
        QString message; // the "error" member, for failures
        QJsonDocument document;
    };
    // Runs `start` on the session and collects its emissions until the first success, or until the
    // service has had time to answer everything.

    QList<Emission> collect(const std::function<void()>& start)
    {
        QList<Emission> emissions;
        CUser* user = CUser::instance();
        QMetaObject::Connection completed =
            connect(user, &CUser::onRESTCompleted, this, [&](ERESTService service, const QJsonDocument& content) {
                emissions.append({true, int(service), QString(), content});
            });
        QMetaObject::Connection failed =
            connect(user, &CUser::onRESTError, this, [&](ERESTService service, const QJsonDocument& error) {
                emissions.append(
                    {false, int(service), error.object().value(QStringLiteral("error")).toString(), error});
            });
        start();
        // A failure may be followed by a second one; give the service time to have answered every request.
        if (!QTest::qWaitFor([&]() { return !emissions.isEmpty(); }, 30000))
            qWarning("The session did not answer in time.");
        if (!emissions.isEmpty() && !emissions.last().completed)
            QTest::qWait(300);
        disconnect(completed);
        disconnect(failed);
        return emissions;
    }
    // Logs in with the demo account; returns the token the service handed out.

    QString logIn()
    {
        const QList<Emission> emissions = collect([]() { CUser::instance()->login(demoUser, demoPassword); });
        if (emissions.size() != 1 || !emissions.first().completed)
            return QString();
        return CUser::instance()->token();
    }
};

QTEST_GUILESS_MAIN(TestUser)
#include "tst_user.moc"
