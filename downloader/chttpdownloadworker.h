#pragma once

#include "downloader/cfilepiece.h"
#include "downloader/cnetworkerror.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <atomic>
#include <memory>

class QFile;
class QNetworkAccessManager;

// Fetches pieces of one download, range by range, and writes what arrives straight to its place in the part
// file. Created without parent, moved to a thread of its own and started by the thread's `started`; it asks
// the task for one piece after the other until none is left, then emits `completed` and ends its thread.
//
// The piece is written with positioned writes on the worker's own unbuffered handle rather than through a
// memory mapping: on a sparse part file every first touch of a mapped page reads (zero-fills) the page before
// the copy overwrites it, which measured at up to twice the time of the whole transfer. Positioned writes
// keep the worker's memory flat as well: nothing of the piece stays resident in the process.
//
// Everything here runs on the worker's thread except construction and destruction, which the task does
// while the thread is not running. The worker trusts no reply: the status must be 206, the Content-Range
// must name exactly the range asked for and the file size the task learned, and the body may not be longer
// than the range. Nothing is ever written outside the piece: lengths are checked before every write.
class CHttpDownloadWorker : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryBudget = 3;

    // `pieceSource` hands out the pieces: the worker calls its invokable requirePieceFor(CHttpDownloadWorker*,
    // bool*, CFilePiece*) on the source's thread and waits for the answer. `downloaded` is the counter of the
    // task's current start; the worker adds every byte it writes.
    CHttpDownloadWorker(QObject* pieceSource, std::shared_ptr<std::atomic<qint64>> downloaded, const QString& url,
                        const QString& partPath, qint64 fileSize, qint64 chunkSize);
    ~CHttpDownloadWorker() override;

    // "Brelvar.FMS.Client.<version>".
    static QByteArray userAgent();
    // A request of the engine: server name indication switched off for https, and the given User-Agent.
    static QNetworkRequest newRequest(const QString& url, const QByteArray& userAgent);

signals:
    void completed();
    void pieceFinished(int id);
    void pieceProgressChanged(int id, qint64 doneByte);
    void downloadPartNotify(qint64 bytesDownloaded, qint64 bytesTotal);
    void taskError(CNetworkError errorInfo);
    void pieceLatencyMeasured(qint64 latency);

public slots:
    void doWork();
    void slotReplyFinished();
    void slotReplyDownloadUpdated();
    void slotError(QNetworkReply::NetworkError code);
    Q_INVOKABLE void stop();
    // Run on the worker's thread as it ends, so that the network objects die on the thread they live on.
    void releaseResources();

private:
    void downloadCurrentPiece();
    bool openPiece();
    // Checks status and headers of the current reply once; false (with the error set) when they lie.
    bool checkReply(QNetworkReply* reply);
    void readAvailable(QNetworkReply* reply);
    // A reply that breaks the rules ends the worker at once; no retry can make the server honest.
    void failReply(const QString& message);
    void endWithError();
    void endThread();
    void dropReply();

    QObject* m_pieceSource;
    std::shared_ptr<std::atomic<qint64>> m_downloaded;
    QString m_url;
    QString m_partPath;
    qint64 m_fileSize;
    qint64 m_chunkSize;

    CNetworkError m_error;
    CFilePiece m_piece;
    int m_retries = RetryBudget;
    QSharedPointer<QFile> m_file;
    QSharedPointer<QNetworkAccessManager> m_manager;
    QNetworkReply* m_reply = nullptr;
    qint64 m_latency = 0;
    qint64 m_requestStart = 0;
    bool m_latencyMeasured = false;

    // The range of the current request.
    qint64 m_rangeFrom = 0;
    qint64 m_rangeLength = 0;
    qint64 m_rangeReceived = 0;
    bool m_replyChecked = false;  // status and headers looked at
    bool m_replyAccepted = false; // ... and found to be the range asked for
    bool m_replyRejected = false;
    bool m_ended = false;
};
