#include "chttpdownloadworker.h"

#include "downloader/cfilepiece.h"
#include "downloader/threadhandover.h"
#include "foundation/clogger.h"
#include "version.h"
#include "webservices/cnetworkaccess.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#endif

#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#endif

namespace
{
struct ContentRange
{
    qint64 first = -1;
    qint64 last = -1;
    qint64 total = -1;
};

// "bytes <first>-<last>/<total>"; a total of "*" or anything malformed gives -1 in the affected fields.
ContentRange parseContentRange(const QByteArray& value)
{
    ContentRange range;
    QByteArray text = value.trimmed();
    if (!text.startsWith("bytes "))
        return range;
    text = text.mid(6).trimmed();
    const int dash = text.indexOf('-');
    const int slash = text.indexOf('/');
    if (dash <= 0 || slash <= dash)
        return range;
    bool firstOk = false;
    bool lastOk = false;
    bool totalOk = false;
    const qint64 first = text.left(dash).toLongLong(&firstOk);
    const qint64 last = text.mid(dash + 1, slash - dash - 1).toLongLong(&lastOk);
    const qint64 total = text.mid(slash + 1).toLongLong(&totalOk);
    if (firstOk && lastOk) {
        range.first = first;
        range.last = last;
    }
    if (totalOk)
        range.total = total;
    return range;
}
} // namespace

CHttpDownloadWorker::CHttpDownloadWorker(QObject* pieceSource, std::shared_ptr<std::atomic<qint64>> downloaded,
                                         const CDownloadSource& source)
    : m_pieceSource(pieceSource)
    , m_downloaded(std::move(downloaded))
    , m_source(source)
    , m_file(source.partPath, this)
    , m_stallTimer(this)
{
    m_stallTimer.setInterval(qBound(50, m_source.stallTimeoutMs / 4, 1000));
    connect(&m_stallTimer, &QTimer::timeout, this, &CHttpDownloadWorker::checkStall);
}

CHttpDownloadWorker::~CHttpDownloadWorker() = default;

QByteArray CHttpDownloadWorker::userAgent()
{
    return QStringLiteral("Brelvar.FMS.Client.%0").arg(QStringLiteral(TESSARAY_VERSION)).toLatin1();
}

void CHttpDownloadWorker::doWork()
{
    if (m_ended)
        return;
    m_piece.reset();
    m_retries = RetryBudget;

    bool havePiece = false;
    CFilePiece piece;
    QMetaObject::invokeMethod(m_pieceSource, "requirePieceFor", Qt::BlockingQueuedConnection,
                              Q_ARG(CHttpDownloadWorker*, this), Q_ARG(bool*, &havePiece), Q_ARG(CFilePiece*, &piece));
    takeOver(&havePiece);
    takeOver(&piece);
    if (m_ended)
        return;
    if (!havePiece || !piece.isValid()) {
        m_file.close();
        emit completed();
        endThread();
        return;
    }
    m_piece = piece;
    if (!openPiece()) {
        endWithError();
        return;
    }
    downloadCurrentPiece();
}

bool CHttpDownloadWorker::openPiece()
{
    // Unbuffered: every write goes to the file at once, at the position this worker's own handle is set to.
    if (!m_file.isOpen() &&
        (!QFileInfo::exists(m_source.partPath) || !m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))) {
        m_error.setMessage(QStringLiteral("Can't not open the download file: %0: %1")
                               .arg(m_source.partPath,
                                    m_file.exists() ? m_file.errorString() : QStringLiteral("it no longer exists")));
        return false;
    }
    if (m_piece.start() < 0 || m_piece.end() < m_piece.start() || m_piece.end() >= m_file.size() ||
        m_piece.completed() < 0 || m_piece.completed() > m_piece.length()) {
        m_error.setMessage(QStringLiteral("The piece %0 [%1, %2] does not lie within the download file %3.")
                               .arg(m_piece.id())
                               .arg(m_piece.start())
                               .arg(m_piece.end())
                               .arg(m_source.partPath));
        return false;
    }
    return true;
}

