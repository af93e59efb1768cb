#pragma once

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

class QObject;
class QTcpServer;
class QThread;

// A loopback HTTP server on a thread of its own that answers each path with a reply the test sets: for the
// replies of a broken or lying web service (wrong member types, empty bodies, endless bodies) that the
// development service never gives. Works while the test blocks (a tessaray-cli run).
class CCannedReplyServer
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        // A larger length is announced and the connection stays open after the body, as a server that
        // promises more than it sends; -1 announces the body's own length.
        qint64 announcedLength = -1;
    };

    CCannedReplyServer();
    ~CCannedReplyServer();
    CCannedReplyServer(const CCannedReplyServer&) = delete;
    CCannedReplyServer& operator=(const CCannedReplyServer&) = delete;

    bool isListening() const { return m_port != 0; }
    QString baseUrl() const;
    // Answers every request for `path` (compared without its query) with `reply`; unknown paths get 404.
    void setReply(const QString& path, const Reply& reply);
    // "GET /path?query" for every request so far.
    QStringList requests() const;

private:
    void accept();

    QThread* m_thread;
    QObject* m_context; // lives on m_thread, with the server below it
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex; // guards the two below
    QMap<QString, Reply> m_replies;
    QStringList m_requests;
};
