#include "chttprequest.h"

#include <QUrl>

QByteArray CHttpRequest::header(const QByteArray& lowerCaseName) const
{
    for (const auto& entry : headers) {
        if (entry.first == lowerCaseName)
            return entry.second;
    }
    return QByteArray();
}

bool CHttpRequest::hasHeader(const QByteArray& lowerCaseName) const
{
    for (const auto& entry : headers) {
        if (entry.first == lowerCaseName)
            return true;
    }
    return false;
}

QString CHttpRequest::path() const
{
    const int question = target.indexOf('?');
    return QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
}

QByteArray CHttpRequest::query() const
{
    const int question = target.indexOf('?');
    return question < 0 ? QByteArray() : target.mid(question + 1);
}

bool CHttpRequest::keepAlive() const
{
    const QList<QByteArray> tokens = header("connection").toLower().split(',');
    bool close = false;
    bool keep = false;
    for (const QByteArray& token : tokens) {
        const QByteArray value = token.trimmed();
        close = close || value == "close";
        keep = keep || value == "keep-alive";
    }
    if (close)
        return false;
    return version == "HTTP/1.1" || keep;
}
