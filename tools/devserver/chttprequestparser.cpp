#include "chttprequestparser.h"

namespace
{

bool isTokenCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isTokenCharacter(c))
            return false;
    }
    return true;
}

bool isValidTarget(const QByteArray& target)
{
    if (!target.startsWith('/'))
        return false;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f)
            return false;
    }
    return true;
}

} // namespace

CHttpRequestParser::Result CHttpRequestParser::parse(QByteArray& buffer)
{
    if (m_stage == Stage::Failed)
        return Result::Error;

    if (m_stage == Stage::Head) {
        // Stray line ends between requests are tolerated, as clients send them after a POST body.
        if (m_scanned == 0) {
            int skip = 0;
            while (skip < buffer.size() && (buffer.at(skip) == '\r' || buffer.at(skip) == '\n'))
                ++skip;
            buffer.remove(0, skip);
        }

        const int firstLineEnd = buffer.indexOf('\n');
        if ((firstLineEnd < 0 && buffer.size() > MaxRequestLineBytes) || firstLineEnd > MaxRequestLineBytes)
            return fail(400, QStringLiteral("The request line is too long."));

        int headEnd = -1;  // length of the head without its blank line
        int consumed = -1; // length of the head with its blank line
        int position = qMax(0, m_scanned - 2);
        while (true) {
            const int newline = buffer.indexOf('\n', position);
            if (newline < 0 || newline + 1 >= buffer.size()) {
                m_scanned = newline < 0 ? buffer.size() : newline;
                break;
            }
            if (buffer.at(newline + 1) == '\n') {
                headEnd = newline;
                consumed = newline + 2;
                break;
            }
            if (buffer.at(newline + 1) == '\r') {
                if (newline + 2 >= buffer.size()) {
                    m_scanned = newline;
                    break;
                }
                if (buffer.at(newline + 2) == '\n') {
                    headEnd = newline;
                    consumed = newline + 3;
                    break;
                }
            }
            position = newline + 1;
        }

        if (headEnd < 0) {
            if (buffer.size() > MaxHeaderBytes)
                return fail(400, QStringLiteral("The request header is too large."));
            return Result::NeedMore;
        }
        if (consumed > MaxHeaderBytes)
            return fail(400, QStringLiteral("The request header is too large."));

        const QByteArray head = buffer.left(headEnd);
        buffer.remove(0, consumed);
        m_scanned = 0;
        const Result headResult = parseHead(head);
        if (headResult == Result::Error)
            return headResult;
        m_stage = Stage::Body;
    }

    if (buffer.size() < m_bodyLength)
        return Result::NeedMore;
    m_request.body = buffer.left(static_cast<int>(m_bodyLength));
    buffer.remove(0, static_cast<int>(m_bodyLength));
    m_stage = Stage::Head;
    m_continueRequested = false;
    return Result::Complete;
}

CHttpRequestParser::Result CHttpRequestParser::parseHead(const QByteArray& head)
{
    m_request = CHttpRequest();
    m_bodyLength = 0;
    m_continueRequested = false;

    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }

    const QList<QByteArray> parts = lines.takeFirst().split(' ');
    if (parts.size() != 3 || !isToken(parts.at(0)) || !isValidTarget(parts.at(1)))
        return fail(400, QStringLiteral("The request line is malformed."));
    if (!parts.at(2).startsWith("HTTP/"))
        return fail(400, QStringLiteral("The request line is malformed."));
    if (parts.at(2) != "HTTP/1.1" && parts.at(2) != "HTTP/1.0")
        return fail(505, QStringLiteral("Only HTTP/1.0 and HTTP/1.1 are served."));
    m_request.method = parts.at(0);
    m_request.target = parts.at(1);
    m_request.version = parts.at(2);

    if (lines.size() > MaxHeaderCount)
        return fail(400, QStringLiteral("The request has too many header fields."));

    QByteArray contentLength;
    for (const QByteArray& line : qAsConst(lines)) {
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400, QStringLiteral("Folded header lines are not accepted."));
        const int colon = line.indexOf(':');
        const QByteArray name = colon < 0 ? QByteArray() : line.left(colon).toLower();
        if (!isToken(name))
            return fail(400, QStringLiteral("A header field is malformed."));
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            if (!contentLength.isNull() && contentLength != value)
                return fail(400, QStringLiteral("The request carries conflicting Content-Length fields."));
            contentLength = value;
        }
        m_request.headers.append(qMakePair(name, value));
    }

    if (m_request.hasHeader("transfer-encoding"))
        return fail(501, QStringLiteral("Transfer-Encoding is not supported; send a Content-Length."));

    if (!contentLength.isNull()) {
        bool ok = !contentLength.isEmpty();
        for (const char c : contentLength)
            ok = ok && c >= '0' && c <= '9';
        const qint64 length = ok ? contentLength.toLongLong(&ok) : -1;
        if (!ok || length < 0)
            return fail(400, QStringLiteral("The Content-Length field is not a number."));
        if (length > MaxBodyBytes)
            return fail(413, QStringLiteral("The request body is too large."));
        m_bodyLength = length;
    }

    m_continueRequested = m_bodyLength > 0 && m_request.header("expect").toLower() == "100-continue";
    return Result::NeedMore;
}

CHttpRequest CHttpRequestParser::takeRequest()
{
    CHttpRequest request = m_request;
    m_request = CHttpRequest();
    return request;
}

bool CHttpRequestParser::takeContinueRequest()
{
    const bool requested = m_continueRequested && m_stage == Stage::Body;
    m_continueRequested = false;
    return requested;
}

CHttpRequestParser::Result CHttpRequestParser::fail(int status, const QString& message)
{
    m_stage = Stage::Failed;
    m_errorStatus = status;
    m_errorMessage = message;
    return Result::Error;
}
