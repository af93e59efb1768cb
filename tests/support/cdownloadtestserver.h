#pragma once

#include <QList>
#include <QString>

// One request a web server received, as far as the download tests look at it.
struct CServedRequest
{
    QString method;
    QString path;  // without the query
    QString range; // the Range header; empty when there was none
    QString userAgent;
    QString ifRange;       // the If-Range header; empty when there was none
    int connection = 0;    // requests with equal numbers came over the same connection
    qint64 bytesSent = -1; // body bytes the server sent; -1 when the server does not say
};

// A web server that the download engine's tests run against, so that the same cases play against more than
// one server. It serves a folder of its own.
class CDownloadTestServer
{
public:
    // How a file is answered: as it is, or as a slow or misbehaving server would.
    enum class Serving
    {
        Normally,           // HEAD and byte ranges (206)
        Slowly,             // as Normally, each connection held to about SlowBytesPerSecond
        IgnoringRanges,     // a GET with a Range gets 200 and the whole file
        Failing,            // HTTP 500 for every request
        Redirected,         // 301 to the same path below the root, where it is answered normally
        RedirectingForever, // 302 to itself, again and again
    };
    // Slow enough that a download of a few 64 KiB ranges a connection can be caught on the way.
    static constexpr qint64 SlowBytesPerSecond = 64 * 1024;

    virtual ~CDownloadTestServer() = default;

    // Starts listening on a free loopback port; false with `error` set when the server does not come up.
    virtual bool start(QString* error) = 0;
    // Forgets the requests received so far and how paths were to be served: call before each test.
    virtual void reset() = 0;
    // "http://127.0.0.1:<port>", without a trailing slash.
    virtual QString baseUrl() const = 0;
    // The address of `path` ("/a/b.bin"), answered normally.
    QString url(const QString& path) const { return baseUrl() + path; }
    // The address of `path` answered as `serving` says. A test serves a path one way only.
    virtual QString url(const QString& path, Serving serving) = 0;
    virtual QString rootPath() const = 0;

    // The requests received since reset(), oldest first; those of `method` only when it is given.
    QList<CServedRequest> requests(const QString& method = QString()) const;
    // Writes `size` bytes of CTestFiles::content(size, seed) at `relativePath` below rootPath() (parents
    // made); returns the file's path, empty on failure.
    QString serveFile(const QString& relativePath, qint64 size, quint32 seed = 7) const;

protected:
    virtual QList<CServedRequest> receivedRequests() const = 0;
};
