#include "crestutilities.h"

#include "foundation/clogger.h"

#include <QJsonArray>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#ifndef QT_NO_SSL
#include <QSslConfiguration>
#endif

namespace
{

Q_LOGGING_CATEGORY(restCategory, "tessaray.rest")

// Access tokens in a reply are replaced before the reply is shown, wherever they stand.
QJsonValue withoutTokens(const QJsonValue& value)
{
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() == QLatin1String("token") && it.value().isString())
                it.value() = QStringLiteral("<token>");
            else
                it.value() = withoutTokens(it.value());
        }
        return object;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (auto it = array.begin(); it != array.end(); ++it)
            *it = withoutTokens(*it);
        return array;
    }
    return value;
}

} // namespace

CRestUtilities::CRestUtilities(QObject* parent, const QString& label)
    : QObject(parent)
    , m_label(label)
{
}

QNetworkAccessManager* CRestUtilities::createManager()
{
    auto* manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &CRestUtilities::onReplyFinished);
    return manager;
}

void CRestUtilities::httpGet(const QString& url)
{
    m_isPost = false;
    QNetworkAccessManager* manager = createManager();
    QNetworkRequest request{QUrl(url)};
#ifndef QT_NO_SSL
    request.setSslConfiguration(QSslConfiguration::defaultConfiguration());
#endif
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    manager->get(request);
}

void CRestUtilities::httpPost(const QString& url, const QJsonObject& body, const QString& secret)
{
    m_isPost = true;
    QString loggedUrl = url;
    if (!secret.isEmpty())
        loggedUrl.replace(secret, QStringLiteral("<token>"));
    CLogger::logFunction(QStringLiteral("CRestUtilities::httpPost"), QStringLiteral("endpoint=%0").arg(loggedUrl));

    QNetworkAccessManager* manager = createManager();
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    manager->post(request, QJsonDocument(body).toJson());
}

void CRestUtilities::onReplyFinished(QNetworkReply* reply)
{
    const QByteArray body = reply->readAll();
    const QJsonDocument content = QJsonDocument::fromJson(body);
    if (m_isPost) {
        const QByteArray shown = content.isNull() ? body
                                 : content.isObject()
                                     ? QJsonDocument(withoutTokens(content.object()).toObject()).toJson()
                                     : QJsonDocument(withoutTokens(content.array()).toArray()).toJson();
        qCDebug(restCategory).noquote() << m_label << QString::fromUtf8(shown);
    }

    const QNetworkReply::NetworkError error = reply->error();
    if (error != QNetworkReply::NoError)
        emit onHttpRequestErrorReceived(error, content);
    else
        emit onHttpRequestFinished(content);
    // Whoever handled the result may have scheduled this already; a second request is merged with it.
    deleteLater();
}
