#include "cclirun.h"
#include "ctestdatadir.h"

#include <QHostInfo>
#include <QTcpServer>
#include <QtTest>

// tessaray-cli download over HTTPS from nginx, with certificates of a test authority (make-test-certificates)
// that reaches the program through TESSARAY_CA_FILE. One port serves two names with a certificate each, as
// content-delivery networks do: the second is reached only when the program sends the server name.
class TestHttps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
        if (nginx.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            QSKIP("nginx and openssl are needed (scripts/setup installs them)");
        // The second name: this machine's, which the system resolves without a name server.
        m_second = QHostInfo::localHostName();
        QString listen = QStringLiteral("listen 127.0.0.1:%1 ssl; ");
        for (const QHostAddress& address : QHostInfo::fromName(m_second).addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && address != QHostAddress::LocalHost)
                listen += QStringLiteral("listen %1:%2 ssl; ").arg(address.toString(), QStringLiteral("%1"));
        }
        QVERIFY2(m_second != QLatin1String("localhost") && QHostInfo::fromName(m_second).error() == QHostInfo::NoError,
                 qPrintable(m_second + QStringLiteral(" does not resolve")));
        const QString d = m_dir.path();
        QCOMPARE(QProcess::execute(QString::fromLocal8Bit(qgetenv("TESSARAY_SOURCE_DIR")) +
                                       QStringLiteral("/tests/downloader/make-test-certificates"),
                                   {d, m_second}),
                 0);

        // The shared port, one whose certificate has expired, one whose certificate is for the second name.
        for (int i = 0; i < 3; ++i) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            m_ports << probe.serverPort();
        }
        const auto server = [&d](const QString& listen, const QString& name, const QString& certificate) {
            return QStringLiteral("server { %1 server_name %2; ssl_certificate %3/%4.pem; "
                                  "ssl_certificate_key %3/%4.key; root %3/www; }\n")
                .arg(listen, name, d, certificate);
        };
        const QString config =
            QStringLiteral("daemon off; master_process off; pid %1/nginx.pid; error_log %1/error.log;\n"
                           "events {} http { access_log off; client_body_temp_path %1/body; proxy_temp_path %1/proxy; "
                           "fastcgi_temp_path %1/fastcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n")
                .arg(d) +
            server(listen.arg(m_ports[0]), QStringLiteral("localhost"), QStringLiteral("first")) +
            server(listen.arg(m_ports[0]), m_second, QStringLiteral("second")) +
            server(QStringLiteral("listen 127.0.0.1:%1 ssl;").arg(m_ports[1]), QStringLiteral("_"),
                   QStringLiteral("expired")) +
            server(QStringLiteral("listen 127.0.0.1:%1 ssl;").arg(m_ports[2]), QStringLiteral("_"),
                   QStringLiteral("second")) +
            QStringLiteral("}\n");
        QDir(d).mkpath(QStringLiteral("www"));
        m_content = QByteArray(300000, 'p') + "end";
        QVERIFY(write(m_dir.filePath(QStringLiteral("nginx.conf")), config.toUtf8()) &&
                write(m_dir.filePath(QStringLiteral("www/package.zip")), m_content));

        m_nginx.setProcessChannelMode(QProcess::MergedChannels);
        m_nginx.start(nginx, {QStringLiteral("-p"), d, QStringLiteral("-e"), d + QStringLiteral("/error.log"),
                              QStringLiteral("-c"), d + QStringLiteral("/nginx.conf")});
        QTRY_VERIFY2_WITH_TIMEOUT(listening(), qPrintable(m_nginx.readAll()), 10000);
    }

    void cleanupTestCase()
    {
        m_nginx.terminate();
        m_nginx.waitForFinished(5000);
    }

    void certificates_data()
    {
        QTest::addColumn<QString>("host"); // %1: the second name
        QTest::addColumn<int>("port");     // index into m_ports
        QTest::addColumn<bool>("withAuthority");
        QTest::addColumn<QString>("error"); // empty: the download succeeds

        QTest::newRow("first name on the shared port") << "localhost" << 0 << true << QString();
        QTest::newRow("second name on the shared port") << "%1" << 0 << true << QString();
        QTest::newRow("authority not given")
            << "%1" << 0 << false
            << "The certificate of %1 is not trusted: its issuer \"Tessaray Test CA\" is not a certificate authority "
               "of this system.";
        QTest::newRow("expired") << "localhost" << 1 << true
                                 << "The certificate of localhost has expired (on 2020-02-01).";
        QTest::newRow("for another name")
            << "localhost" << 2 << true << "The certificate of localhost is for another name (%1).";
    }
    void certificates()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, withAuthority);
        QFETCH(QString, error);

        CTestDataDir data;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("https_proxy"));
        if (withAuthority)
            environment.insert(QStringLiteral("TESSARAY_CA_FILE"), m_dir.filePath(QStringLiteral("ca.pem")));
        const QString url = QStringLiteral("https://%1:%2/package.zip")
                                .arg(host.replace(QStringLiteral("%1"), m_second))
                                .arg(m_ports.at(port));
        const QString target = data.filePath(QStringLiteral("package.zip"));

        const CCliRun run = CCliRun::run({QStringLiteral("download"), url, target}, QByteArray(), environment);
        if (error.isEmpty()) {
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QCOMPARE(CTestDataDir::readFile(target), m_content);
        } else {
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains(error.replace(QStringLiteral("%1"), m_second)), qPrintable(run.err));
            QVERIFY(!QFile::exists(target));
        }
    }

private:
    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    bool listening() const
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_ports.at(2));
        return socket.waitForConnected(100);
    }

    QTemporaryDir m_dir;
    QProcess m_nginx;
    QString m_second;
    QList<quint16> m_ports;
    QByteArray m_content;
};

QTEST_MAIN(TestHttps)
#include "tst_https.moc"