void CHttpDownloadWorker::downloadCurrentPiece()
{
    m_rangeFrom = m_piece.start() + m_piece.completed();
    const qint64 remaining = m_piece.end() - m_piece.start() - m_piece.completed() + 1;
    m_rangeLength = qMin(remaining, m_source.chunkSize);
    const qint64 to = m_rangeFrom + m_rangeLength - 1;
    m_rangeReceived = 0;
    m_replyChecked = false;
    m_replyAccepted = false;
    m_replyRejected = false;
    m_stalled = false;
    m_error = CNetworkError();

    QNetworkRequest request = newRequest(m_source.url, userAgent());
    const QByteArray range = QStringLiteral("bytes=%0-%1").arg(m_rangeFrom).arg(to).toLatin1();
    request.setRawHeader("Range", range);
    // The range is wanted only from the file the size was taken of; a server whose file has changed since
    // answers with the whole new file instead, which checkReply() refuses.
    if (!m_source.validator.isEmpty())
        request.setRawHeader("If-Range", m_source.validator.toLatin1());
    BV_LOG(1, QStringLiteral("request byte range:") + QString::fromLatin1(range));

    if (!m_manager)
        m_manager = CNetworkAccess::createManager(this);
    QNetworkReply* reply = m_manager->get(request);
    if (!reply) {
        m_error.setMessage(QStringLiteral("QNetworkReply is NULL: no request could be made for %0.").arg(m_source.url));
        BV_LOG(6, m_error.message());
        endWithError();
        return;
    }
    m_reply = reply;
    m_latency = 0;
    m_latencyMeasured = false;
    m_requestStart = QDateTime::currentMSecsSinceEpoch();
    m_sinceData.start();
    m_stallTimer.start();
    connect(reply, &QNetworkReply::readyRead, this, &CHttpDownloadWorker::slotReplyDownloadUpdated);
    connect(reply, &QNetworkReply::finished, this, &CHttpDownloadWorker::slotReplyFinished, Qt::QueuedConnection);
    connect(reply, &QNetworkReply::errorOccurred, this, &CHttpDownloadWorker::slotError, Qt::QueuedConnection);
}

