#include "cservicetest.h"
#include "foundation/csettings.h"
#include "model/cinitializer.h"
#include "version.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cuser.h"

#include <QTcpServer>
#include <QtTest>

#include <algorithm>

// The start-up sequence against the development service: what the window model hears, in order, and how
// often the stored log-in is restored, including a restart (as when the network comes back) after or
// during a run.
class TestInitializer : public CServiceTest
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        CInitializer::resetInstance();
        CServiceTest::cleanup();
    }

    void sequence_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("logIns"); // user record requests
        QTest::addColumn<QString>("logged");

        const QString ok = QStringLiteral("completed true"), failed = QStringLiteral("completed false");
        const QString cycleRecord = QStringLiteral("] - CInitializer::onDataCycleError [cinitializer:");
        QTest::newRow("stored log-in") << "stored" << QStringList{ok} << 1 << QString();
        QTest::newRow("restart after the run") << "restart" << QStringList{ok, ok} << 2 << QString();
        QTest::newRow("restart during the run") << "overlap" << QStringList{ok, ok} << 2 << QString();
        QTest::newRow("password log-in") << "password" << QStringList{"password token", ok} << 0 << QString();
        QTest::newRow("cycle fetch fails")
            << "cycle 500" << QStringList{"error 401/8: HTTP 500 Internal Server Error", failed} << 0
            << "[8][401" + cycleRecord;
        QTest::newRow("service unreachable")
            << "unreachable" << QStringList{"error 1/8: Connection refused", failed} << 0 << "[8][1" + cycleRecord;
        QTest::newRow("no stored log-in")
            << "none" << QStringList{"error 1/6: {\"error\":\"Access token was not found.\"}", failed} << 0
            << QString();
        QTest::newRow("stored log-in refused")
            << "refused" << QStringList{"error 1/6: {\"error\":\"Unable to fetch server address.\"}", failed} << 1
            << QString();
    }
    void sequence()
    {
        QFETCH(QString, situation);
        QFETCH(QStringList, events);
        QFETCH(int, logIns);
        QFETCH(QString, logged);

        QTcpServer closed;
        CDevServerFault broken;
        broken.status = 500;
        if (QStringList{"stored", "restart", "overlap"}.contains(situation)) {
            QVERIFY(logIn());
        } else if (situation == QLatin1String("refused")) { // a token the service never handed out
            CSettings::setValue(
                SettingsKey::ProgramToken,
                CDownloadLogUtils::encryptText(QStringLiteral("0123456789abcdef"), CCipherKeys::TokenKey));
            CSettings::setValue(SettingsKey::ProgramUser, CDownloadLogUtils::encryptText(QStringLiteral("4711")));
        } else if (situation == QLatin1String("cycle 500")) {
            service().server().setFault(QStringLiteral("/api/1/fmsdata/cycles/current"), broken);
        } else if (situation == QLatin1String("unreachable")) {
            QVERIFY(closed.listen(QHostAddress::LocalHost)); // a port where nobody answers once it is closed
            CSettings::setValue(SettingsKey::ServerAddress,
                                QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
            closed.close();
        }
        if (events.first().startsWith(QLatin1String("error 1/6"))) // the session's answer goes to the debug output
            QTest::ignoreMessage(QtDebugMsg, qPrintable(events.first().section(QStringLiteral(": "), 1)));

        CInitializer* initializer = CInitializer::instance();
        QStringList heard;
        connect(initializer, &CInitializer::error, this, [&](const Exception& ex) {
            heard << QStringLiteral("error %1/%2: %3").arg(ex.errorNumber).arg(ex.errorLevel).arg(ex.message);
        });
        connect(initializer, &CInitializer::completed, this,
                [&](bool succeed) { heard << QStringLiteral("completed %1").arg(succeed ? "true" : "false"); });
        connect(initializer, &CInitializer::passwordAuthCompleted, this, [&](const QString& token) {
            heard << (token == CUser::instance()->token() ? QStringLiteral("password token") : token);
        });
        if (situation == QLatin1String("password"))
            CUser::instance()->login(QStringLiteral("demo"), QStringLiteral("demo-pass-2612"));
        else
            initializer->initialize();
        if (situation == QLatin1String("restart"))
            QTRY_VERIFY_WITH_TIMEOUT(!heard.isEmpty(), 30000);
        if (situation == QLatin1String("restart") || situation == QLatin1String("overlap"))
            initializer->initialize();
        QTRY_COMPARE_WITH_TIMEOUT(heard.filter(QStringLiteral("completed")).size(),
                                  events.filter(QStringLiteral("completed")).size(), 30000);
        QTest::qWait(500); // anything more would be a second report

        QCOMPARE(heard, events);
        const QList<CDevServerRequest> requests = service().server().requests();
        QCOMPARE(int(std::count_if(requests.cbegin(), requests.cend(),
                                   [](const CDevServerRequest& r) { return r.path.startsWith("/API/1/users/"); })),
                 logIns);
        QVERIFY2(logText().contains(logged), qPrintable(logText()));
        if (situation != QLatin1String("password"))
            QCOMPARE(CSettings::stringValue(SettingsKey::ProgramVersion), QStringLiteral(TESSARAY_VERSION));
    }

private:
    // Stores the demo account's log-in, as an earlier run would have.
    bool logIn()
    {
        QSignalSpy done(CUser::instance(), &CUser::onRESTCompleted);
        CUser::instance()->login(QStringLiteral("demo"), QStringLiteral("demo-pass-2612"));
        const bool stored = done.wait(30000);
        CUser::resetInstance();
        service().server().clearRequests();
        return stored;
    }
};

QTEST_GUILESS_MAIN(TestInitializer)
#include "tst_initializer.moc"
