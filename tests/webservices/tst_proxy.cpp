#include "cclirun.h"
#include "cservicetest.h"
#include "ctinyproxy.h"
#include "downloader/chttpdownloadmanager.h"
#include "foundation/csettings.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cnetworkaccess.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/crestapi.h"

#include <QtTest>

// The proxy entered in the settings, or else the system's, carries every request: tinyproxy plays it, and
// the development service is reached by a non-loopback address, which the program does not send past it.
class TestProxy : public CServiceTest
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (CTinyProxy::program().isEmpty())
            QSKIP("tinyproxy is not installed (scripts/setup installs it)");
        m_address = CTinyProxy::nonLoopbackAddress();
        QVERIFY2(!m_address.isNull(), "this machine has no address other than loopback ones");
    }

    void init()
    {
        CServiceTest::init();
        if (QTest::currentTestFailed())
            return;
        service().server().stop();
        QVERIFY(service().server().start(0, m_address));
        m_base = QStringLiteral("http://%1:%2").arg(m_address.toString()).arg(service().server().port());
        CSettings::setValue(SettingsKey::ServerAddress, m_base);
        m_package = m_base + QStringLiteral("/packages/") +
                    QDir(serviceRoot() + QStringLiteral("/packages")).entryList({QStringLiteral("*.zip")}).value(0);
        CNetworkAccess::setProxyCredentialsPrompt(nullptr, {});
        m_proxy = std::make_unique<CTinyProxy>();
    }

    void carriesEveryRequest_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("entered"); // else only http_proxy names it
        QTest::newRow("entered") << QString() << true;
        QTest::newRow("entered, Basic authentication") << QStringLiteral("alice") << true;
        QTest::newRow("the system's") << QString() << false;
    }
    void carriesEveryRequest()
    {
        QFETCH(QString, user);
        QFETCH(bool, entered);
        QVERIFY(startProxy(user, QStringLiteral("pa55-word"), user, QStringLiteral("pa55-word")));
        CSettings::setValue(SettingsKey::EnableProxy, entered);
        QProcessEnvironment environment = withoutProxyVariables();
        if (!entered)
            environment.insert(QStringLiteral("http_proxy"),
                               QStringLiteral("http://%1:%2").arg(m_proxy->host()).arg(m_proxy->port()));
        QTemporaryDir target;
        for (const QStringList& command : {QStringList{"login", "demo", "--password-stdin"},
                                           QStringList{"index", "refresh"},
                                           {"download", m_package, target.path()}}) {
            const CCliRun run = CCliRun::run(command, "demo-pass-2612\n", environment);
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        }
        const QString carried = m_proxy->requests().join(QLatin1Char('\n'));
        for (const QString& request : {"POST " + m_base + "/API/1/token", "GET " + m_base + "/api/1/fmsdata/index",
                                       "GET " + m_base + "/data.index", "HEAD " + m_package, "GET " + m_package})
            QVERIFY2(carried.contains(request, Qt::CaseInsensitive), qPrintable(request + " not in:\n" + carried));
        // Nothing went past it.
        for (const CDevServerRequest& request : service().server().requests())
            QVERIFY2(request.headers.value(QStringLiteral("via")).contains(QLatin1String("tinyproxy")),
                     qPrintable(request.path));
    }

    void failuresNameTheProxy_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("storedPassword"); // empty: no user name and password stored
        QTest::addColumn<QString>("message");        // %1 the proxy's host and port

        QTest::newRow("wrong password") << true << "wrong"
                                        << "The proxy %1 refused the user name and password of the settings.";
        QTest::newRow("none stored") << true << QString()
                                     << "The proxy %1 asks for a user name and password, and the settings hold none.";
        QTest::newRow("unreachable") << false << QString() << "The proxy %1 refused the connection.";
    }
    void failuresNameTheProxy()
    {
        QFETCH(bool, running);
        QFETCH(QString, storedPassword);
        QFETCH(QString, message);
        QVERIFY(startProxy(QStringLiteral("alice"), QStringLiteral("right"),
                           storedPassword.isEmpty() ? QString() : QStringLiteral("alice"), storedPassword));
        if (!running)
            m_proxy->stop();
        message = message.arg(CNetworkAccess::proxyName(CNetworkAccess::proxyFor(QUrl(m_base))));

        // The web service and the download engine alike.
        QTemporaryDir target;
        for (const QStringList& command : {QStringList{"cycle"}, QStringList{"download", m_package, target.path()}}) {
            const CCliRun run = cli(command);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains(message), qPrintable(run.err));
        }
        QVERIFY(QDir(target.path()).isEmpty());
        // The probe does not take the proxy's failure for a missing Internet connection, and says what it met.
        QSignalSpy answered(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged);
        CNetworkStatus::instance()->check();
        QVERIFY(answered.wait(20000));
        QCOMPARE(answered.first().first().toBool(), true);
        QCOMPARE(CNetworkStatus::instance()->lastProblem(), message);
    }

    // The window's prompt is asked once for the requests that meet the proxy together, on the window's thread
    // whichever thread asks, and its answer is stored enciphered. Declined, the requests fail.
    void promptAsksOnce_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("answered") << true;
        QTest::newRow("declined") << false;
    }
    void promptAsksOnce()
    {
        QFETCH(bool, answer);
        QVERIFY(startProxy(QStringLiteral("alice"), QStringLiteral("pa55-word"), QString(), QString()));
        QStringList asked;
        CNetworkAccess::setProxyCredentialsPrompt(this, [&](const QString& name, QString* user, QString* password) {
            asked << name + (QThread::currentThread() == thread() ? QString() : QStringLiteral(" off its thread"));
            *user = QStringLiteral("alice");
            *password = QStringLiteral("pa55-word");
            return answer;
        });

        // Two web-service requests on this thread, and a download whose workers have threads of their own.
        QList<int> results; // 0 for a success, else the network error
        for (int i = 0; i < 2; ++i) {
            auto* api = new CRestAPI(this);
            connect(api, &CRestAPI::succeed, this, [&]() { results << 0; });
            connect(api, &CRestAPI::failed, this, [&](QNetworkReply::NetworkError code) { results << code; });
            api->getCurrentDataCycle();
        }
        QTemporaryDir target;
        CHttpDownloadManager manager;
        int downloadError = -1;
        connect(&manager, &CHttpDownloadManager::finished, this,
                [&](QString&, CNetworkError& error) { downloadError = error.code(); });
        QVERIFY(manager.appendTask(m_package, target.filePath(QStringLiteral("package.zip")), 3));
        manager.startTask(m_package);
        QTRY_VERIFY_WITH_TIMEOUT(results.size() == 2 && downloadError >= 0, 30000);

        QCOMPARE(asked, QStringList{CNetworkAccess::proxyName(CNetworkAccess::proxyFor(QUrl(m_base)))});
        const int refused = answer ? 0 : int(QNetworkReply::ProxyAuthenticationRequiredError);
        QCOMPARE(results, (QList<int>{refused, refused}));
        QCOMPARE(downloadError, answer ? 0 : int(CNetworkError::OwnError));
        const QString stored = CSettings::stringValue(SettingsKey::ProxyPassword);
        QVERIFY(!stored.contains(QLatin1String("pa55")));
        QCOMPARE(CDownloadLogUtils::decryptText(stored), answer ? QStringLiteral("pa55-word") : QString());
    }

