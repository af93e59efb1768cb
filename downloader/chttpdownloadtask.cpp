#include "chttpdownloadtask.h"

#include "downloader/cfilesizerequest.h"
#include "downloader/cfileutils.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadworker.h"
#include "downloader/cresumeplan.h"
#include "downloader/threadhandover.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QReadLocker>
#include <QStorageInfo>
#include <QThread>
#include <QWriteLocker>

const QString CHttpDownloadTask::PartSuffix = QStringLiteral(".bvpart");

namespace
{
QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1);
}

// The folder itself, or the nearest one above it that exists: where the free space of a folder yet to be
// made is found.
QString existingFolder(const QString& folder)
{
    QString path = QDir::cleanPath(folder);
    while (!QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    return path;
}
} // namespace

CHttpDownloadTask::CHttpDownloadTask(const QString& url, const QString& path, QObject* parent)
    : CDownloadTask(path, parent)
{
    m_record.url = url;
    m_record.path = fullPath();
    m_record.threads = DefaultThreadCount;
    m_record.size = -1;
    m_downloaded = std::make_shared<std::atomic<qint64>>(0);
    m_sizeRequest = new CFileSizeRequest(this);
    connect(m_sizeRequest, &CFileSizeRequest::finished, this, &CHttpDownloadTask::sizeReceived);
    // Types of the blocking call that workers make into the task.
    qRegisterMetaType<bool*>("bool*");
    qRegisterMetaType<CFilePiece*>("CFilePiece*");
    qRegisterMetaType<CHttpDownloadWorker*>("CHttpDownloadWorker*");
    qRegisterMetaType<CNetworkError>();
}

