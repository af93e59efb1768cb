#include "ctinyproxy.h"

#include "cclirun.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

QString CTinyProxy::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("tinyproxy"),
                                          {QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin")});
}

QHostAddress CTinyProxy::nonLoopbackAddress()
{
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() && !address.isLinkLocal())
            return address;
    }
    return QHostAddress();
}

bool CTinyProxy::start(const QHostAddress& address, const QString& user, const QString& password, QString* error)
{
    QTcpServer probe;
    if (program().isEmpty() || !probe.listen(address, 0)) {
        *error = program().isEmpty() ? QStringLiteral("tinyproxy is needed (scripts/setup installs it)")
                                     : QStringLiteral("no free port on ") + address.toString();
        return false;
    }
    m_address = address;
    m_port = probe.serverPort();
    probe.close();
    QFile config(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (!config.open(QIODevice::WriteOnly)) {
        *error = config.errorString();
        return false;
    }
    config.write(QStringLiteral("Port %1\nListen %2\nTimeout 30\nMaxClients 50\nLogLevel Info\nLogFile \"%3\"\n%4")
                     .arg(m_port)
                     .arg(host(), m_dir.filePath(QStringLiteral("tinyproxy.log")),
                          user.isEmpty() ? QString() : QStringLiteral("BasicAuth %1 %2\n").arg(user, password))
                     .toUtf8());
    config.close();

    // As the download tests' nginx: ended with the test's process, however that ends.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("setpriv"), {QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), program(),
                                                QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.waitForStarted(100) && m_process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(address, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    *error = QStringLiteral("tinyproxy did not start: ") + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

void CTinyProxy::stop()
{
    CCliRun::end(m_process);
}

QStringList CTinyProxy::requests() const
{
    static const QRegularExpression line(QStringLiteral(R"(Request \(file descriptor \d+\): (.+)$)"),
                                         QRegularExpression::MultilineOption);
    QFile log(m_dir.filePath(QStringLiteral("tinyproxy.log")));
    QStringList found;
    auto matches = line.globalMatch(log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString());
    while (matches.hasNext())
        found << matches.next().captured(1).trimmed();
    return found;
}
