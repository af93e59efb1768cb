#pragma once

#include <QHostAddress>
#include <QObject>

class CDevServerState;
class QTcpServer;

// Accepts the development service's connections on the service's own thread.
class CDevServerListener : public QObject
{
    Q_OBJECT

public:
    explicit CDevServerListener(CDevServerState& state, QObject* parent = nullptr);

    // Both run on the listener's thread. listen() closes an earlier listening socket first.
    bool listen(const QHostAddress& address, quint16 port);
    // Stops listening and drops every open connection.
    void close();

signals:
    void requestServed(const QString& method, const QString& target, int status);

private slots:
    void onNewConnection();

private:
    CDevServerState& m_state;
    QTcpServer* m_server = nullptr;
    int m_connectionCount = 0;
};
