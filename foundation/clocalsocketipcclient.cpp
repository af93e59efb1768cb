#include "clocalsocketipcclient.h"

#include <QDataStream>
#include <QDebug>

const QString CLocalSocketIpcClient::ServerName = QStringLiteral("BVFMSAgentService");
const QString CLocalSocketIpcClient::QuitMessage = QStringLiteral("LOCAL_SOCKET_MESSAGE_QUIT");

CLocalSocketIpcClient::CLocalSocketIpcClient(QObject* parent)
    : QObject(parent)
    , m_socket(new QLocalSocket(this))
    , m_serverName(ServerName)
{
    // Queued, so that a second sendMessage right after the first aborts the first connection before
    // anything has been written on it.
    connect(m_socket, &QLocalSocket::connected, this, &CLocalSocketIpcClient::socketConnected, Qt::QueuedConnection);
    connect(m_socket, &QLocalSocket::disconnected, this, &CLocalSocketIpcClient::socketDisconnected);
    connect(m_socket, &QLocalSocket::readyRead, this, &CLocalSocketIpcClient::socketReadyRead);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &CLocalSocketIpcClient::socketError);
}

void CLocalSocketIpcClient::sendQuit()
{
    sendMessage(QuitMessage);
}

void CLocalSocketIpcClient::sendMessage(const QString& message)
{
    m_socket->abort();
    m_message = message;
    m_writePending = true;
    m_socket->connectToServer(m_serverName, QIODevice::ReadWrite);
}

QByteArray CLocalSocketIpcClient::encodeMessage(const QString& message)
{
    QByteArray block;
    QDataStream out(&block, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_0);
    out << message;
    return block;
}

void CLocalSocketIpcClient::socketConnected()
{
    if (!m_writePending || m_socket->state() != QLocalSocket::ConnectedState)
        return;
    m_writePending = false;
    m_socket->write(encodeMessage(m_message));
    m_socket->flush();
}

void CLocalSocketIpcClient::socketDisconnected()
{
    qDebug() << "Socket disconnected.";
}

void CLocalSocketIpcClient::socketReadyRead()
{
    qDebug() << "Socket ready read";
}

void CLocalSocketIpcClient::socketError(QLocalSocket::LocalSocketError error)
{
    qDebug() << "Socket error:" << error << m_socket->errorString();
}
