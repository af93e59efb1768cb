#include "chttpdownloadtask.h"

#include "downloader/cfileutils.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadworker.h"
#include "downloader/threadhandover.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "version.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QReadLocker>
#include <QThread>
#include <QUrl>
#include <QWriteLocker>

#include <cmath>
#include <limits>

const QString CHttpDownloadTask::PartSuffix = QStringLiteral(".bvpart");

namespace
{
// "Brelvar Tessaray {Platform: WINDOWS, Version: <n>}", n being the four 16-bit version fields from the top.
QByteArray headUserAgent()
{
    const quint64 version = (quint64(TESSARAY_VERSION_MAJOR) << 48) | (quint64(TESSARAY_VERSION_MINOR) << 32) |
                            (quint64(TESSARAY_VERSION_PATCH) << 16) | quint64(TESSARAY_VERSION_TWEAK);
    return QStringLiteral("Brelvar Tessaray {Platform: %0, Version: %1}")
        .arg(QStringLiteral("WINDOWS"))
        .arg(QString::number(qint64(version)))
        .toLocal8Bit();
}
} // namespace

CHttpDownloadTask::CHttpDownloadTask(const QString& url, const QString& path, QObject* parent)
    : CDownloadTask(path, parent)
{
    m_record.url = url.toLower();
    m_record.path = fullPath();
    m_record.threads = DefaultThreadCount;
    m_record.size = -1;
    m_downloaded = std::make_shared<std::atomic<qint64>>(0);
    // Types of the blocking call that workers make into the task.
    qRegisterMetaType<bool*>("bool*");
    qRegisterMetaType<CFilePiece*>("CFilePiece*");
    qRegisterMetaType<CHttpDownloadWorker*>("CHttpDownloadWorker*");
    qRegisterMetaType<CNetworkError>();
}

