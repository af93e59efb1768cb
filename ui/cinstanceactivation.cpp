#include "cinstanceactivation.h"

#include "foundation/clogger.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace
{
const QByteArray RequestLine = QByteArrayLiteral("ACTIVATE\n");
}

CInstanceActivation::CInstanceActivation(const QString& guardKey, QObject* parent)
    : QObject(parent)
    , m_name(serverName(guardKey))
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket]() {
                // Anything but the one request line is ignored: any local program may connect.
                if (socket->bytesAvailable() < RequestLine.size())
                    return;
                if (socket->read(RequestLine.size()) == RequestLine) {
                    BV_LOG(1, QStringLiteral("Another start asked to show the window."));
                    emit activationRequested();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

QString CInstanceActivation::serverName(const QString& guardKey)
{
    // Socket names become file names on Linux: the key's braces and dashes are kept out.
    const QByteArray hash = QCryptographicHash::hash(guardKey.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("tessaray-window-%0").arg(QLatin1String(hash));
}

bool CInstanceActivation::listen()
{
    QLocalServer::removeServer(m_name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        BV_LOG(1, QStringLiteral("Window activation socket unavailable: %0").arg(m_server->errorString()));
        return false;
    }
    return true;
}

bool CInstanceActivation::askRunningInstance(const QString& guardKey, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(guardKey));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(RequestLine);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}
