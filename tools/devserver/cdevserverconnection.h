#pragma once

#include "cdevserverrecords.h"
#include "cdevserverresponse.h"
#include "cdevserverrouter.h"
#include "chttprequestparser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

class CDevServerState;
class QTcpSocket;

// One client connection of the development service. Reads requests one after the other (keep-alive),
// answers each through the router, and streams file bodies in slices as the socket drains, so that a large
// file is never held in memory. Faults shape the delivery: delay, Content-Length, drop, throttle.
// Lives on the service's thread and deletes itself when the peer goes away.
class CDevServerConnection : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `socket`.
    CDevServerConnection(QTcpSocket* socket, int number, CDevServerState& state, QObject* parent = nullptr);
    ~CDevServerConnection() override;

signals:
    void requestServed(const QString& method, const QString& target, int status);

private slots:
    void onReadyRead();
    void onBytesWritten();
    void processBuffer();
    void sendHead();
    void pump();

private:
    void startResponse(const CHttpRequest& request);
    void startErrorResponse(int status, const QString& message);
    void finishResponse();
    // Bytes the throttle lets out now (refilling the bucket first); 0 means wait `waitMs`.
    qint64 throttleAllowance(qint64* waitMs);
    void closeConnection();
    // Closing a socket with unread input makes the system reset the connection, and the peer may lose the
    // answer; so after refusing a request, read and discard until the peer has been quiet for a moment.
    void lingerAndClose();

    // How much the socket may hold unsent before the pump waits for it to drain.
    static constexpr qint64 MaxPendingBytes = 512 * 1024;
    static constexpr qint64 SliceBytes = 64 * 1024;
    static constexpr int LingerQuietMs = 250;
    static constexpr int LingerLimitMs = 3000;

    QTcpSocket* m_socket;
    int m_number;
    CDevServerState& m_state;
    CDevServerRouter m_router;
    CHttpRequestParser m_parser;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_closing = false;
    bool m_lingering = false;
    QElapsedTimer m_lingerClock;

    // The answer being delivered.
    CDevServerResponse m_response;
    CDevServerFault m_fault;
    QString m_method;
    QString m_target;
    bool m_headOnly = false;
    bool m_closeAfter = false;
    bool m_refused = false; // the request could not be framed: linger before closing
    QFile m_file;
    qint64 m_sent = 0;
    // The throttle is a token bucket of the connection, not of one answer: like a capped link it lets a
    // client that sends many short range requests on one connection have the same rate as one that sends
    // a long one, with no more than 10 ms worth of burst after a pause.
    QElapsedTimer m_throttleClock;
    qint64 m_throttleRefilledNs = 0;
    double m_throttleBudget = 0;
    QTimer m_timer; // delay before the head, and pauses of the throttle
};