private:
    // Starts tinyproxy (asking for `user` and `password` when a user is given) and enters it in the settings
    // with `storedUser` and `storedPassword`.
    bool startProxy(const QString& user, const QString& password, const QString& storedUser,
                    const QString& storedPassword)
    {
        QString error;
        if (!m_proxy->start(m_address, user, password, &error)) {
            qWarning().noquote() << error;
            return false;
        }
        CSettings::setValue(SettingsKey::EnableProxy, true);
        CSettings::setValue(SettingsKey::ProxyAddress, m_proxy->host());
        CSettings::setValue(SettingsKey::ProxyPort, m_proxy->port());
        CSettings::setValue(SettingsKey::ProxyUseAuth, !storedUser.isEmpty());
        CSettings::setValue(SettingsKey::ProxyUserName, storedUser);
        CSettings::setValue(SettingsKey::ProxyPassword, CDownloadLogUtils::encryptText(storedPassword));
        return true;
    }

    static QProcessEnvironment withoutProxyVariables()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy"}) {
            environment.remove(QString::fromLatin1(name));
            environment.remove(QString::fromLatin1(name).toUpper());
        }
        return environment;
    }

    static CCliRun cli(const QStringList& arguments, const QByteArray& input = QByteArray())
    {
        return CCliRun::run(arguments, input, withoutProxyVariables());
    }

    QHostAddress m_address;
    QString m_base;
    QString m_package;
    std::unique_ptr<CTinyProxy> m_proxy;
};

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
