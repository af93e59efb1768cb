#include "cdevserverrouter.h"

#include "cbyterange.h"
#include "cdevserverstate.h"
#include "chttprequest.h"
#include "cservedfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace
{

QByteArray contentTypeFor(const QString& filePath)
{
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    if (suffix == QLatin1String("txt"))
        return "text/plain; charset=utf-8";
    if (suffix == QLatin1String("json"))
        return "application/json";
    if (suffix == QLatin1String("xml") || suffix == QLatin1String("index"))
        return "application/xml";
    if (suffix == QLatin1String("zip"))
        return "application/zip";
    return "application/octet-stream";
}

// Changes whenever the file's time or size does, as the validators of common web servers do.
QByteArray entityTag(const QFileInfo& info)
{
    return '"' + QByteArray::number(info.lastModified().toMSecsSinceEpoch(), 16) + '-' +
           QByteArray::number(info.size(), 16) + '"';
}

QByteArray httpDate(const QDateTime& time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

// A range asked for under "If-Range" holds only while the file is the one the client knew: the same strong
// entity tag, or the same modification date; otherwise the whole file is the answer.
bool ifRangeHolds(const QByteArray& ifRange, const QByteArray& tag, const QByteArray& date)
{
    if (ifRange.isEmpty())
        return true;
    if (ifRange.startsWith('"') || ifRange.startsWith("W/"))
        return ifRange == tag;
    return ifRange == date;
}

} // namespace

CDevServerRouter::CDevServerRouter(CDevServerState& state)
    : m_state(state)
    , m_api(state)
{
}

CDevServerResponse CDevServerRouter::respond(const CHttpRequest& request, const CDevServerFault& fault)
{
    if (fault.status != 0)
        return CDevServerResponse::error(fault.status,
                                         QString::fromLatin1(CDevServerResponse::reasonPhrase(fault.status)));

    if (fault.redirectStatus != 0) {
        CDevServerResponse redirect = CDevServerResponse::error(
            fault.redirectStatus, QString::fromLatin1(CDevServerResponse::reasonPhrase(fault.redirectStatus)));
        redirect.headers.append(qMakePair(QByteArray("Location"), fault.redirectTo.toUtf8()));
        return redirect;
    }

    const QString path = request.path();
    const bool isRead = request.method == "GET" || request.method == "HEAD";
    const QString root = m_state.root();

    CDevServerResponse response;
    if (m_api.respond(request, baseUrlFor(request), response))
        return response;

    QString filePath = m_state.addedFile(path);
    if (filePath.isEmpty() && !root.isEmpty())
        filePath = CServedFiles::resolve(root, path);
    if (!filePath.isEmpty()) {
        if (!isRead)
            return CDevServerResponse::error(405, QStringLiteral("Files are read with GET or HEAD."));
        return serveFile(filePath, request, fault);
    }

    // Any answer proves that the service is reachable; the text is not read.
    if (isRead && path.compare(QLatin1String("/status.txt"), Qt::CaseInsensitive) == 0) {
        response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/plain; charset=utf-8")));
        response.body = "OK\n";
        return response;
    }

    return CDevServerResponse::error(404, QStringLiteral("Nothing is served at \"%1\".").arg(path));
}

CDevServerResponse CDevServerRouter::serveFile(const QString& filePath, const CHttpRequest& request,
                                               const CDevServerFault& fault)
{
    const QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable())
        return CDevServerResponse::error(404, QStringLiteral("The file \"%1\" cannot be read.").arg(request.path()));
    const qint64 size = info.size();

    CDevServerResponse response;
    response.headers.append(qMakePair(QByteArray("Content-Type"), contentTypeFor(filePath)));
    response.headers.append(qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes")));
    const QByteArray tag = entityTag(info);
    const QByteArray date = httpDate(info.lastModified());
    response.headers.append(qMakePair(QByteArray("ETag"), tag));
    response.headers.append(qMakePair(QByteArray("Last-Modified"), date));
    response.filePath = filePath;
    response.fileLength = size;

    if (fault.ignoreRange || !request.hasHeader("range") || !ifRangeHolds(request.header("if-range"), tag, date))
        return response;

    const CByteRange range = CByteRange::parse(request.header("range"), size);
    switch (range.kind) {
    case CByteRange::Kind::Whole:
        return response;
    case CByteRange::Kind::Unsatisfiable: {
        CDevServerResponse refusal =
            CDevServerResponse::error(416, QStringLiteral("The range \"%1\" lies outside the %2 bytes of the file.")
                                               .arg(QString::fromLatin1(request.header("range")))
                                               .arg(size));
        refusal.headers.append(
            qMakePair(QByteArray("Content-Range"), QByteArray("bytes */") + QByteArray::number(size)));
        return refusal;
    }
    case CByteRange::Kind::Partial:
        break;
    }
    response.status = 206;
    response.fileOffset = range.first;
    response.fileLength = range.length();
    response.headers.append(
        qMakePair(QByteArray("Content-Range"), QByteArray("bytes ") + QByteArray::number(range.first) + '-' +
                                                   QByteArray::number(range.last) + '/' + QByteArray::number(size)));
    return response;
}

QString CDevServerRouter::baseUrlFor(const CHttpRequest& request) const
{
    // Only a plain host and port is taken over, so that a hostile Host field cannot shape the addresses.
    const QByteArray host = request.header("host");
    bool plain = !host.isEmpty() && host.size() <= 255;
    for (const char c : host)
        plain =
            plain && (QChar::isLetterOrNumber(uint(uchar(c))) || QByteArray(".-:[]").contains(c)) && uchar(c) < 0x80;
    return plain ? QStringLiteral("http://") + QString::fromLatin1(host) : m_state.baseUrl();
}