CHttpDownloadTask::~CHttpDownloadTask()
{
    m_stopped = true;
    if (m_sizeLoop)
        m_sizeLoop->quit();
    for (CHttpDownloadWorker* worker : qAsConst(m_workerThreads))
        QMetaObject::invokeMethod(worker, "stop", Qt::QueuedConnection);
    // A worker may be waiting in requirePiece for this thread; dropping the queued call releases it with
    // "no piece", after which it ends its thread.
    for (auto it = m_workerThreads.cbegin(); it != m_workerThreads.cend(); ++it) {
        QThread* thread = it.key();
        while (!thread->wait(20))
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        takeOver(it.value());
        delete it.value();
    }
    m_workerThreads.clear();
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

qint64 CHttpDownloadTask::pieceSize(qint64 fileSize, int threads, qint64 chunkSize)
{
    const float perWorker = float(fileSize) / float(qMax(1, threads) * PiecesPerWorker);
    const float rounded = std::ceil(std::max(float(chunkSize), perWorker));
    // Truncated to 32 bits; files so large that the value does not fit get the largest piece that does.
    const qint64 p0 =
        rounded >= float(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : qint64(int(rounded));
    const qint64 modulus = chunkSize * 1024;
    return modulus > 0 ? p0 + p0 % modulus : p0;
}

QList<CFilePiece> CHttpDownloadTask::missingPieces(qint64 fileSize, qint64 pieceSize, int offset,
                                                   const QList<CFilePiece>& pending)
{
    QList<CFilePiece> pieces;
    if (fileSize <= 0 || pieceSize <= 0)
        return pieces;
    const qint64 count = (fileSize + pieceSize - 1) / pieceSize;
    for (qint64 k = qMax(0, offset); k < count; ++k) {
        const int id = int(k + 1);
        if (pending.contains(CFilePiece(id, 0, 0)))
            continue;
        const qint64 end = id == count ? fileSize - 1 : (k + 1) * pieceSize - 1;
        pieces.append(CFilePiece(id, k * pieceSize, end, 0));
    }
    return pieces;
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

QNetworkAccessManager* CHttpDownloadTask::headManager()
{
    if (!m_headManager)
        m_headManager = new QNetworkAccessManager(this);
    return m_headManager;
}

QNetworkRequest CHttpDownloadTask::headRequest() const
{
    return CHttpDownloadWorker::newRequest(m_record.url, headUserAgent());
}

qint64 CHttpDownloadTask::getFileSize()
{
    BV_LOG(1, QStringLiteral("Trying to get filesize at url: %0").arg(m_record.url));
    const QNetworkRequest request = headRequest();
    QPointer<CHttpDownloadTask> alive(this);
    int lastCode = 0;
    for (int attempt = 0; attempt < HeadAttempts && !m_stopped; ++attempt) {
        QNetworkReply* reply = headManager()->head(request);
        if (!reply)
            continue;
        // Waits here while the thread's other events go on; stop() and the destructor quit this loop.
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        m_sizeLoop = &loop;
        m_sizeReply = reply;
        loop.exec();
        if (!alive)
            return -1;
        m_sizeLoop = nullptr;
        m_sizeReply = nullptr;
        reply->deleteLater();
        if (m_stopped)
            return 0;
        if (reply->error() != QNetworkReply::NoError) {
            lastCode = reply->error();
            BV_LOG(6, QStringLiteral("Network error: %0").arg(CNetworkError(lastCode).text()));
            continue;
        }

        // Read as 64 bits, so that files over 2 GiB are sized right.
        bool converted = false;
        qint64 size = reply->rawHeader("Content-Length").trimmed().toLongLong(&converted);
        if (!converted || size < 0) {
            size = 0;
            m_error.setMessage(QStringLiteral("GetFileLength contentLength covert failed!"));
        }
        BV_LOG(1, QStringLiteral("Filesize: %0").arg(size));
        emit fileSizeReceived(size);
        if (!alive)
            return -1;
        return m_stopped ? 0 : size;
    }
    if (m_stopped)
        return 0;
    BV_LOG(6, QStringLiteral("Unable to fetch filesize"));
    if (lastCode == 0)
        m_error.setMessage(QStringLiteral("call getFileSize failed!"));
    else
        m_error.setCode(lastCode);
    return -1;
}

void CHttpDownloadTask::start()
{
    if (state() == Running)
        return;
    setState(Running);
    m_stopped = false;
    m_error = CNetworkError();
    m_downloaded = std::make_shared<std::atomic<qint64>>(0);
    m_startedWorkers = 0;
    {
        QMutexLocker locker(&m_mutex);
        m_pending.clear();
    }

    const QString journal = journalPath();
    const QString part = partPath();
    CFileUtils::removeFile(part);
    CFileUtils::removeFile(journal);
    delete m_journal;
    m_journal = new CHttpDownloadHelper(journal, this);

    if (QFileInfo(fullPath()).isDir()) {
        failWith(QStringLiteral("The destination %0 is a folder.").arg(fullPath()));
        return;
    }
    if (m_journal->exists()) {
        QString message;
        if (!m_journal->read(&message)) {
            failWith(QStringLiteral("Read content from file %0 failed. Message: %1").arg(journal, message));
            return;
        }
    }
    if (CFileUtils::exists(part)) {
        resume();
        return;
    }

    QPointer<CHttpDownloadTask> alive(this);
    const qint64 size = getFileSize();
    if (!alive || m_stopped)
        return;
    {
        // A fresh start: nothing of an earlier, stopped run counts.
        QWriteLocker locker(&m_journalLock);
        m_record.size = size;
        m_record.path = fullPath();
        m_record.offset = 0;
        m_record.pieces.clear();
    }
    if (size == 0) {
        // Nothing to cut into pieces, and an empty file is not what any package is: report it rather than
        // replace the destination with nothing.
        failWith(
            QStringLiteral("The server reported no usable size for %0 (no Content-Length, or 0).").arg(m_record.url));
        return;
    }
    if (size == -1) {
        // A network error says more than the general words, so it is kept when there is one.
        if (m_error.code() == CNetworkError::OwnError || !m_error.hasError())
            m_error.setMessage(QStringLiteral("Unable to retrieve file header."));
        fail();
        return;
    }
    if (!CFileUtils::createFile(part, size, true)) {
        failWith(QStringLiteral("Can't Create Download File!"));
        return;
    }
    bool written = false;
    {
        QWriteLocker locker(&m_journalLock);
        m_journal->addRecord(m_record);
        written = m_journal->write();
    }
    if (!written) {
        m_error.setMessage(QStringLiteral("Write downloadLog file failed!"));
        CFileUtils::removeFile(part);
        fail();
        return;
    }
    startWorkers();
}

void CHttpDownloadTask::resume()
{
    DownloadTaskRecord recorded;
    if (!m_journal->loadRecord(m_record.url, &recorded)) {
        failWith(QStringLiteral("Read download log error!"));
        return;
    }
    QPointer<CHttpDownloadTask> alive(this);
    const qint64 size = getFileSize();
    if (!alive || m_stopped)
        return;

    // The recorded pieces must be the ones this task would cut, or the pieces made for the rest would
    // overlap them or leave gaps.
    const qint64 piece = pieceSize(size, m_threads, chunkSize());
    bool aligned = size > 0;
    for (const CFilePiece& recordedPiece : qAsConst(recorded.pieces)) {
        const qint64 k = recordedPiece.id() - 1;
        const qint64 expectedEnd = qMin((k + 1) * piece, size) - 1;
        aligned = aligned && k >= 0 && recordedPiece.start() == k * piece && recordedPiece.end() == expectedEnd &&
                  recordedPiece.completed() >= 0 && recordedPiece.completed() <= recordedPiece.length();
    }
    if (size == recorded.size && fullPath() == recorded.path && aligned) {
        {
            QMutexLocker locker(&m_mutex);
            QWriteLocker journalLocker(&m_journalLock);
            m_record.size = recorded.size;
            m_record.offset = recorded.offset;
            m_record.pieces = recorded.pieces;
            m_pending = recorded.pieces;
        }
        startWorkers();
        return;
    }
    if (size > 0) {
        failWith(QStringLiteral("Resume assert size or path failed!"));
        return;
    }
    if (!m_error.hasError())
        m_error.setMessage(QStringLiteral("Unable to retrieve file header."));
    fail();
}

void CHttpDownloadTask::startWorkers()
{
    m_chunkSize = chunkSize();
    m_pieceSize = pieceSize(m_record.size, m_threads, m_chunkSize);
    int workerCount = 0;
    {
        QMutexLocker locker(&m_mutex);
        m_pending += missingPieces(m_record.size, m_pieceSize, m_record.offset, m_pending);
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

    const QString part = partPath();
    for (int i = 0; i < workerCount; ++i) {
        auto* thread = new QThread(this);
        thread->setObjectName(QStringLiteral("download worker %0").arg(i + 1));
        auto* worker = new CHttpDownloadWorker(this, m_downloaded, m_record.url, part, m_record.size, m_chunkSize);
        worker->moveToThread(thread);
        connect(thread, &QThread::started, worker, &CHttpDownloadWorker::doWork);
        connect(thread, &QThread::finished, worker, &CHttpDownloadWorker::releaseResources, Qt::DirectConnection);
        connect(thread, &QThread::finished, this, &CHttpDownloadTask::slotWorkerThreadFinished, Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::completed, this, &CHttpDownloadTask::slotWorkerFinished,
                Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::pieceProgressChanged, this, &CHttpDownloadTask::slotPieceProgressChanged,
                Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::pieceFinished, this, &CHttpDownloadTask::slotPieceFinished,
                Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::taskError, this, &CHttpDownloadTask::slotError, Qt::QueuedConnection);
        connect(worker, &CHttpDownloadWorker::pieceLatencyMeasured, this, &CHttpDownloadTask::latencyMeasured,
                Qt::QueuedConnection);
        m_workers.append(worker);
        m_workerThreads.insert(thread, worker);
        ++m_startedWorkers;
        thread->start(QThread::InheritPriority);
    }
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
    if (m_stopped || m_pending.isEmpty()) {
        *bSucess = false;
        piece->reset();
        return;
    }
    *bSucess = true;
    *piece = m_pending.takeFirst();

    QWriteLocker journalLocker(&m_journalLock);
    m_record.offset = piece->id() - 1;
    m_journal->putPiece(m_record.url, *piece);
    m_journal->setOffset(m_record.url, m_record.offset);
    if (!m_journal->write())
        BV_LOG(5, QStringLiteral("Unable to write the journal %0").arg(m_journal->journalPath()));
}

void CHttpDownloadTask::slotPieceProgressChanged(int pieceId, qint64 doneBytes)
{
    QMutexLocker locker(&m_mutex);
    QWriteLocker journalLocker(&m_journalLock);
    m_journal->setCompleted(m_record.url, pieceId, doneBytes);
    m_journal->write();
}

void CHttpDownloadTask::slotPieceFinished(int pieceID)
{
    {
        QMutexLocker locker(&m_mutex);
        QWriteLocker journalLocker(&m_journalLock);
        // A worker also lets go of a piece it failed on; that piece stays in the journal as unfinished.
        if (!m_error.hasError()) {
            m_journal->removePiece(m_record.url, pieceID);
            m_journal->write();
        }
    }
    emit downloadProgress(m_downloaded->load(std::memory_order_relaxed), m_record.size);
}

void CHttpDownloadTask::slotError(CNetworkError errorInfo)
{
    // The first error is the cause; later ones are the echo of stopping the rest.
    if (!m_error.hasError())
        m_error = errorInfo;
}

void CHttpDownloadTask::slotWorkerFinished()
{
    auto* worker = static_cast<CHttpDownloadWorker*>(sender());
    if (!m_workers.removeOne(worker))
        return;
    if (m_error.hasError()) {
        fail();
        return;
    }
    if (m_workers.isEmpty())
        completeDownload();
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
    if (!CFileUtils::moveFile(part, fullPath())) {
        failWith(QStringLiteral("Can't rename download file %0 to %1").arg(part, fullPath()));
        return;
    }
    {
        QWriteLocker locker(&m_journalLock);
        m_journal->removeRecord(m_record.url);
        m_journal->write();
    }
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
    for (CHttpDownloadWorker* worker : qAsConst(m_workers)) {
        disconnect(worker, nullptr, this, nullptr);
        QMetaObject::invokeMethod(worker, "stop", Qt::QueuedConnection);
    }
    m_workers.clear();
}

void CHttpDownloadTask::stop()
{
    setState(Idle);
    if (m_sizeLoop) {
        m_stopped = true;
        if (m_sizeReply)
            m_sizeReply->abort();
        m_sizeLoop->quit();
    }
    stopWorkers();
}
