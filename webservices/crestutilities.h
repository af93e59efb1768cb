#pragma once

#include "crestfailure.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QString>

class QNetworkAccessManager;

// Performs exactly one HTTP request of the REST interface (JSON in and out) and reports the parsed reply by
// one of its two signals. No retry, no time-out, no authentication header: the token travels in the URL
// or the body. The object deletes itself (with its manager and reply) once it has reported.
//
// A reply is read as it arrives and given up once it passes MaxReplyBytes (or announces more), so that a
// server that sends without end costs no more memory than that. Such a reply, and one with an HTTP status
// outside 2xx that Qt does not count as an error (a redirect), is reported as a failure.
class CRestUtilities : public QObject
{
    Q_OBJECT

public:
    // The replies of the REST interface are small JSON documents; files go through the download engine.
    static constexpr qint64 MaxReplyBytes = 4 * 1024 * 1024;

    // `label` names the calling operation ("CRestAPI::login").
    CRestUtilities(QObject* parent, const QString& label);

    QString label() const { return m_label; }
    // Why the request failed, once onHttpRequestErrorReceived has been emitted.
    CRestFailure failure() const { return m_failure; }

    void httpGet(const QString& url);
    // Logs "endpoint=" and the URL first. Every occurrence of `secret` (the access token) in the logged URL
    // is written as "<token>", so that no log file holds a usable token.
    void httpPost(const QString& url, const QJsonObject& body, const QString& secret = QString());

signals:
    // The request ended without a network error. A body that is not JSON gives a null document.
    void onHttpRequestFinished(const QJsonDocument& content);
    // The request ended with a network error, which includes HTTP error statuses; `content` holds whatever
    // JSON the server sent (possibly a null document).
    void onHttpRequestErrorReceived(QNetworkReply::NetworkError error, const QJsonDocument& content);

private slots:
    void onReplyFinished(QNetworkReply* reply);

private:
    QNetworkAccessManager* createManager();
    // Reads the body as it arrives, within MaxReplyBytes.
    void watch(QNetworkReply* reply);
    void readAvailable(QNetworkReply* reply);
    void giveUpTooLarge(QNetworkReply* reply);

    QString m_label;
    bool m_isPost = false;
    QByteArray m_body;
    bool m_tooLarge = false;
    CRestFailure m_failure;
};