QNetworkRequest CHttpDownloadWorker::newRequest(const QString& url, const QByteArray& userAgent)
{
    QNetworkRequest request{QUrl(url)};
#if QT_CONFIG(ssl)
    // The server name is sent: a host that serves several names on one address needs it to choose the
    // certificate.
    if (request.url().scheme() == QLatin1String("https"))
        request.setSslConfiguration(CNetworkAccess::sslConfiguration());
#endif
    request.setRawHeader("User-Agent", userAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(CNetworkError::MaxRedirects);
    return request;
}

bool CHttpDownloadWorker::checkReply(QNetworkReply* reply)
{
    if (m_replyChecked)
        return m_replyAccepted;
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusValue.isValid())
        return false; // headers not in yet
    m_replyChecked = true;
    const int status = statusValue.toInt();
    const qint64 last = m_rangeFrom + m_rangeLength - 1;
    if (status >= 400)
        return false; // the network layer reports it as an error; the body is the server's error page

    // A validator in the reply other than the one the size came with: the file is another one now.
    const QString& validator = m_source.validator;
    const QByteArray replied = reply->rawHeader(validator.startsWith(QLatin1Char('"')) ? "ETag" : "Last-Modified");
    if (!validator.isEmpty() && !replied.isEmpty() && QString::fromLatin1(replied) != validator) {
        failReply(QStringLiteral("The file at %0 changed on the server during the download (it was %1, now %2); "
                                 "start the download again to fetch the new file.")
                      .arg(m_source.url, validator, QString::fromLatin1(replied)));
        return false;
    }
    if (status == 200) {
        failReply(QStringLiteral("The server ignored the byte range %0-%1 of %2 and answered with the whole "
                                 "file (HTTP 200).")
                      .arg(m_rangeFrom)
                      .arg(last)
                      .arg(m_source.url));
        return false;
    }
    if (status != 206) {
        failReply(QStringLiteral("The server answered the byte range %0-%1 of %2 with HTTP %3 %4 instead of 206.")
                      .arg(m_rangeFrom)
                      .arg(last)
                      .arg(m_source.url)
                      .arg(status)
                      .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        return false;
    }
    const QByteArray contentRange = reply->rawHeader("Content-Range");
    const ContentRange range = parseContentRange(contentRange);
    if (range.first != m_rangeFrom || range.last != last) {
        failReply(QStringLiteral("The server answered the byte range %0-%1 of %2 with the range '%3'.")
                      .arg(m_rangeFrom)
                      .arg(last)
                      .arg(m_source.url)
                      .arg(QString::fromLatin1(contentRange)));
        return false;
    }
    if (range.total != m_source.fileSize) {
        failReply(QStringLiteral("The size of %0 changed during the download: %1 bytes at first, now '%2'.")
                      .arg(m_source.url)
                      .arg(m_source.fileSize)
                      .arg(QString::fromLatin1(contentRange)));
        return false;
    }
    const QVariant contentLength = reply->header(QNetworkRequest::ContentLengthHeader);
    if (contentLength.isValid() && contentLength.toLongLong() != m_rangeLength) {
        failReply(QStringLiteral("The server announced %0 bytes for the byte range %1-%2 of %3, which holds %4.")
                      .arg(contentLength.toLongLong())
                      .arg(m_rangeFrom)
                      .arg(last)
                      .arg(m_source.url)
                      .arg(m_rangeLength));
        return false;
    }
    m_replyAccepted = true;
    return true;
}

void CHttpDownloadWorker::failReply(const QString& message)
{
    m_replyRejected = true;
    m_error.setMessage(message);
    BV_LOG(6, message);
    if (m_reply) {
        // Aborting finishes the reply; its queued `finished` then ends the worker. The abort waits for the
        // event loop, since the network layer must not be re-entered from inside its own signal.
        disconnect(m_reply, &QNetworkReply::readyRead, this, &CHttpDownloadWorker::slotReplyDownloadUpdated);
        disconnect(m_reply, &QNetworkReply::errorOccurred, this, &CHttpDownloadWorker::slotError);
        QNetworkReply* reply = m_reply;
        QTimer::singleShot(0, reply, [reply]() { reply->abort(); });
    }
}

QString CHttpDownloadWorker::writeAt(qint64 position, const QByteArray& data)
{
    const char* bytes = data.constData();
    qint64 left = data.size();
#ifdef Q_OS_UNIX
    // One positioned write, where seek and write would be two calls into the system for every block.
    while (left > 0) {
        const ssize_t written = ::pwrite(m_file.handle(), bytes, size_t(left), off_t(position));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return qt_error_string(written < 0 ? errno : ENOSPC);
        bytes += written;
        left -= written;
        position += written;
    }
#else
    if (!m_file.seek(position))
        return m_file.errorString();
    // A full disk shows as a short write first; the write of the rest then fails with the system's reason.
    while (left > 0) {
        const qint64 written = m_file.write(bytes, left);
        if (written <= 0)
            return m_file.errorString();
        bytes += written;
        left -= written;
    }
#endif
    return QString();
}

void CHttpDownloadWorker::readAvailable(QNetworkReply* reply)
{
    if (!checkReply(reply) || !m_piece.isValid())
        return;
    if (reply->bytesAvailable() <= 0)
        return;
    m_sinceData.start();
    // The reply hands over the blocks it received without copying them; they go straight to their place.
    const QByteArray data = reply->readAll();
    if (m_rangeReceived + data.size() > m_rangeLength) {
        failReply(QStringLiteral("The server sent more than the %0 bytes of the byte range %1-%2 of %3.")
                      .arg(m_rangeLength)
                      .arg(m_rangeFrom)
                      .arg(m_rangeFrom + m_rangeLength - 1)
                      .arg(m_source.url));
        return;
    }
    const QString writeError = writeAt(m_piece.start() + m_piece.completed(), data);
    if (!writeError.isEmpty()) {
        failReply(QStringLiteral("Unable to write to the download file %0: %1").arg(m_source.partPath, writeError));
        return;
    }
    m_piece.setCompleted(m_piece.completed() + data.size());
    m_rangeReceived += data.size();
    m_downloaded->fetch_add(data.size(), std::memory_order_relaxed);
    emit downloadPartNotify(m_rangeReceived, m_rangeLength);
}

void CHttpDownloadWorker::slotReplyDownloadUpdated()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply || reply != m_reply || m_ended)
        return;
    if (!m_latencyMeasured) {
        m_latencyMeasured = true;
        m_latency = QDateTime::currentMSecsSinceEpoch() - m_requestStart;
        emit pieceLatencyMeasured(m_latency);
    }
    readAvailable(reply);
}

