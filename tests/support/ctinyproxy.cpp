#include "ctinyproxy.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

CTinyProxy::~CTinyProxy()
{
    stop();
}

QString CTinyProxy::program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("tinyproxy"), {QStringLiteral("/usr/sbin")})
                           : found;
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
    const auto failed = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (program().isEmpty())
        return failed(QStringLiteral("tinyproxy is needed (scripts/setup installs it)"));
    QTcpServer probe;
    if (!probe.listen(address, 0))
        return failed(QStringLiteral("no free port on ") + address.toString());
    m_address = address;
    m_port = probe.serverPort();
    probe.close();

    QString config = QStringLiteral("Port %1\nListen %2\nTimeout 30\nMaxClients 50\nLogLevel Info\n"
                                    "LogFile \"%3\"\nPidFile \"%4\"\n")
                         .arg(m_port)
                         .arg(address.toString(), m_dir.filePath(QStringLiteral("tinyproxy.log")),
                              m_dir.filePath(QStringLiteral("tinyproxy.pid")));
    if (!user.isEmpty())
        config += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
    QFile file(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return failed(QStringLiteral("cannot write the tinyproxy configuration"));
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // As the nginx of the download tests: ended with the test's process, however that ends.
    const QStringList arguments{QStringLiteral("-d"), QStringLiteral("-c"), file.fileName()};
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        m_process.start(program(), arguments);
    else
        m_process.start(setpriv,
                        QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), program()} + arguments);
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.waitForStarted(100)) {
        QTcpSocket socket;
        socket.connectToHost(address, m_port);
        if (socket.waitForConnected(200))
            return true;
        if (m_process.state() != QProcess::Running)
            break;
        QThread::msleep(20);
    }
    return failed(QStringLiteral("tinyproxy did not start: ") + QString::fromLocal8Bit(m_process.readAll()));
}

void CTinyProxy::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QStringList CTinyProxy::requests() const
{
    static const QRegularExpression line(QStringLiteral(R"(Request \(file descriptor \d+\): (.+)$)"),
                                         QRegularExpression::MultilineOption);
    QFile log(m_dir.filePath(QStringLiteral("tinyproxy.log")));
    QStringList found;
    if (!log.open(QIODevice::ReadOnly))
        return found;
    auto matches = line.globalMatch(QString::fromUtf8(log.readAll()));
    while (matches.hasNext())
        found << matches.next().captured(1).trimmed();
    return found;
}
