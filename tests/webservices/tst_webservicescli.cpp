#include "ccannedreplyserver.h"
#include "cclirun.h"
#include "cservicetest.h"
#include "foundation/csettings.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"

#include <QtTest>

// tessaray-cli login, logout, whoami and cycle as a shell runs them, against the development service.
class TestWebServicesCli : public CServiceTest
{
    Q_OBJECT

private slots:
    void cycle()
    {
        CCliRun run = cli({QStringLiteral("cycle")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("2612\tAIRAC cycle 2612\t2026-11-26\t2026-12-23\n"));
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));

        run = cli({QStringLiteral("cycle"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject cycle = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(cycle.value(QStringLiteral("cycle")).toInt(), 2612);
        QCOMPARE(cycle.value(QStringLiteral("end")).toString(), QStringLiteral("2026-12-23"));
    }

    void accountRoundTrip()
    {
        CCliRun run = cli({QStringLiteral("login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")},
                          "demo-pass-2612\n");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("demo\t4711\teu\n"));
        // The shell sees no reply bodies and no token.
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QString token =
            CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramToken), CCipherKeys::TokenKey);
        QVERIFY(token.size() >= 32);

        CSettings::setValue(SettingsKey::ServerRegion, QStringLiteral("ap"));
        run = cli({QStringLiteral("whoami")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("demo\t4711\tap\n"));
        run = cli({QStringLiteral("whoami"), QStringLiteral("--json")});
        QCOMPARE(QJsonDocument::fromJson(run.out).object().value(QStringLiteral("last_name")).toString(),
                 QStringLiteral("Demo"));

        run = cli({QStringLiteral("logout")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(!CSettings::contains(SettingsKey::ProgramToken) && !CSettings::contains(SettingsKey::ProgramUser));
        QCOMPARE(CSettings::stringValue(SettingsKey::ServerRegion), QStringLiteral("ap")); // the user's choice stays
        run = cli({QStringLiteral("whoami")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("error 1: Access token was not found.\n"));
        QVERIFY(run.out.isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("firstErrorLine");

        const auto row = [](const char* name, const QStringList& arguments, const QByteArray& input, int exitCode,
                            const QString& firstErrorLine) {
            QTest::newRow(name) << arguments << input << exitCode << firstErrorLine;
        };
        const QStringList login{"login", "demo", "--password-stdin"};
        row("wrong password", login, "nope\n", 1,
            "error 401: Username and password does not match. (HTTP 401 Unauthorized)");
        row("password with CRLF still right", login, "demo-pass-2612\r\n", 0, QString());
        row("no user name", {"login", "--password-stdin"}, "x\n", 2, "login takes exactly one USERNAME.");
        row("stdin not a terminal", {"login", "demo"}, "x\n", 2,
            "stdin is not a terminal: pass --password-stdin to read the password from it.");
        row("nothing on stdin", login, "", 1, "error 1: No password on stdin.");
        row("bad time-out", {"cycle", "--timeout", "0"}, "", 2, "--timeout takes a number of seconds from 1 to 86400.");
        row("stray argument", {"logout", "now"}, "", 2, "logout takes no arguments.");
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, firstErrorLine);

        const CCliRun run = cli(arguments, input);
        QCOMPARE(run.exitCode, exitCode);
        if (!firstErrorLine.isEmpty())
            QCOMPARE(run.err.section(QLatin1Char('\n'), 0, 0), firstErrorLine);
        if (exitCode != 0)
            QVERIFY(!CSettings::contains(SettingsKey::ProgramToken));
    }

    void failuresNameTheirCause_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("server"); // "500", "empty" (a 200 with "{}"), "stopped"
        QTest::addColumn<QString>("error");  // the whole of stderr; %1 the server address

        const auto row = [](const char* name, const QString& command, const QString& server, const QString& error) {
            QTest::newRow(name) << command << server << error;
        };
        row("cycle: HTTP 500", "cycle", "500",
            "error 500: The current cycle could not be fetched from %1: HTTP 500 Internal Server Error.\n");
        row("cycle: reply without a cycle", "cycle", "empty",
            "error 399: The current cycle could not be fetched from %1. The web service's cycle reply has no member "
            "\"Cycle\" that is a positive decimal number in text.\n");
        row("cycle: nobody listening", "cycle", "stopped",
            "error 1: The current cycle could not be fetched from %1: Connection refused.\n");
        row("whoami: empty user record", "whoami", "empty",
            "error 399: The web service's user reply has no member \"username\" that is a text.\n");
        row("whoami: HTTP 500", "whoami", "500",
            "error 500: Access token was not found. (HTTP 500 Internal Server Error)\n");
    }
    void failuresNameTheirCause()
    {
        QFETCH(QString, command);
        QFETCH(QString, server);
        QFETCH(QString, error);

        QVERIFY(cli({QStringLiteral("login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")},
                    "demo-pass-2612\n")
                    .exitCode == 0);
        CCannedReplyServer canned;
        canned.setReply(QStringLiteral("/api/1/download/regions"), {200, "[]", -1});
        canned.setReply(QStringLiteral("/API/1/users/4711"), {200, "{}", -1});
        canned.setReply(QStringLiteral("/api/1/fmsdata/cycles/current"), {200, "{}", -1});
        if (server == QLatin1String("500")) {
            CDevServerFault broken;
            broken.status = 500;
            service().server().setFault(QString(), broken);
        } else if (server == QLatin1String("empty")) {
            CSettings::setValue(SettingsKey::ServerAddress, canned.baseUrl());
        } else {
            service().server().stop();
        }
        const QByteArray settingsBefore = settingsFile();

        const CCliRun run = cli({command});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err,
                 QString(error).replace(QStringLiteral("%1"), CSettings::stringValue(SettingsKey::ServerAddress)));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(settingsFile(), settingsBefore);
    }

private:
    CCliRun cli(const QStringList& arguments, const QByteArray& input = QByteArray()) const
    {
        return CCliRun::run(QStringList{QStringLiteral("--data-dir"), data().path()} + arguments, input);
    }
};

QTEST_GUILESS_MAIN(TestWebServicesCli)
#include "tst_webservicescli.moc"
