#pragma once

#include "downloader/cnetworkerror.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks a server for the size of a file with HEAD without holding up the thread it lives on: the answer
// comes as `finished`. Up to three attempts; redirects are followed here, not by the network layer (which
// merges the header fields of the redirect into those of the final answer on a kept connection,
// "Content-Length: 169, 327683"), and are answers rather than failed attempts; more than 10 of them, or one
// from HTTPS to HTTP, end the request. An attempt the server leaves unanswered for the stall time-out is
// given up. On the way it learns the file's validator and the address the request ended at, which is where
// the ranges are asked for.
//
// Every start ends with exactly one `finished`, unless abort() or the destructor comes first: after either,
// nothing more is emitted and no reply is heard.
class CFileSizeRequest : public QObject
{
    Q_OBJECT

public:
    static constexpr int Attempts = 3;

    explicit CFileSizeRequest(QObject* parent = nullptr);
    ~CFileSizeRequest() override;

    // Asks for the size of the file at `url`, requested exactly as given; a request under way is abandoned
    // first.
    void start(const QString& url, int stallTimeoutMs);
    // Abandons the request under way without a word.
    void abort();
    bool isRunning() const { return m_running; }

    // The answer, once `finished` has come: the size, 0 when the reply carried no usable Content-Length
    // (error() then says so), -1 when no attempt got an answer (error() says why).
    qint64 size() const { return m_size; }
    CNetworkError error() const { return m_error; }
    // The file's strong ETag, else its Last-Modified; empty when the server sent neither.
    QString validator() const { return m_validator; }
    // Where the request ended, after redirects.
    QString address() const { return m_address.toString(); }

signals:
    void finished();

private:
    // Sends the next attempt, or gives up when none is left.
    void send();
    void replyFinished();
    void stalled();
    void giveUp();
    void finish(qint64 size);
    QNetworkAccessManager* manager();

    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr; // the attempt under way; owned by m_manager
    QTimer m_stall;
    QUrl m_address;
    int m_stallMs = 0;
    int m_attempt = 0;
    int m_redirects = 0;
    bool m_stalled = false;
    bool m_running = false;
    CNetworkError m_lastError; // of the last failed attempt
    CNetworkError m_error;
    qint64 m_size = -1;
    QString m_validator;
};
