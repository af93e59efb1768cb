#include "crestapi.h"

#include "crestutilities.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"

#include <QJsonObject>
#include <QUrl>

namespace
{
QString serverAddress()
{
    return CSettings::stringValue(SettingsKey::ServerAddress);
}

// Everything but letters, digits and "-._~" is escaped, so the text stays one path segment or query value.
QString urlPart(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}
} // namespace

CRestAPI::CRestAPI(QObject* parent)
    : QObject(parent)
{
}

CRestUtilities* CRestAPI::newRequest(const QString& label)
{
    auto* request = new CRestUtilities(nullptr, label);
    connect(request, &CRestUtilities::onHttpRequestFinished, this, &CRestAPI::onHttpRequestCompleted);
    // The error travels on as its number, as the failure slot takes it.
    connect(request, &CRestUtilities::onHttpRequestErrorReceived, this,
            [this](QNetworkReply::NetworkError error, const QJsonDocument& content) {
                onHttpRequestFailed(static_cast<int>(error), content);
            });
    return request;
}

void CRestAPI::login(const QString& userName, const QString& password)
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::login"));
    const QString url = serverAddress() + QStringLiteral("/API/1/token?grant_type=password");
    request->httpPost(url, QJsonObject{
                               {QStringLiteral("username"), userName},
                               {QStringLiteral("user_password"), password},
                               {QStringLiteral("client_identifier"), QStringLiteral("fms-client")},
                           });
}

void CRestAPI::login(int userId, const QString& token)
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::login"));
    request->httpGet(
        QStringLiteral("%0/API/1/users/%1?token=%2").arg(serverAddress(), QString::number(userId), urlPart(token)));
}

void CRestAPI::getServers()
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::getServers"));
    request->httpGet(QStringLiteral("%0/api/1/download/regions").arg(serverAddress()));
}

void CRestAPI::getCurrentDataCycle()
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::getCurrentDataCycle"));
    request->httpGet(QStringLiteral("%0/api/1/fmsdata/cycles/current").arg(serverAddress()));
}

void CRestAPI::getFMSDataIndex()
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::getFMSDataIndex"));
    request->httpGet(QStringLiteral("%0/api/1/fmsdata/index").arg(serverAddress()));
}

void CRestAPI::getDownloadUrl(const QString& regionCode, const QString& token, const DownloadRequest& downloadRequest)
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::getDownloadUrl"));
    const QString encodedToken = urlPart(token);
    const QString url =
        QStringLiteral("%0/api/1/download/%1/fmsdata/%2").arg(serverAddress(), urlPart(regionCode), encodedToken);
    request->httpPost(url,
                      QJsonObject{
                          {QStringLiteral("filename"), downloadRequest.first},
                          {QStringLiteral("internal_id"), downloadRequest.second},
                      },
                      encodedToken);
}

void CRestAPI::uploadDownloadStatstics(const DownloadStatistics& statistics)
{
    CRestUtilities* request = newRequest(QStringLiteral("CRestAPI::uploadDownloadStatstics"));
    request->httpPost(QStringLiteral("%0/api/1/statistics/download").arg(serverAddress()), statistics.toJson());
}

void CRestAPI::onHttpRequestCompleted(const QJsonDocument& content)
{
    QObject* request = sender();
    emit finished();
    emit succeed(content);
    if (request)
        request->deleteLater();
}

void CRestAPI::onHttpRequestFailed(int statusCode, const QJsonDocument& content)
{
    QObject* request = sender();
    const auto* utilities = qobject_cast<CRestUtilities*>(request);
    m_lastFailure = utilities ? utilities->failure() : CRestFailure{statusCode, 0, QString()};
    CLogger::write(QStringLiteral("Received REST error from server."));
    emit finished();
    emit failed(static_cast<QNetworkReply::NetworkError>(statusCode), content);
    if (request)
        request->deleteLater();
}