CHttpDownloadTask::~CHttpDownloadTask()
{
    setState(Idle); // reports journalled below must not fail a download that is going away
    m_sizeRequest->abort();
    stopWorkers();
    // A worker may be waiting in requirePiece for this thread, which hands it "no piece", after which it
    // ends its thread; what the workers reported on the way is journalled, so that the next start goes on
    // from there.
    for (auto it = m_workerThreads.cbegin(); it != m_workerThreads.cend(); ++it) {
        while (!it.key()->wait(20))
            QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    for (auto it = m_workerThreads.cbegin(); it != m_workerThreads.cend(); ++it) {
        takeOver(it.value());
        delete it.value();
    }
}

void CHttpDownloadTask::setThreadCount(int count)
{
    if (state() != Idle || count < 1)
        return;
    m_threads = count;
    m_record.threads = count;
}

qint64 CHttpDownloadTask::chunkSize()
{
    return chunkSizeFor(CSettings::intValue(SettingsKey::ChunkSize));
}

qint64 CHttpDownloadTask::chunkSizeFor(int setting)
{
    return (qint64(setting) + 8) * 65536;
}

int CHttpDownloadTask::stallTimeoutMs()
{
    return qBound(1, CSettings::intValue(SettingsKey::StallTimeout), 24 * 3600) * 1000;
}

DownloadTaskRecord CHttpDownloadTask::record() const
{
    QReadLocker locker(&m_journalLock);
    DownloadTaskRecord copy = m_record;
    DownloadTaskRecord journalled;
    if (m_journal && m_journal->loadRecord(m_record.url, &journalled))
        copy.pieces = journalled.pieces;
    copy.downloaded = m_downloaded->load(std::memory_order_relaxed);
    return copy;
}

QString CHttpDownloadTask::partPath() const
{
    return fullPath() + PartSuffix;
}

QString CHttpDownloadTask::journalPath() const
{
    return directory() + QLatin1Char('/') + CHttpDownloadHelper::FileName;
}

void CHttpDownloadTask::start()
{
    if (state() == Running)
        return;
    setState(Running);
    ++m_startCount;
    m_stopped = false;
    m_error = CNetworkError();
    m_downloaded = std::make_shared<std::atomic<qint64>>(0);
    m_startedWorkers = 0;
    {
        QMutexLocker locker(&m_mutex);
        m_pending.clear();
    }

    if (QFileInfo(fullPath()).isDir()) {
        failWith(QStringLiteral("The destination %0 is a folder.").arg(fullPath()));
        return;
    }
    m_journal = CHttpDownloadHelper::shared(journalPath());

    m_sizeRequest->start(m_record.url, stallTimeoutMs());
}

void CHttpDownloadTask::sizeReceived()
{
    // A stop abandons the request, so an answer comes only to the start under way.
    if (state() != Running)
        return;
    const qint64 size = m_sizeRequest->size();
    if (size >= 0) {
        m_rangeUrl = m_sizeRequest->address();
        m_record.validator = m_sizeRequest->validator();
        QPointer<CHttpDownloadTask> alive(this);
        emit fileSizeReceived(size);
        if (!alive || state() != Running)
            return;
    }
    m_error = m_sizeRequest->error();
    if (size == 0) {
        // Nothing to cut into pieces, and an empty file is not what any package is: report it rather than
        // replace the destination with nothing.
        failWith(
            QStringLiteral("The server reported no usable size for %0 (no Content-Length, or 0).").arg(m_record.url));
        return;
    }
    if (size == -1) {
        if (!m_error.hasError())
            m_error.setMessage(QStringLiteral("Unable to retrieve file header."));
        fail();
        return;
    }

    bool fresh = false;
    if (!resumeFromJournal(size)) {
        {
            QWriteLocker locker(&m_journalLock);
            m_record.size = size;
            m_record.path = fullPath();
            m_record.threads = m_threads;
            m_record.offset = 0;
            m_record.pieces.clear();
        }
        m_pieceSize = CResumePlan::pieceSize(size, m_threads, chunkSize());
        if (!createPartFile(size))
            return;
        fresh = true;
    } else if (state() != Running) {
        return; // there is no room for the rest
    }
    {
        QReadLocker locker(&m_journalLock);
        m_journal->addRecord(m_record);
    }
    if (!writeJournal(true)) {
        if (fresh)
            CFileUtils::removeFile(partPath());
        fail();
        return;
    }
    startWorkers();
}

bool CHttpDownloadTask::resumeFromJournal(qint64 size)
{
    const CResumePlan plan = CResumePlan::fromJournal(*m_journal, m_record.url, fullPath(), partPath(), size,
                                                      m_record.validator, chunkSize());
    if (!plan.resumes) {
        if (!plan.startOverReason.isEmpty())
            BV_LOG(5, QStringLiteral("The download of %0 starts over: %1").arg(m_record.url, plan.startOverReason));
        return false;
    }
    // The part file is sparse: what is missing still needs room.
    if (!checkFreeSpace(plan.remaining))
        return true;
    BV_LOG(1, QStringLiteral("Resuming the download of %0: %1 of %2 bytes are in place.")
                  .arg(m_record.url)
                  .arg(size - plan.remaining)
                  .arg(size));
    {
        QMutexLocker locker(&m_mutex);
        QWriteLocker journalLocker(&m_journalLock);
        m_record.size = size;
        m_record.threads = plan.threads;
        m_record.offset = plan.offset;
        m_record.pieces = plan.pieces;
        m_pending = m_record.pieces;
    }
    m_pieceSize = plan.pieceBytes;
    return true;
}

bool CHttpDownloadTask::checkFreeSpace(qint64 bytes)
{
    const QString folder = existingFolder(directory());
    const qint64 free = QStorageInfo(folder).bytesAvailable();
    if (free < 0 || free >= bytes)
        return true;
    failWith(QStringLiteral("Not enough free space on %0: %1 needed, %2 free.")
                 .arg(QDir::toNativeSeparators(folder), dataSize(bytes), dataSize(free)));
    return false;
}

bool CHttpDownloadTask::createPartFile(qint64 bytes)
{
    if (!checkFreeSpace(bytes))
        return false;
    const QString part = partPath();
    QString reason;
    if (!CFileUtils::createFile(part, bytes, true, &reason)) {
        CFileUtils::removeFile(part);
        failWith(QStringLiteral("Can't Create Download File! %0: %1").arg(part, reason));
        return false;
    }
    return true;
}

bool CHttpDownloadTask::writeJournal(bool onDisk)
{
    QString reason;
    if (m_journal->write(&reason, onDisk))
        return true;
    if (!m_error.hasError())
        m_error.setMessage(QStringLiteral("Write downloadLog file failed! %0").arg(reason));
    return false;
}

void CHttpDownloadTask::startWorkers()
{
    const qint64 chunk = chunkSize();
    int workerCount = 0;
    {
        QMutexLocker locker(&m_mutex);
        m_pending += CResumePlan::missingPieces(m_record.size, m_pieceSize, m_record.offset, m_pending);
        qint64 remaining = 0;
        for (const CFilePiece& piece : qAsConst(m_pending))
            remaining += piece.remaining();
        m_downloaded->store(m_record.size - remaining);
        workerCount = qMin(m_pending.size(), m_threads);
    }
    if (workerCount == 0) {
        completeDownload();
        return;
    }

    CDownloadSource source;
    source.url = m_rangeUrl.isEmpty() ? m_record.url : m_rangeUrl;
    source.partPath = partPath();
    source.validator = m_record.validator;
    source.fileSize = m_record.size;
    source.chunkSize = chunk;
    source.stallTimeoutMs = stallTimeoutMs();
    for (int i = 0; i < workerCount; ++i) {
        auto* worker = new CHttpDownloadWorker(this, m_downloaded, source);
        // The worker is deleted on its own thread as soon as that ends, possibly before its last signals are
        // handled here: they name their worker themselves rather than through sender(), and the start they
        // belong to, since a later worker may be made at the same address.
        connect(
            worker, &CHttpDownloadWorker::completed, this,
            [this, worker, generation = m_generation]() {
                if (generation == m_generation)
                    workerFinished(worker);
            },
            Qt::QueuedConnection);
        connect(
            worker, &CHttpDownloadWorker::pieceProgressChanged, this,
            [this, worker, start = m_startCount](int id, qint64 done) {
                if (start == m_startCount)
                    pieceProgressChanged(worker, id, done);
            },
            Qt::QueuedConnection);
        connect(
            worker, &CHttpDownloadWorker::pieceFinished, this,
            [this, worker, start = m_startCount](int id) {
                if (start == m_startCount)
                    pieceFinished(worker, id);
            },
            Qt::QueuedConnection);
        connect(
            worker, &CHttpDownloadWorker::taskError, this,
            [this, worker, generation = m_generation](const CNetworkError& error) {
                if (generation == m_generation)
                    workerError(worker, error);
            },
            Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::pieceLatencyMeasured, this, &CHttpDownloadTask::latencyMeasured,
                Qt::QueuedConnection);
        m_workers.append(worker);
        ++m_startedWorkers;
        // Not CWorkerThread: that deletes the worker on its own thread, and with it the connections above,
        // whose slot objects Qt counts inside its library while this thread may still be calling them; the
        // worker is deleted here instead, once its thread has ended (slotWorkerThreadFinished).
        auto* thread = new QThread(this);
        thread->setObjectName(QStringLiteral("download worker %0").arg(i + 1));
        worker->moveToThread(thread);
        connect(thread, &QThread::started, worker, &CHttpDownloadWorker::doWork);
        connect(thread, &QThread::finished, worker, &CHttpDownloadWorker::releaseResources, Qt::DirectConnection);
        connect(thread, &QThread::finished, this, &CHttpDownloadTask::slotWorkerThreadFinished, Qt::QueuedConnection);
        m_workerThreads.insert(thread, worker);
        thread->start(QThread::InheritPriority);
    }
}

void CHttpDownloadTask::slotWorkerThreadFinished()
{
    auto* thread = qobject_cast<QThread*>(sender());
    if (!thread || !m_workerThreads.contains(thread))
        return;
    // The thread has ended: its worker runs no more and may be deleted from here.
    CHttpDownloadWorker* worker = m_workerThreads.take(thread);
    takeOver(worker);
    delete worker;
    thread->deleteLater();
}

void CHttpDownloadTask::requirePieceFor(CHttpDownloadWorker* worker, bool* bSucess, CFilePiece* piece)
{
    if (m_workers.contains(worker)) {
        requirePiece(bSucess, piece);
    } else {
        *bSucess = false;
        piece->reset();
    }
    handOver(bSucess);
    handOver(piece);
}

void CHttpDownloadTask::requirePiece(bool* bSucess, CFilePiece* piece)
{
    QMutexLocker locker(&m_mutex);
    if (m_stopped || m_error.hasError() || m_pending.isEmpty()) {
        *bSucess = false;
        piece->reset();
        return;
    }
    *bSucess = true;
    *piece = m_pending.takeFirst();

    QWriteLocker journalLocker(&m_journalLock);
    // Pieces taken up again after a restart lie below the offset already.
    m_record.offset = qMax(m_record.offset, piece->id());
    m_journal->putPiece(m_record.url, *piece);
    m_journal->setOffset(m_record.url, m_record.offset);
    if (!writeJournal(true)) {
        // The worker gets nothing; the error ends the download when it reports back.
        m_pending.prepend(*piece);
        *bSucess = false;
        piece->reset();
    }
}

void CHttpDownloadTask::slotPieceProgressChanged(int pieceId, qint64 doneBytes)
{
    pieceProgressChanged(qobject_cast<CHttpDownloadWorker*>(sender()), pieceId, doneBytes);
}

void CHttpDownloadTask::slotPieceFinished(int pieceID)
{
    pieceFinished(qobject_cast<CHttpDownloadWorker*>(sender()), pieceID);
}

void CHttpDownloadTask::slotError(CNetworkError errorInfo)
{
    workerError(qobject_cast<CHttpDownloadWorker*>(sender()), errorInfo);
}

void CHttpDownloadTask::slotWorkerFinished()
{
    workerFinished(qobject_cast<CHttpDownloadWorker*>(sender()));
}

void CHttpDownloadTask::pieceProgressChanged(CHttpDownloadWorker* worker, int pieceId, qint64 doneBytes)
{
    Q_UNUSED(worker)
    bool written = false;
    {
        QMutexLocker locker(&m_mutex);
        QWriteLocker journalLocker(&m_journalLock);
        m_journal->setCompleted(m_record.url, pieceId, doneBytes);
        written = writeJournal();
    }
    if (!written && state() == Running)
        fail();
}

void CHttpDownloadTask::pieceFinished(CHttpDownloadWorker* worker, int pieceId)
{
    bool written = true;
    {
        QMutexLocker locker(&m_mutex);
        QWriteLocker journalLocker(&m_journalLock);
        // A worker also lets go of a piece it failed on or was stopped in; that piece stays in the journal.
        if (m_workers.contains(worker) && !m_error.hasError()) {
            m_journal->removePiece(m_record.url, pieceId);
            written = writeJournal(true);
        }
    }
    if (!written) {
        if (state() == Running)
            fail();
        return;
    }
    emit downloadProgress(m_downloaded->load(std::memory_order_relaxed), m_record.size);
}

void CHttpDownloadTask::workerError(CHttpDownloadWorker* worker, const CNetworkError& error)
{
    // The first error is the cause; later ones are the echo of stopping the rest.
    if (m_workers.contains(worker) && !m_error.hasError())
        m_error = error;
}

void CHttpDownloadTask::workerFinished(CHttpDownloadWorker* worker)
{
    if (!m_workers.removeOne(worker))
        return;
    if (m_error.hasError()) {
        fail();
        return;
    }
    if (m_workers.isEmpty())
        completeDownload();
}

void CHttpDownloadTask::completeDownload()
{
    const QString part = partPath();
    const qint64 received = m_downloaded->load();
    if (received != m_record.size) {
        failWith(QStringLiteral("The download of %0 ended with %1 of %2 bytes.")
                     .arg(m_record.url)
                     .arg(received)
                     .arg(m_record.size));
        return;
    }
    QString reason;
    if (!CFileUtils::moveFile(part, fullPath(), &reason)) {
        failWith(QStringLiteral("Can't rename download file %0 to %1: %2").arg(part, fullPath(), reason));
        return;
    }
    // The file is complete; a journal that cannot drop its record only makes a later start look for a part
    // file that is gone, and start over.
    m_journal->removeRecord(m_record.url);
    QString journalProblem;
    if (!m_journal->write(&journalProblem))
        BV_LOG(6, QStringLiteral("Write downloadLog file failed! %0").arg(journalProblem));
    setState(Idle);
    emit finished();
}

void CHttpDownloadTask::failWith(const QString& message)
{
    m_error.setMessage(message);
    fail();
}

void CHttpDownloadTask::fail()
{
    BV_LOG(6, m_error.text());
    stopWorkers();
    setState(Idle);
    QPointer<CHttpDownloadTask> alive(this);
    emit errorReceived(m_error);
    if (alive)
        emit finished();
}

void CHttpDownloadTask::stopWorkers()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stopped = true;
    }
    // The workers are never touched from here, since each may be deleted on its thread at any moment: ending
    // their threads ends them, and what they still report is not heard.
    m_workers.clear();
    ++m_generation;
    for (QThread* thread : m_workerThreads.keys())
        thread->quit();
}

void CHttpDownloadTask::stop()
{
    setState(Idle);
    m_sizeRequest->abort();
    stopWorkers();
}
