#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

// A fault that the development service plays on the requests of one path (or all of them), so that tests
// can see how the client copes with lying, failing and slow servers.
struct CDevServerFault
{
    enum class ContentLength
    {
        Normal,
        Omit,  // no Content-Length header (the body ends when the connection closes)
        False, // announce `falseContentLength` instead of the true length
    };

    qint64 dropAfterBytes = -1; // close the connection after this many body bytes; -1 never
    int status = 0;             // answer every request with this HTTP status (500, 401 ...) instead; 0 off
    int delayMs = 0;            // wait this long before answering
    ContentLength contentLength = ContentLength::Normal;
    qint64 falseContentLength = 0;
    bool ignoreRange = false;  // answer a Range request with 200 and the whole file
    qint64 bytesPerSecond = 0; // throttle the body; 0 unlimited
    int remainingHits = -1;    // the fault applies to this many requests, then switches itself off; -1 always
    QString method;            // only requests of this method ("GET", "HEAD" ...) meet the fault; empty for all
};

// One request as the service received it, for tests to inspect.
struct CDevServerRequest
{
    QString method;
    QString path;                   // the path and query as sent
    QMap<QString, QString> headers; // header names in lower case
    QByteArray body;
    int connection = 0; // the connection that carried it, numbered from 1 in the order they were accepted
};

class CDevServerPrivate;

// The development stand-in for the Brelvar web service and its download servers.
//
// Serves, from a root folder: the REST endpoints the program calls (accounts, regions, cycle and data index
// from the folder's "service.json"), "/status.txt", the data index file, and package files with HEAD and
// single-range GET (206). File names are matched without regard to case. It listens on its own thread,
// so a test may block its own thread while the service answers. Every public method is thread-safe.
class CDevServer : public QObject
{
    Q_OBJECT

public:
    explicit CDevServer(QObject* parent = nullptr);
    ~CDevServer() override;

    // Loads "service.json" of `directory` and serves the files below it. False with a message when the
    // folder or its configuration cannot be read. A folder without "service.json" serves its files only.
    bool setRoot(const QString& directory, QString* errorMessage = nullptr);
    QString root() const;

    // Listens on `port` (0 picks a free one). False when the address cannot be bound.
    bool start(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    void stop();
    quint16 port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseUrl() const;

    // Serves `filePath` at `urlPath` as well (tests' own files); matched without regard to case.
    void addFile(const QString& urlPath, const QString& filePath);

    // An empty path sets the global fault that applies to every request; a path fault applies to the
    // requests whose path (without query) equals it, compared without regard to case, and takes precedence
    // over the global one. Faults that cut or mislabel a body (drop, Content-Length) close the connection
    // after the answer; the others keep it open.
    void setFault(const QString& path, const CDevServerFault& fault);
    void clearFaults();

    // The statistics records clients uploaded, oldest first.
    QList<QJsonObject> statisticsUploads() const;
    // Every request received, oldest first.
    QList<CDevServerRequest> requests() const;
    void clearRequests();

signals:
    // After each answer has been sent; delivered on this object's thread.
    void requestServed(const QString& method, const QString& target, int status);

private:
    std::unique_ptr<CDevServerPrivate> d;
};
