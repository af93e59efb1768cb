#include "cdevserverresponse.h"

#include <QJsonDocument>
#include <QJsonObject>

CDevServerResponse CDevServerResponse::json(int status, const QJsonDocument& document)
{
    CDevServerResponse response;
    response.status = status;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    response.body = document.toJson(QJsonDocument::Compact);
    return response;
}

CDevServerResponse CDevServerResponse::error(int status, const QString& message)
{
    return json(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}));
}

QByteArray CDevServerResponse::reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}
