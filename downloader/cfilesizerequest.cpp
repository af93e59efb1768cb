#include "cfilesizerequest.h"

#include "downloader/chttpdownloadworker.h"
#include "foundation/clogger.h"
#include "version.h"
#include "webservices/cnetworkaccess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

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

// The validator of the file a reply describes: its strong ETag, else its Last-Modified. A weak ETag ("W/")
// cannot guard a byte range, so it does not count.
QString validatorOf(const QNetworkReply& reply)
{
    const QByteArray tag = reply.rawHeader("ETag").trimmed();
    if (!tag.isEmpty() && !tag.startsWith("W/"))
        return QString::fromLatin1(tag);
    return QString::fromLatin1(reply.rawHeader("Last-Modified").trimmed());
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
} // namespace

CFileSizeRequest::CFileSizeRequest(QObject* parent)
    : QObject(parent)
    , m_stall(this)
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &CFileSizeRequest::stalled);
}

CFileSizeRequest::~CFileSizeRequest()
{
    abort();
}

QNetworkAccessManager* CFileSizeRequest::manager()
{
    if (!m_manager)
        m_manager = CNetworkAccess::createManager(this);
    return m_manager;
}

void CFileSizeRequest::start(const QString& url, int stallTimeoutMs)
{
    abort();
    BV_LOG(1, QStringLiteral("Trying to get filesize at url: %0").arg(url));
    m_address = QUrl(url);
    m_stallMs = stallTimeoutMs;
    m_attempt = 0;
    m_redirects = 0;
    m_lastError = CNetworkError();
    m_error = CNetworkError();
    m_size = -1;
    m_validator.clear();
    m_running = true;
    send();
}

void CFileSizeRequest::abort()
{
    m_running = false;
    m_stall.stop();
    CHttpDownloadWorker::abandonReply(m_reply, this);
}

void CFileSizeRequest::send()
{
    for (; m_attempt < Attempts; ++m_attempt) {
        QNetworkRequest request = CHttpDownloadWorker::newRequest(m_address.toString(), headUserAgent());
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = manager()->head(request);
        if (!reply)
            continue;
        m_reply = reply;
        m_stalled = false;
        connect(reply, &QNetworkReply::finished, this, &CFileSizeRequest::replyFinished);
        m_stall.start(m_stallMs);
        return;
    }
    giveUp();
}

void CFileSizeRequest::stalled()
{
    if (!m_reply)
        return;
    m_stalled = true;
    m_reply->abort(); // its end comes through replyFinished
}

void CFileSizeRequest::replyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || sender() != reply)
        return;
    m_stall.stop();
    m_reply = nullptr;
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray location = reply->rawHeader("Location");
    if (!m_stalled && isRedirect(status) && !location.isEmpty()) {
        const QUrl target = m_address.resolved(QUrl::fromEncoded(location));
        if (m_address.scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https")) {
            m_lastError.setMessage(
                QStringLiteral("Refused a redirect from HTTPS to the unencrypted address %0.").arg(target.toString()));
            giveUp();
            return;
        }
        if (++m_redirects > CNetworkError::MaxRedirects) {
            m_lastError.setMessage(QStringLiteral("More than %0 redirects, the last to %1.")
                                       .arg(CNetworkError::MaxRedirects)
                                       .arg(target.toString()));
            giveUp();
            return;
        }
        BV_LOG(1, QStringLiteral("Redirected to %0").arg(target.toString()));
        m_address = target;
        send(); // the same attempt
        return;
    }

    if (m_stalled) {
        m_lastError.setMessage(QStringLiteral("The server stopped responding: no answer to the size request "
                                              "for %0 s from %1.")
                                   .arg(m_stallMs / 1000.0)
                                   .arg(m_address.toString()));
    } else if (reply->error() != QNetworkReply::NoError) {
        m_lastError = CNetworkError::fromReply(*reply);
    } else if (status != 200) {
        m_lastError.setMessage(
            QStringLiteral("HTTP %0 %1 from %2, where the file's size was asked for.")
                .arg(status)
                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(), m_address.toString()));
    } else {
        // Read as 64 bits, so that files over 2 GiB are sized right.
        bool converted = false;
        qint64 size = reply->rawHeader("Content-Length").trimmed().toLongLong(&converted);
        if (!converted || size < 0) {
            size = 0;
            m_error.setMessage(QStringLiteral("GetFileLength contentLength covert failed!"));
        }
        m_validator = validatorOf(*reply);
        BV_LOG(1, QStringLiteral("Filesize: %0").arg(size));
        finish(size);
        return;
    }
    BV_LOG(6, QStringLiteral("Network error: %0").arg(m_lastError.text()));
    ++m_attempt;
    send();
}

void CFileSizeRequest::giveUp()
{
    BV_LOG(6, QStringLiteral("Unable to fetch filesize"));
    if (m_lastError.hasError())
        m_error = m_lastError;
    else
        m_error.setMessage(QStringLiteral("call getFileSize failed!"));
    finish(-1);
}

void CFileSizeRequest::finish(qint64 size)
{
    m_size = size;
    m_running = false;
    // The receiver may delete this object: nothing is touched after.
    emit finished();
}
