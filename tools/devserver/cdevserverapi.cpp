#include "cdevserverapi.h"

#include "cdevserverstate.h"
#include "chttprequest.h"
#include "cservedfiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QUuid>
#include <QXmlStreamReader>

namespace
{

CDevServerResponse refusal(int status, const QString& error, const QString& description)
{
    return CDevServerResponse::json(status, QJsonDocument(QJsonObject{
                                                {QStringLiteral("error"), error},
                                                {QStringLiteral("error_description"), description},
                                            }));
}

CDevServerResponse wrongMethod(const QByteArray& method)
{
    return CDevServerResponse::error(
        405, QStringLiteral("This endpoint is not called with %1.").arg(QString::fromLatin1(method)));
}

// The body as a JSON object; false (with the answer in `response`) when it is not one.
bool readObject(const CHttpRequest& request, QJsonObject& object, CDevServerResponse& response)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        response = refusal(400, QStringLiteral("invalid_request"), QStringLiteral("The body must be a JSON object."));
        return false;
    }
    object = document.object();
    return true;
}

QString queryValue(const CHttpRequest& request, const QString& key)
{
    return QUrlQuery(QString::fromUtf8(request.query())).queryItemValue(key, QUrl::FullyDecoded);
}

} // namespace

CDevServerApi::CDevServerApi(CDevServerState& state)
    : m_state(state)
{
}

bool CDevServerApi::respond(const CHttpRequest& request, const QString& baseUrl, CDevServerResponse& response)
{
    const QStringList elements = request.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStringList lower;
    for (const QString& element : elements)
        lower.append(element.toLower());
    if (lower.size() < 2 || lower.at(0) != QLatin1String("api"))
        return false;

    const bool isGet = request.method == "GET" || request.method == "HEAD";
    const bool isPost = request.method == "POST";
    const auto is = [&lower](std::initializer_list<const char*> pattern) {
        if (lower.size() != int(pattern.size()))
            return false;
        int i = 0;
        for (const char* expected : pattern) {
            if (expected && lower.at(i) != QLatin1String(expected))
                return false;
            ++i;
        }
        return true;
    };

    if (is({"api", "1", "token"}))
        response = isPost ? token(request) : wrongMethod(request.method);
    else if (is({"api", "1", "users", nullptr}))
        response = isGet ? user(request, elements.at(3)) : wrongMethod(request.method);
    else if (is({"api", "1", "download", "regions"}))
        response = isGet ? regions() : wrongMethod(request.method);
    else if (is({"api", "1", "fmsdata", "cycles", "current"}))
        response = isGet ? cycle() : wrongMethod(request.method);
    else if (is({"api", "1", "fmsdata", "index"}))
        response = isGet ? dataIndex(baseUrl) : wrongMethod(request.method);
    else if (is({"api", "1", "download", nullptr, "fmsdata", nullptr}))
        response =
            isPost ? downloadAddress(request, elements.at(3), elements.at(5), baseUrl) : wrongMethod(request.method);
    else if (is({"api", "1", "statistics", "download"}))
        response = isPost ? statistics(request) : wrongMethod(request.method);
    else
        response = CDevServerResponse::error(404, QStringLiteral("There is no endpoint \"%1\".").arg(request.path()));
    return true;
}

CDevServerResponse CDevServerApi::token(const CHttpRequest& request)
{
    if (queryValue(request, QStringLiteral("grant_type")) != QLatin1String("password"))
        return refusal(400, QStringLiteral("unsupported_grant_type"),
                       QStringLiteral("Only grant_type=password is supported."));
    QJsonObject body;
    CDevServerResponse response;
    if (!readObject(request, body, response))
        return response;

    const CDevServiceConfig config = m_state.config();
    const CDevServiceAccount* account = config.findByUserName(body.value(QStringLiteral("username")).toString());
    if (!account || account->password != body.value(QStringLiteral("user_password")).toString())
        return refusal(401, QStringLiteral("invalid_grant"), QStringLiteral("The user name or password is incorrect."));

    QJsonObject record = account->userRecord();
    record.insert(QStringLiteral("token"), account->token);
    return CDevServerResponse::json(200, QJsonDocument(QJsonObject{{QStringLiteral("user"), record}}));
}

