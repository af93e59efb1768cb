#include "cnetworkerror.h"

#include "webservices/cnetworkaccess.h"

#include <QHash>
#include <QNetworkReply>

namespace
{
// Filled on first use, which is the construction of the first record.
const QHash<int, QString>& errorTexts()
{
    static const QHash<int, QString> texts{
        {0, QStringLiteral("No error")},
        {1, QStringLiteral("The remote server refused the connection (the server is not accepting requests).")},
        {2, QStringLiteral("The remote server closed the connection prematurely, before the entire reply was "
                           "received and processed.")},
        {3, QStringLiteral("The remote host name was not found (invalid hostname).")},
        {4, QStringLiteral("The connection to the remote server timed out.")},
        {5, QStringLiteral("The operation was canceled via calls to abort() or close() before it was finished.")},
        {6, QStringLiteral("The SSL/TLS handshake failed and the encrypted channel could not be established.")},
        {7, QStringLiteral("The connection was broken due to disconnection from the network, however the system "
                           "has initiated \t\t\t\t\t\t\t\t\t\t\t\t\t\t\t   roaming to another access point. The "
                           "request should be resubmitted and will be processed as soon as "
                           "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t   the connection is re-established.")},
        {99, QStringLiteral("An unknown network-related error was detected.")},
        {101, QStringLiteral("The connection to the proxy server was refused (the proxy server is not accepting "
                             "requests).")},
        {102, QStringLiteral("The proxy server closed the connection prematurely, before the entire reply was "
                             "received and processed.")},
        {103, QStringLiteral("The proxy host name was not found (invalid proxy hostname).")},
        {104, QStringLiteral("The connection to the proxy timed out or the proxy did not reply in time to the "
                             "request sent.")},
        {105, QStringLiteral("The proxy requires authentication in order to honour the request but did not accept "
                             "any credentials offered (if any).")},
        {199, QStringLiteral("An unknown proxy-related error was detected.")},
        {201, QStringLiteral("The access to the remote content was denied (similar to HTTP error 401).")},
        {202, QStringLiteral("The operation requested on the remote content is not permitted.")},
        {203, QStringLiteral("The remote content was not found at the server (similar to HTTP error 404).")},
        {204, QStringLiteral("The remote server requires authentication to serve the content but the credentials "
                             "provided were not accepted (if any).")},
        {205, QStringLiteral("The request needed to be sent again, but this failed for example because the upload "
                             "data could not be read a second time.")},
        {299, QStringLiteral("An unknown error related to the remote content was detected.")},
        {301, QStringLiteral("The Network Access API cannot honor the request because the protocol is not known.")},
        {302, QStringLiteral("The requested operation is invalid for this protocol.")},
        {399, QStringLiteral("A breakdown in protocol was detected (parsing error, invalid or unexpected responses, "
                             "etc.).")},
    };
    return texts;
}
} // namespace

CNetworkError::CNetworkError()
{
    errorTexts();
}

CNetworkError::CNetworkError(int code)
    : m_code(code)
{
    errorTexts();
}

CNetworkError::CNetworkError(const CNetworkError& other)
    : QObject()
    , m_code(other.m_code)
    , m_message(other.m_message)
{
}

CNetworkError& CNetworkError::operator=(const CNetworkError& other)
{
    m_code = other.m_code;
    m_message = other.m_message;
    return *this;
}

void CNetworkError::setCode(int code)
{
    m_code = code;
}

void CNetworkError::setMessage(const QString& message)
{
    m_code = OwnError;
    m_message = message;
}

QString CNetworkError::text() const
{
    if (m_code == OwnError)
        return QStringLiteral("Code:%0, Description: %1").arg(m_code).arg(m_message);
    const auto it = errorTexts().constFind(m_code);
    if (it == errorTexts().constEnd())
        return QStringLiteral("Code:%0, Description: Unknown error.").arg(m_code);
    return QStringLiteral("Code:%0, Description: %1").arg(m_code).arg(it.value());
}

QString CNetworkError::tableText(int code)
{
    return errorTexts().value(code);
}

CNetworkError CNetworkError::fromReply(const QNetworkReply& reply)
{
    CNetworkError error;
    const QString url = reply.url().toString();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::TooManyRedirectsError:
        error.setMessage(QStringLiteral("More than %0 redirects, the last to %1.").arg(MaxRedirects).arg(url));
        break;
    case QNetworkReply::InsecureRedirectError:
        error.setMessage(QStringLiteral("Refused a redirect from HTTPS to the unencrypted address %0.").arg(url));
        break;
    default:
        if (const QString words = CNetworkAccess::failureText(reply); !words.isEmpty()) {
            // The proxy or the certificate: a table's number would not say which, or what to do.
            error.setMessage(words);
        } else if (status.isValid() && status.toInt() >= 400) {
            const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            error.setMessage(QStringLiteral("HTTP %0%1 from %2")
                                 .arg(status.toInt())
                                 .arg(reason.isEmpty() ? QString() : QLatin1Char(' ') + reason, url));
        } else {
            error.setCode(reply.error());
        }
    }
    return error;
}
