#include "cclirun.h"
#include "ctestdatadir.h"

#include <QHostInfo>
#include <QTcpServer>
#include <QtTest>

// tessaray-cli download over HTTPS from nginx, with certificates of a test authority that reaches the program through
// TESSARAY_CA_FILE (make-https-site). One port serves two names with a certificate each, as content-delivery networks
// do: the second is reached only when the program sends the server name.
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
        QHostAddress address;
        for (const QHostAddress& candidate : QHostInfo::fromName(m_second).addresses())
            address = address.isNull() && candidate.protocol() == QAbstractSocket::IPv4Protocol ? candidate : address;
        QVERIFY2(m_second != QLatin1String("localhost") && !address.isNull(),
                 qPrintable(m_second + QStringLiteral(" has no IPv4 address")));
        QStringList arguments{m_dir.path(), m_second, address.toString()};
        for (int i = 0; i < 3; ++i) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            m_ports << probe.serverPort();
            arguments << QString::number(m_ports.last());
        }
        QCOMPARE(QProcess::execute(qEnvironmentVariable("TESSARAY_SOURCE_DIR") + "/tests/downloader/make-https-site",
                                   arguments),
                 0);
        QFile package(m_dir.filePath(QStringLiteral("www/package.zip")));
        m_content = QByteArray(300000, 'p') + "end";
        QVERIFY(package.open(QIODevice::WriteOnly) && package.write(m_content) == m_content.size());
        package.close();

        m_nginx.setProcessChannelMode(QProcess::MergedChannels);
        m_nginx.start(nginx, {QStringLiteral("-p"), m_dir.path(), QStringLiteral("-e"),
                              m_dir.filePath(QStringLiteral("error.log")), QStringLiteral("-c"),
                              m_dir.filePath(QStringLiteral("nginx.conf"))});
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
