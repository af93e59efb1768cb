#pragma once

#include <QMetaType>
#include <QString>

// Why one request to the web service failed: the transport's error, the HTTP status and reason when the
// server answered with an error, or what was wrong with a reply that did arrive. Kept beside Qt's error
// number so that the user is shown what happened ("HTTP 500 Internal Server Error"), not a bare number.
struct CRestFailure
{
    int networkError = 0; // QNetworkReply::NetworkError; ProtocolFailure for a reply that cannot be used
    int httpStatus = 0;   // 0 when no HTTP status arrived (refused connection, unknown host ...)
    QString reason;       // the HTTP reason phrase, Qt's error text, or what is wrong with the reply

    bool isFailure() const { return networkError != 0; }
    // "HTTP 500 Internal Server Error" for an HTTP error status, otherwise the reason.
    QString text() const;
    // The number to show a user: the HTTP status of an error status, otherwise the network error.
    int code() const;

    // A reply that arrived complete but is not what was asked for (wrong members, too large, not JSON).
    static CRestFailure unusableReply(int httpStatus, const QString& problem);
};

Q_DECLARE_METATYPE(CRestFailure)
