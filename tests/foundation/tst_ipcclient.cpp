#include "foundation/clocalsocketipcclient.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QUuid>
#include <QtTest>

// The agent's side of the link, as a real local socket server: records every connection's bytes.
class AgentStandIn : public QObject
{
    Q_OBJECT

public:
    explicit AgentStandIn(const QString& name)
    {
        QLocalServer::removeServer(name);
        server.listen(name);
        connect(&server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server.nextPendingConnection()) {
                const int index = received.size();
                received.append(QByteArray());
                connect(socket, &QLocalSocket::readyRead, this,
                        [this, socket, index] { received[index] += socket->readAll(); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QByteArray allBytes() const { return received.join(); }

    QLocalServer server;
    QList<QByteArray> received;
};

class TestIpcClient : public QObject
{
    Q_OBJECT

private slots:
    void quitReachesAgentOnce_data()
    {
        QTest::addColumn<int>("sends");
        QTest::newRow("one quit") << 1;
        QTest::newRow("two quits deliver one message") << 2;
    }
    void quitReachesAgentOnce()
    {
        QFETCH(int, sends);
        const QString name = uniqueName();
        AgentStandIn agent(name);
        QVERIFY(agent.server.isListening());

        CLocalSocketIpcClient client;
        client.setServerName(name);
        for (int i = 0; i < sends; ++i)
            client.sendQuit();
        QTRY_COMPARE_WITH_TIMEOUT(agent.allBytes(), expectedQuitBytes(), 5000);
        // Give a second copy every chance to arrive before concluding that there is none.
        QTest::qWait(300);
        QCOMPARE(agent.allBytes(), expectedQuitBytes());
    }

    void missingAgentIsHarmless()
    {
        CLocalSocketIpcClient client;
        client.setServerName(uniqueName());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Socket error:")));
        client.sendQuit();
        QTest::qWait(100);
    }

private:
    static QString uniqueName()
    {
        return QStringLiteral("tessaray-test-") + QUuid::createUuid().toString(QUuid::Id128);
    }

    static QByteArray expectedQuitBytes()
    {
        // 32-bit big-endian byte count, then UTF-16 big-endian characters.
        const QString text = QStringLiteral("LOCAL_SOCKET_MESSAGE_QUIT");
        QByteArray bytes;
        const quint32 length = quint32(text.size() * 2);
        bytes.append(char(length >> 24)).append(char(length >> 16)).append(char(length >> 8)).append(char(length));
        for (const QChar c : text)
            bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
        return bytes;
    }
};

QTEST_GUILESS_MAIN(TestIpcClient)
#include "tst_ipcclient.moc"
