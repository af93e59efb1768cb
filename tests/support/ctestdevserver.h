#pragma once

#include "tools/devserver/cdevserver.h"

#include <QString>
#include <QTemporaryDir>

// An in-process development service for one test, listening on a free loopback port from construction
// until destruction. Serves a scratch folder of its own, or a given one.
class CTestDevServer
{
public:
    // An empty `root` serves a fresh temporary folder (see writeFile()).
    explicit CTestDevServer(const QString& root = QString());
    ~CTestDevServer();

    CTestDevServer(const CTestDevServer&) = delete;
    CTestDevServer& operator=(const CTestDevServer&) = delete;

    // False when the folder could not be served or no port could be bound; errorMessage() says why.
    bool isRunning() const { return m_running; }
    QString errorMessage() const { return m_errorMessage; }

    CDevServer& server() { return m_server; }
    CDevServer* operator->() { return &m_server; }
    QString baseUrl() const { return m_server.baseUrl(); }
    // baseUrl() followed by `path`, which starts with "/".
    QString url(const QString& path) const { return baseUrl() + path; }
    QString rootPath() const { return m_server.root(); }

    // Writes a file below the served folder (parents created); returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& content) const;

    // Points the program's "server/address" at this service. Needs a CTestDataDir in place.
    void useAsServerAddress() const;

    // The demo content of the source tree (samples/service).
    static QString samplesRoot();
    // Copies the demo content into `directory`, so that a test may change it; false on failure.
    static bool copySamples(const QString& directory);

private:
    QTemporaryDir m_scratch;
    CDevServer m_server;
    bool m_running = false;
    QString m_errorMessage;
};