CDevServerResponse CDevServerApi::user(const CHttpRequest& request, const QString& userId)
{
    const CDevServiceConfig config = m_state.config();
    const CDevServiceAccount* account = config.findByToken(queryValue(request, QStringLiteral("token")));
    if (!account)
        return refusal(401, QStringLiteral("invalid_token"), QStringLiteral("The access token is not valid."));
    if (QString::number(account->userId) != userId)
        return refusal(401, QStringLiteral("invalid_token"),
                       QStringLiteral("The access token does not belong to user %1.").arg(userId));
    return CDevServerResponse::json(200, QJsonDocument(account->userRecord()));
}

CDevServerResponse CDevServerApi::regions()
{
    return CDevServerResponse::json(200, QJsonDocument(m_state.config().regions));
}

CDevServerResponse CDevServerApi::cycle()
{
    const QJsonObject cycle = m_state.config().cycle;
    if (cycle.isEmpty())
        return CDevServerResponse::error(404, QStringLiteral("No cycle is published."));
    return CDevServerResponse::json(200, QJsonDocument(cycle));
}

QString CDevServerApi::editionOnDisk(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    QXmlStreamReader xml(&file);
    while (!xml.atEnd() && !xml.isStartElement())
        xml.readNext();
    const QString id =
        xml.isStartElement() ? xml.attributes().value(QStringLiteral("id")).trimmed().toString() : QString();
    return QUuid(id).isNull() ? QString() : id;
}

CDevServerResponse CDevServerApi::dataIndex(const QString& baseUrl)
{
    const QJsonObject index = m_state.config().index;
    if (index.isEmpty())
        return CDevServerResponse::error(404, QStringLiteral("No data index is published."));
    QString file = index.value(QStringLiteral("File")).toString();
    if (!file.startsWith(QLatin1Char('/')))
        file.prepend(QLatin1Char('/'));
    // The edition published is the one on disk now: editing the file's "id" publishes a new edition without
    // a restart. A file without one keeps the configured identity.
    QString id = editionOnDisk(CServedFiles::resolve(m_state.root(), file));
    if (id.isEmpty())
        id = index.value(QStringLiteral("Id")).toString();
    return CDevServerResponse::json(200, QJsonDocument(QJsonObject{
                                             {QStringLiteral("Id"), id},
                                             {QStringLiteral("Version"), index.value(QStringLiteral("Version"))},
                                             {QStringLiteral("Url"), baseUrl + file},
                                             {QStringLiteral("Comments"), index.value(QStringLiteral("Comments"))},
                                         }));
}

CDevServerResponse CDevServerApi::downloadAddress(const CHttpRequest& request, const QString& region,
                                                  const QString& token, const QString& baseUrl)
{
    const CDevServiceConfig config = m_state.config();
    if (!config.findByToken(token))
        return refusal(401, QStringLiteral("invalid_token"), QStringLiteral("The access token is not valid."));
    if (!config.hasRegion(region))
        return CDevServerResponse::error(404, QStringLiteral("There is no download region \"%1\".").arg(region));

    QJsonObject body;
    CDevServerResponse response;
    if (!readObject(request, body, response))
        return response;
    const QString fileName = body.value(QStringLiteral("filename")).toString();
    if (fileName.isEmpty())
        return refusal(400, QStringLiteral("invalid_request"), QStringLiteral("\"filename\" names no data package."));

    // The address of a package that is not there would only move the failure to the download.
    const QString path = QLatin1Char('/') + config.packagesFolder + QLatin1Char('/') + fileName;
    if (CServedFiles::resolve(m_state.root(), path).isEmpty())
        return CDevServerResponse::error(404, QStringLiteral("No data package \"%1\" is published.").arg(fileName));

    return CDevServerResponse::json(
        200, QJsonDocument(QJsonObject{
                 {QStringLiteral("url"), baseUrl + QString::fromLatin1(QUrl::toPercentEncoding(path.toLower(), "/"))},
                 {QStringLiteral("internal_id"), body.value(QStringLiteral("internal_id"))},
             }));
}

CDevServerResponse CDevServerApi::statistics(const CHttpRequest& request)
{
    QJsonObject body;
    CDevServerResponse response;
    if (!readObject(request, body, response))
        return response;
    m_state.recordStatistics(body);
    return CDevServerResponse::json(200,
                                    QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("recorded")}}));
}
