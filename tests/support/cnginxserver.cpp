#include "cnginxserver.h"

#include "cclirun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace
{
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// nginx lets the first second's worth of each response through at once and holds only the rest to the
// rate, so /slow/ runs at half the rate: a 64 KiB range then takes about a second, as it does held evenly.
QString configuration(const QString& dir, const QString& root, quint16 port)
{
    return QString::fromUtf8(R"(daemon off;
master_process off;
worker_processes 1;
pid %1/nginx.pid;
error_log %1/error.log warn;
events { worker_connections 256; }
http {
    log_format probe '$connection $request_method $uri "$http_range" "$http_user_agent" "$http_if_range" $body_bytes_sent';
    access_log %1/access.log probe;
    client_body_temp_path %1/tmp/body;
    proxy_temp_path %1/tmp/proxy;
    fastcgi_temp_path %1/tmp/fastcgi;
    uwsgi_temp_path %1/tmp/uwsgi;
    scgi_temp_path %1/tmp/scgi;
    default_type application/octet-stream;
    sendfile on;
    keepalive_requests 100000;
    server {
        listen 127.0.0.1:%3;
        root %2;
        location /slow/ { alias %2/; limit_rate %4; }
        location /whole/ { alias %2/; max_ranges 0; }
        location /fail/ { return 500; }
        location /moved/ { rewrite ^/moved/(.*)$ /$1 permanent; }
        location /loop/ { return 302 $uri; }
    }
}
)")
        .arg(dir, root)
        .arg(port)
        .arg(CDownloadTestServer::SlowBytesPerSecond / 2);
}
} // namespace

CNginxServer::~CNginxServer()
{
    stop();
}

bool CNginxServer::start(QString* error)
{
    // The free port may be taken by someone else between probing and binding; try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (startOnce(error))
            return true;
    }
    return false;
}

bool CNginxServer::startOnce(QString* error)
{
    stop();
    QString program = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty() || !m_dir.isValid() || !m_root.isValid()) {
        if (error)
            *error = program.isEmpty() ? QStringLiteral("nginx is needed (scripts/setup installs it)")
                                       : QStringLiteral("no temporary folder for nginx");
        return false;
    }
    m_port = freePort();
    QDir().mkpath(m_dir.filePath(QStringLiteral("tmp")));
    QFile::remove(m_dir.filePath(QStringLiteral("access.log")));
    m_logMark = 0;
    QFile config(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("cannot write the nginx configuration");
        return false;
    }
    config.write(configuration(m_dir.path(), m_root.path(), m_port).toUtf8());
    config.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("-p"), m_dir.path(),
                          QStringLiteral("-e"), m_dir.filePath(QStringLiteral("error.log")),
                          QStringLiteral("-c"), config.fileName()};
    // A test that dies (a sanitizer halting it, say) must not leave its nginx behind: where setpriv is there,
    // nginx gets a signal when the test's process ends.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (!setpriv.isEmpty())
        m_process.start(setpriv,
                        QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), program} + arguments);
    else
        m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        if (error)
            *error = QStringLiteral("nginx did not start: ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            if (error)
                *error = QStringLiteral("nginx ended: ") + QString::fromLocal8Bit(m_process.readAll()) + errorLog();
            return false;
        }
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    if (error)
        *error = QStringLiteral("nginx did not accept connections: ") + errorLog();
    stop();
    return false;
}

void CNginxServer::stop()
{
    CCliRun::end(m_process);
}

QString CNginxServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void CNginxServer::reset()
{
    m_logMark = accessLog().size();
}

QString CNginxServer::url(const QString& path, Serving serving)
{
    // One location a way of serving, in the order of Serving.
    static const char* const locations[] = {"", "/slow", "/whole", "/fail", "/moved", "/loop"};
    return baseUrl() + QLatin1String(locations[int(serving)]) + path;
}

QList<CServedRequest> CNginxServer::receivedRequests() const
{
    static const QRegularExpression pattern(
        QStringLiteral(R"re(^(\d+) (\S+) (\S+) "([^"]*)" "([^"]*)" "([^"]*)" (\d+)$)re"));
    // nginx logs an empty header as "-", and a quote in one as "\x22".
    const auto header = [](QString text) {
        return text == QLatin1String("-") ? QString() : text.replace(QLatin1String("\\x22"), QLatin1String("\""));
    };
    QList<CServedRequest> requests;
    const QStringList lines = accessLog().mid(m_logMark);
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch())
            requests.append({match.captured(2), match.captured(3), header(match.captured(4)), header(match.captured(5)),
                             header(match.captured(6)), match.captured(1).toInt(), match.captured(7).toLongLong()});
    }
    return requests;
}

QStringList CNginxServer::accessLog() const
{
    QFile file(m_dir.filePath(QStringLiteral("access.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString CNginxServer::errorLog() const
{
    QFile file(m_dir.filePath(QStringLiteral("error.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
