#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

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

    qint64 dropAfterBytes = -1;  // close the connection after this many body bytes; -1 never
    qint64 stallAfterBytes = -1; // send this many body bytes (0: the head only), then nothing, connection held
    int status = 0;              // answer every request with this HTTP status (500, 401 ...) instead; 0 off
    int delayMs = 0;             // wait this long before answering (long enough: a server that never answers)
    int redirectStatus = 0;      // answer with this 3xx status (301, 302, 303, 307, 308) and `redirectTo`
    QString redirectTo;          // the Location of the redirect: a path of this service or a whole address
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
