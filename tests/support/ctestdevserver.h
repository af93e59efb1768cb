#pragma once

#include "cdownloadtestserver.h"
#include "tools/devserver/cdevserver.h"

#include <QString>
#include <QTemporaryDir>

// An in-process development service for one test, listening on a free loopback port from construction
// until destruction. Serves a scratch folder of its own, or a given one. As a server for the download tests
// it plays the slow and misbehaving servers with its fault switches.
class CTestDevServer : public CDownloadTestServer
{
public:
    // An empty `root` serves a fresh temporary folder (see writeFile()).
    explicit CTestDevServer(const QString& root = QString());
    ~CTestDevServer() override;

    CTestDevServer(const CTestDevServer&) = delete;
    CTestDevServer& operator=(const CTestDevServer&) = delete;

    // False when the folder could not be served or no port could be bound; errorMessage() says why.
    bool isRunning() const { return m_running; }
    QString errorMessage() const { return m_errorMessage; }

    CDevServer& server() { return m_server; }
    CDevServer* operator->() { return &m_server; }
    QString baseUrl() const override { return m_server.baseUrl(); }
    using CDownloadTestServer::url;
    QString url(const QString& path, Serving serving) override;
    QString rootPath() const override { return m_server.root(); }
    // Listening already: says whether it is.
    bool start(QString* error) override;
    // Switches every fault off, too.
    void reset() override;

    // Writes a file below the served folder (parents created); returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& content) const;

    // Points the program's "server/address" at this service. Needs a CTestDataDir in place.
    void useAsServerAddress() const;

    // The demo content of the source tree (samples/service).
    static QString samplesRoot();
    // Copies the demo content into `directory`, so that a test may change it; false on failure. Packages
    // built from the sample sources are not copied: the copy's service builds its own.
    static bool copySamples(const QString& directory);

protected:
    QList<CServedRequest> receivedRequests() const override;

private:
    QTemporaryDir m_scratch;
    CDevServer m_server;
    bool m_running = false;
    QString m_errorMessage;
};
