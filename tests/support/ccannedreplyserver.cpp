#include "ccannedreplyserver.h"

#include <QMetaObject>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace
{
const QMap<int, QByteArray> reasons{
    {200, "OK"}, {302, "Found"}, {401, "Unauthorized"}, {404, "Not Found"}, {500, "Internal Server Error"}};
}

CCannedReplyServer::CCannedReplyServer()
    : m_thread(new QThread)
    , m_context(new QObject)
{
    m_thread->setObjectName(QStringLiteral("canned replies"));
    m_context->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_context,
        [this]() {
            m_server = new QTcpServer(m_context);
            QObject::connect(m_server, &QTcpServer::newConnection, m_context, [this]() { accept(); });
            if (m_server->listen(QHostAddress::LocalHost))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

CCannedReplyServer::~CCannedReplyServer()
{
    QMetaObject::invokeMethod(
        m_context, [this]() { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

QString CCannedReplyServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void CCannedReplyServer::setReply(const QString& path, const Reply& reply)
{
    QMutexLocker locker(&m_mutex);
    m_replies.insert(path, reply);
}

QStringList CCannedReplyServer::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

void CCannedReplyServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
            // The whole request: headers, then as many body bytes as Content-Length says.
            const QByteArray received = socket->peek(socket->bytesAvailable());
            const int headerEnd = received.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = received.left(headerEnd).split('\n');
            qint64 bodyLength = 0;
            for (const QByteArray& line : lines) {
                if (line.toLower().startsWith("content-length:"))
                    bodyLength = line.mid(15).trimmed().toLongLong();
            }
            if (received.size() < headerEnd + 4 + bodyLength)
                return;
            socket->read(headerEnd + 4 + bodyLength);

            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            const QString target = QString::fromLatin1(requestLine.value(1));
            Reply reply{404, "{\"error\": \"not found\"}", -1};
            {
                QMutexLocker locker(&m_mutex);
                m_requests.append(QString::fromLatin1(requestLine.value(0)) + QLatin1Char(' ') + target);
                reply = m_replies.value(target.section(QLatin1Char('?'), 0, 0), reply);
            }
            const qint64 announced = reply.announcedLength < 0 ? reply.body.size() : reply.announcedLength;
            socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasons.value(reply.status) +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(announced) +
                          "\r\nConnection: close\r\n\r\n" + reply.body);
            if (announced == reply.body.size())
                socket->disconnectFromHost();
        });
    }
}
