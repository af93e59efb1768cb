#include "crestutilities.h"

#include "foundation/clogger.h"
#include "webservices/cnetworkaccess.h"

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
    QNetworkAccessManager* manager = CNetworkAccess::createManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &CRestUtilities::onReplyFinished);
    return manager;
}

void CRestUtilities::httpGet(const QString& url)
{
    m_isPost = false;
    QNetworkAccessManager* manager = createManager();
    QNetworkRequest request{QUrl(url)};
#ifndef QT_NO_SSL
    request.setSslConfiguration(CNetworkAccess::sslConfiguration());
#endif
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    watch(manager->get(request));
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
    watch(manager->post(request, QJsonDocument(body).toJson()));
}

void CRestUtilities::watch(QNetworkReply* reply)
{
    // Qt stops taking bytes from the socket while this much waits unread, so the body never piles up
    // beyond what readAvailable() has checked.
    reply->setReadBufferSize(256 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply]() {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > MaxReplyBytes)
            giveUpTooLarge(reply);
    });
    connect(reply, &QIODevice::readyRead, this, [this, reply]() { readAvailable(reply); });
}

void CRestUtilities::readAvailable(QNetworkReply* reply)
{
    if (m_tooLarge)
        return;
    m_body += reply->read(MaxReplyBytes + 1 - m_body.size());
    if (m_body.size() > MaxReplyBytes)
        giveUpTooLarge(reply);
}

void CRestUtilities::giveUpTooLarge(QNetworkReply* reply)
{
    if (m_tooLarge)
        return;
    m_tooLarge = true;
    m_body.clear();
    // Ends the reply at once; its finished signal reports the failure.
    reply->abort();
}

void CRestUtilities::onReplyFinished(QNetworkReply* reply)
{
    readAvailable(reply);
    const QJsonDocument content = QJsonDocument::fromJson(m_body);
    if (m_isPost) {
        const QByteArray shown = content.isNull() ? m_body
                                 : content.isObject()
                                     ? QJsonDocument(withoutTokens(content.object()).toObject()).toJson()
                                     : QJsonDocument(withoutTokens(content.array()).toArray()).toJson();
        qCDebug(restCategory).noquote() << m_label << QString::fromUtf8(shown);
    }

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reasonPhrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (m_tooLarge) {
        // An error status says more than the size of the page that came with it.
        m_failure = CRestFailure::unusableReply(
            status, status >= 300
                        ? reasonPhrase
                        : QStringLiteral("The reply is larger than %1 MiB.").arg(MaxReplyBytes / (1024 * 1024)));
    } else if (const QString words = CNetworkAccess::failureText(*reply); !words.isEmpty()) {
        // The proxy or the certificate is the cause, whatever status a proxy put on its refusal.
        m_failure = CRestFailure{reply->error(), 0, words};
    } else if (reply->error() != QNetworkReply::NoError) {
        m_failure = CRestFailure{reply->error(), status, status >= 300 ? reasonPhrase : reply->errorString()};
    } else if (status >= 300) {
        // A redirect is not followed: the address in the settings is to be corrected instead.
        m_failure = CRestFailure{QNetworkReply::ProtocolFailure, status, reasonPhrase};
    }

    if (m_failure.isFailure())
        emit onHttpRequestErrorReceived(static_cast<QNetworkReply::NetworkError>(m_failure.networkError), content);
    else
        emit onHttpRequestFinished(content);
    // Whoever handled the result may have scheduled this already; a second request is merged with it.
    deleteLater();
}
