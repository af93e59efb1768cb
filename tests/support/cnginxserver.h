#pragma once

#include "cdownloadtestserver.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real web server for the download tests: nginx on a free loopback port, with its configuration, logs,
// scratch folders and served files in temporary folders of its own. Serves rootPath() at these locations:
//   /          the files, with HEAD and byte ranges;
//   /slow/     the same files, each connection held to about SlowBytesPerSecond;
//   /whole/    the same files, ignoring Range (always 200 and the whole file);
//   /fail/     HTTP 500 for everything;
//   /moved/    a permanent redirect to the same path below /;
//   /loop/     a redirect to itself.
// What it received is read back from its access log.
class CNginxServer : public CDownloadTestServer
{
public:
    ~CNginxServer() override;

    // Starts nginx and waits until it accepts connections.
    bool start(QString* error) override;
    void stop();

    void reset() override;
    QString baseUrl() const override;
    using CDownloadTestServer::url;
    QString url(const QString& path, Serving serving) override;
    QString rootPath() const override { return m_root.path(); }

protected:
    // Requests show up once nginx has finished them (answered, or noticed that the client went away).
    QList<CServedRequest> receivedRequests() const override;

private:
    bool startOnce(QString* error);
    QStringList accessLog() const;
    QString errorLog() const;

    QTemporaryDir m_dir;
    QTemporaryDir m_root;
    QProcess m_process;
    quint16 m_port = 0;
    int m_logMark = 0; // access log lines before the last reset()
};
