#include "cdevserverlistener.h"

#include "cdevserverconnection.h"
#include "cdevserverstate.h"

#include <QTcpServer>
#include <QTcpSocket>

CDevServerListener::CDevServerListener(CDevServerState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
{
}

bool CDevServerListener::listen(const QHostAddress& address, quint16 port)
{
    close();
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &CDevServerListener::onNewConnection);
    if (!m_server->listen(address, port)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    m_state.setEndpoint(address, m_server->serverPort());
    return true;
}

void CDevServerListener::close()
{
    delete m_server;
    m_server = nullptr;
    const QList<CDevServerConnection*> connections =
        findChildren<CDevServerConnection*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
}

void CDevServerListener::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* connection = new CDevServerConnection(socket, ++m_connectionCount, m_state, this);
        connect(connection, &CDevServerConnection::requestServed, this, &CDevServerListener::requestServed);
    }
}