void CHttpDownloadWorker::checkStall()
{
    if (!m_reply || m_stalled || m_replyRejected || m_sinceData.elapsed() < m_source.stallTimeoutMs)
        return;
    m_stalled = true;
    m_error.setMessage(QStringLiteral("The server stopped responding: nothing arrived for %0 s on the byte range "
                                      "%1-%2 of %3.")
                           .arg(m_source.stallTimeoutMs / 1000.0)
                           .arg(m_rangeFrom)
                           .arg(m_rangeFrom + m_rangeLength - 1)
                           .arg(m_source.url));
    BV_LOG(5, m_error.message());
    // Finishes the reply with an error: retried like a broken connection.
    m_reply->abort();
}

void CHttpDownloadWorker::slotError(QNetworkReply::NetworkError code)
{
    if (sender() != m_reply || m_ended || m_replyRejected || m_stalled)
        return;
    BV_LOG(6, QStringLiteral("Network socket error %0. Unable to proeed.").arg(code));
}

void CHttpDownloadWorker::slotReplyFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply != m_reply || m_ended)
        return;
    m_reply = nullptr;
    m_stallTimer.stop();

    if (!m_replyRejected && !m_stalled && reply->error() == QNetworkReply::NoError) {
        readAvailable(reply);
        if (!m_replyRejected && !m_replyChecked)
            failReply(QStringLiteral("The server sent no status for the byte range of %0.").arg(m_source.url));
    }
    if (m_replyRejected) {
        endWithError();
        return;
    }
    if (reply->error() != QNetworkReply::NoError || m_rangeReceived != m_rangeLength) {
        if (!m_stalled)
            m_error = CNetworkError::fromReply(*reply);
        if (!m_error.hasError()) {
            m_error.setMessage(QStringLiteral("The server ended the byte range %0-%1 of %2 after %3 of %4 bytes.")
                                   .arg(m_rangeFrom)
                                   .arg(m_rangeFrom + m_rangeLength - 1)
                                   .arg(m_source.url)
                                   .arg(m_rangeReceived)
                                   .arg(m_rangeLength));
        }
        // Bytes that did arrive sit at their place in the piece; the next attempt asks for the rest.
        if (--m_retries <= 0) {
            endWithError();
            return;
        }
        BV_LOG(5, QStringLiteral("Retrying the range of piece %0 (%1 attempts left): %2")
                      .arg(m_piece.id())
                      .arg(m_retries)
                      .arg(m_error.text()));
        emit pieceProgressChanged(m_piece.id(), m_piece.completed());
        downloadCurrentPiece();
        return;
    }

    m_retries = RetryBudget;
    emit pieceProgressChanged(m_piece.id(), m_piece.completed());
    if (m_piece.isFinished()) {
        emit pieceFinished(m_piece.id());
        doWork();
    } else {
        downloadCurrentPiece();
    }
}

void CHttpDownloadWorker::endWithError()
{
    const int id = m_piece.id();
    m_file.close();
    emit taskError(m_error);
    emit pieceFinished(id);
    emit completed();
    endThread();
}

void CHttpDownloadWorker::abandonReply(QNetworkReply*& reply, QObject* listener)
{
    if (!reply)
        return;
    QNetworkReply* abandoned = reply;
    reply = nullptr;
    disconnect(abandoned, nullptr, listener, nullptr);
    abandoned->abort();
    abandoned->deleteLater();
}

void CHttpDownloadWorker::dropReply()
{
    m_stallTimer.stop();
    abandonReply(m_reply, this);
}

void CHttpDownloadWorker::endThread()
{
    m_ended = true;
    dropReply();
    QThread::currentThread()->quit();
}

void CHttpDownloadWorker::releaseResources()
{
    m_ended = true;
    dropReply();
    m_file.close();
    delete m_manager;
    m_manager = nullptr;
    // The thread ends now; the task deletes the worker on its own thread.
    handOver(this);
}
