#pragma once

#include "downloader/cdownloadtask.h"
#include "downloader/cfilepiece.h"
#include "downloader/cnetworkerror.h"
#include "downloader/downloadtaskrecord.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QReadWriteLock>

#include <atomic>
#include <memory>

class CFileSizeRequest;
class CHttpDownloadHelper;
class CHttpDownloadWorker;
class QThread;

// Downloads one file over HTTP into the part file "<destination>.bvpart", in byte-range pieces fetched by
// workers on threads of their own, and renames the part file to the destination when every piece is in.
//
// An interrupted download (stopped, failed, or its process killed) goes on at the next start from the part
// file and the journal of its directory, fetching only what is missing, as long as the server still reports
// the same size and validator (ETag, else Last-Modified) for it; otherwise it starts over. Every range is
// asked for with that validator in If-Range, so a file replaced on the server mid-way ends the download with
// an error instead of a file that is half old, half new.
//
// A start runs as a chain on the thread the task lives on, which it never blocks: the size request (see
// CFileSizeRequest), then the resume plan or a fresh part file, then the workers.
//
// Lives on the thread that created it (the manager's); all its slots run there, and `requirePiece` is the
// only call that workers make into it (blocking queued, so it too runs here). Shared with the workers:
// the downloaded counter (atomic) and nothing else; the pending pieces are guarded by `m_mutex`, the task
// record by `m_journalLock`, always taken mutex first; the journal locks itself.
//
// Every start that ends reports exactly once: `finished` alone on success, `errorReceived` then `finished`
// on failure. `stop` ends a download without either, also while the size is being asked for.
class CHttpDownloadTask : public CDownloadTask
{
    Q_OBJECT

public:
    static constexpr int DefaultThreadCount = 5;
    static const QString PartSuffix; // ".bvpart"

    CHttpDownloadTask(const QString& url, const QString& path, QObject* parent = nullptr);
    ~CHttpDownloadTask() override;

    // Takes effect only while the task is idle; a count below 1 is ignored, since no worker would ever end
    // the download.
    void setThreadCount(int count);
    int threadCount() const { return m_threads; }

    void start() override;
    void stop() override;

    // The largest range one request fetches: ("program/chunksize" + 8) x 65536 bytes.
    static qint64 chunkSize();
    static qint64 chunkSizeFor(int setting);
    // "program/stalltimeout" in milliseconds, at least one second.
    static int stallTimeoutMs();

    // A copy of the task record with the bytes received so far.
    DownloadTaskRecord record() const;
    CNetworkError error() const { return m_error; }
    // The URL as given.
    QString url() const { return m_record.url; }
    QString partPath() const;
    QString journalPath() const;
    // Workers created by the last start.
    int startedWorkerCount() const { return m_startedWorkers; }

signals:
    void finished();
    void downloadProgress(qint64 byteDownloaded, qint64 totalBytes);
    void errorReceived(CNetworkError errorInfo);
    void fileSizeReceived(qint64 fileSize);
    void latencyMeasured(qint64 latency);

public slots:
    void slotWorkerFinished();
    void slotPieceFinished(int pieceID);
    void slotError(CNetworkError errorInfo);
    void slotPieceProgressChanged(int pieceId, qint64 doneBytes);
    // Hands the next pending piece to a worker: *bSucess false and an id of -1 when none is left or the task
    // has been stopped or has failed.
    Q_INVOKABLE void requirePiece(bool* bSucess, CFilePiece* piece);
    // requirePiece for `worker`, which gets no piece unless it is one of the workers of the current start:
    // a worker stopped earlier may still ask after the task has been started again.
    Q_INVOKABLE void requirePieceFor(CHttpDownloadWorker* worker, bool* bSucess, CFilePiece* piece);

private slots:
    void slotWorkerThreadFinished();

private:
    // The second link of the chain: the size request has answered.
    void sizeReceived();
    // Takes the journal's record of this download when the part file can go on from it; false otherwise.
    // True as well when it could, but the disk has no room for the rest: the download has failed then.
    bool resumeFromJournal(qint64 size);
    // False, and the download failed, when the destination's volume has less than `bytes` free.
    bool checkFreeSpace(qint64 bytes);
    // Checks the free space for `bytes` and creates the part file at full size; false with the error set.
    bool createPartFile(qint64 bytes);
    void startWorkers();
    void completeDownload();
    // Writes the journal (synced with `onDisk`); false with the error set (a download whose progress cannot be
    // kept fails).
    bool writeJournal(bool onDisk = false);
    // Emits errorReceived (the error record) and finished, and leaves the task idle.
    void fail();
    void failWith(const QString& message);
    // Stops the workers: they get no further piece, their signals are no longer heard, and their threads
    // end; each worker is deleted on its thread as it ends.
    void stopWorkers();
    // What the workers report. A worker of an earlier start is not heard, nor one that has been stopped,
    // except for the bytes it wrote: those stay journalled until the next start.
    void pieceProgressChanged(CHttpDownloadWorker* worker, int pieceId, qint64 doneBytes);
    void pieceFinished(CHttpDownloadWorker* worker, int pieceId);
    void workerError(CHttpDownloadWorker* worker, const CNetworkError& error);
    void workerFinished(CHttpDownloadWorker* worker);

    DownloadTaskRecord m_record;
    QString m_rangeUrl; // where the size request ended, after redirects
    int m_threads = DefaultThreadCount;
    qint64 m_pieceSize = 0;
    std::shared_ptr<CHttpDownloadHelper> m_journal;
    mutable QMutex m_mutex;
    mutable QReadWriteLock m_journalLock;
    CNetworkError m_error;
    QList<CFilePiece> m_pending;
    QList<CHttpDownloadWorker*> m_workers; // of the current start, running: identities only, never dereferenced
    int m_generation = 0;                  // counts the starts and stops, so that stale reports are told apart
    int m_startCount = 0;                  // progress of a stopped start is still journalled, until the next start
    QHash<QThread*, CHttpDownloadWorker*> m_workerThreads; // every worker whose thread has not been reaped yet
    bool m_stopped = false;
    int m_startedWorkers = 0;
    // Bytes received, counted by the workers of the current start; each start gets a counter of its own, so
    // that workers stopped before cannot count into it.
    std::shared_ptr<std::atomic<qint64>> m_downloaded;

    CFileSizeRequest* m_sizeRequest; // a child: asks for the size at every start
};

Q_DECLARE_METATYPE(bool*)
