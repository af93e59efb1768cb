#pragma once

#include <QLocalSocket>
#include <QObject>

// Talks to the agent program's local socket server. The one message the program sends asks the agent
// to quit; nothing is read back, and a missing agent is only logged.
class CLocalSocketIpcClient : public QObject
{
    Q_OBJECT

public:
    static const QString ServerName;  // "BVFMSAgentService"
    static const QString QuitMessage; // "LOCAL_SOCKET_MESSAGE_QUIT"

    explicit CLocalSocketIpcClient(QObject* parent = nullptr);

    // Aborts any connection in progress, so two calls in a row deliver one message.
    void sendQuit();
    void sendMessage(const QString& message);

    // A QString serialized by QDataStream version 13: 32-bit big-endian byte count, then UTF-16BE.
    static QByteArray encodeMessage(const QString& message);

    // Lets tests talk to a server of their own.
    void setServerName(const QString& serverName) { m_serverName = serverName; }

private slots:
    void socketConnected();
    void socketDisconnected();
    void socketReadyRead();
    void socketError(QLocalSocket::LocalSocketError error);

private:
    QLocalSocket* m_socket;
    QString m_message;
    // Set by sendMessage, cleared by the one write it allows: a connection that was aborted by a second
    // call must not deliver the message a second time.
    bool m_writePending = false;
    QString m_serverName;
};
