#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP request as the development service parsed it off the wire.
struct CHttpRequest
{
    QByteArray method;                            // upper case as sent ("GET", "HEAD", "POST" ...)
    QByteArray target;                            // the request target as sent: path and query
    QByteArray version;                           // "HTTP/1.0" or "HTTP/1.1"
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case, values trimmed, in the order sent
    QByteArray body;

    // The first value of a header (name in lower case); empty when absent.
    QByteArray header(const QByteArray& lowerCaseName) const;
    bool hasHeader(const QByteArray& lowerCaseName) const;
    // The path part of the target, percent-decoded; the query is cut off.
    QString path() const;
    // The raw query after "?", or empty.
    QByteArray query() const;
    // HTTP/1.1 keeps the connection unless told "close"; HTTP/1.0 only when asked for "keep-alive".
    bool keepAlive() const;
};
