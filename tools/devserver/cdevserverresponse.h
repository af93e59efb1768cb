#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QJsonDocument;

// An answer of the development service before faults shape its delivery: status, header fields and a body
// that is either held in memory or a byte span of a file streamed from disk.
struct CDevServerResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Length and Connection, which are added on sending
    QByteArray body;
    QString filePath; // when set, the body is `fileLength` bytes of this file from `fileOffset`
    qint64 fileOffset = 0;
    qint64 fileLength = 0;

    qint64 bodyLength() const { return filePath.isEmpty() ? body.size() : fileLength; }

    static CDevServerResponse json(int status, const QJsonDocument& document);
    // A JSON object {"error": message}.
    static CDevServerResponse error(int status, const QString& message);
    static QByteArray reasonPhrase(int status);
};
