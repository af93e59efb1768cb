#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QString>

class QNetworkAccessManager;

// Performs exactly one HTTP request of the REST interface (JSON in and out) and reports the parsed reply by
// one of its two signals. No retry, no time-out, no authentication header: the token travels in the URL
// or the body. The object deletes itself (with its manager and reply) once it has reported.
class CRestUtilities : public QObject
{
    Q_OBJECT

public:
    // `label` names the calling operation ("CRestAPI::login").
    CRestUtilities(QObject* parent, const QString& label);

    QString label() const { return m_label; }

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

    QString m_label;
    bool m_isPost = false;
};
