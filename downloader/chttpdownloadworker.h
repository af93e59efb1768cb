#pragma once

#include "downloader/cfilepiece.h"
#include "downloader/cnetworkerror.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class QNetworkAccessManager;

// What a worker fetches and where it puts it.
struct CDownloadSource
{
    QString url;       // where the ranges are asked for: the address the size request ended at
    QString partPath;  // the part file, created at full size
    QString validator; // sent as If-Range, and compared with what each range reply names; may be empty
    qint64 fileSize = 0;
    qint64 chunkSize = 0;   // the longest range one request asks for
    int stallTimeoutMs = 0; // a request that receives nothing for this long is given up
};

// Fetches pieces of one download, range by range, and writes what arrives straight to its place in the part
// file. Moved to a thread of its own and started by the thread's `started`, it asks the task for one piece
// after the other until none is left, then emits `completed` and ends its thread. The task stops it by
// ending its thread: the request under way is dropped as the thread ends (releaseResources), and the task
// deletes the worker afterwards.
//
// The piece is written with positioned writes on the worker's own unbuffered handle rather than through a
// memory mapping: on a sparse part file every first touch of a mapped page reads (zero-fills) the page before
// the copy overwrites it, which measured at up to twice the time of the whole transfer. Positioned writes
// keep the worker's memory flat as well: nothing of the piece stays resident in the process.
//
// Everything here runs on the worker's thread except construction and destruction, which the task does
// while the thread is not running. The worker trusts no reply: the status must be 206, the Content-Range must name
// exactly the range asked for and the file size the task learned, a validator in the reply must be the one the task
// learned, and the body may not be longer than the range. Nothing is ever written outside the piece: lengths are
// checked before every write.
class CHttpDownloadWorker : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryBudget = 3;

    // `pieceSource` hands out the pieces: the worker calls its invokable requirePieceFor(CHttpDownloadWorker*,
    // bool*, CFilePiece*) on the source's thread and waits for the answer. `downloaded` is the counter of the
    // task's current start; the worker adds every byte it writes.
    CHttpDownloadWorker(QObject* pieceSource, std::shared_ptr<std::atomic<qint64>> downloaded,
                        const CDownloadSource& source);
    ~CHttpDownloadWorker() override;

    // "Brelvar.FMS.Client.<version>".
    static QByteArray userAgent();
    // A request of the engine: server name indication switched off for https, the given User-Agent, and
    // redirects followed up to CNetworkError::MaxRedirects, never from https to http.
    static QNetworkRequest newRequest(const QString& url, const QByteArray& userAgent);
    // Stops listening to `reply`, aborts it and deletes it later; `reply` becomes null. Aborting makes a reply
    // report its end at once, which `listener` must not hear any more.
    static void abandonReply(QNetworkReply*& reply, QObject* listener);

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
    // Run on the worker's thread as it ends, so that the network objects die on the thread they live on.
    void releaseResources();

private:
    void downloadCurrentPiece();
    bool openPiece();
    // Checks status and headers of the current reply once; false (with the error set) when they lie.
    bool checkReply(QNetworkReply* reply);
    void readAvailable(QNetworkReply* reply);
    // Writes `data` at `position` of the part file; the reason when that fails, else empty.
    QString writeAt(qint64 position, const QByteArray& data);
    // A reply that breaks the rules ends the worker at once; no retry can make the server honest.
    void failReply(const QString& message);
    void checkStall();
    void endWithError();
    void endThread();
    void dropReply();

    QObject* m_pieceSource;
    std::shared_ptr<std::atomic<qint64>> m_downloaded;
    const CDownloadSource m_source;

    CNetworkError m_error;
    CFilePiece m_piece;
    int m_retries = RetryBudget;
    QFile m_file;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    qint64 m_latency = 0;
    qint64 m_requestStart = 0;
    bool m_latencyMeasured = false;
    QTimer m_stallTimer;
    QElapsedTimer m_sinceData; // since the request was sent or its last bytes arrived

    // The range of the current request.
    qint64 m_rangeFrom = 0;
    qint64 m_rangeLength = 0;
    qint64 m_rangeReceived = 0;
    bool m_replyChecked = false;  // status and headers looked at
    bool m_replyAccepted = false; // ... and found to be the range asked for
    bool m_replyRejected = false;
    bool m_stalled = false;
    bool m_ended = false;
};
