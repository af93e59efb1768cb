#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real web server for the download tests: nginx on a free loopback port, with its configuration, logs and
// scratch folders in a temporary folder of its own. Serves `documentRoot` at these locations:
//   /          the files, with HEAD and byte ranges;
//   /slow/     the same files, each connection throttled to `slowBytesPerSecond`;
//   /whole/    the same files, ignoring Range (always 200 and the whole file);
//   /fail/     HTTP 500 for everything.
// The access log has one line per request: method, path, "Range header", status, body bytes, "User-Agent".
class CNginxServer
{
public:
    CNginxServer() = default;
    ~CNginxServer();

    CNginxServer(const CNginxServer&) = delete;
    CNginxServer& operator=(const CNginxServer&) = delete;

    // The nginx program, or empty when it is not installed.
    static QString executable();

    // Starts nginx and waits until it accepts connections. False with `error` set when it does not come up.
    bool start(const QString& documentRoot, qint64 slowBytesPerSecond = 256 * 1024, QString* error = nullptr);
    void stop();

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseUrl() const;
    QStringList accessLog() const;
    QString errorLog() const;

private:
    bool startOnce(const QString& documentRoot, qint64 slowBytesPerSecond, QString* error);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
