#include "cdevserverconnection.h"

#include "cdevserverstate.h"

#include <QTcpSocket>

CDevServerConnection::CDevServerConnection(QTcpSocket* socket, int number, CDevServerState& state, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_number(number)
    , m_state(state)
    , m_router(state)
{
    m_socket->setParent(this);
    // Without it the small head of an answer waits for the client's delayed acknowledgement (up to 40 ms)
    // before the body may follow: a stall on every one of a download's many range requests.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_timer.setSingleShot(true);
    // Delays and throttle pauses are promised lower bounds: a coarse timer could fire a little early.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(m_socket, &QTcpSocket::readyRead, this, &CDevServerConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &CDevServerConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            deleteLater();
    });
}

CDevServerConnection::~CDevServerConnection()
{
    m_timer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
}

void CDevServerConnection::onReadyRead()
{
    if (m_lingering) {
        m_socket->readAll();
        if (m_lingerClock.elapsed() < LingerLimitMs)
            m_timer.start(LingerQuietMs);
        return;
    }
    m_buffer += m_socket->readAll();
    if (!m_busy)
        processBuffer();
}

void CDevServerConnection::processBuffer()
{
    if (m_busy || m_closing)
        return;
    switch (m_parser.parse(m_buffer)) {
    case CHttpRequestParser::Result::NeedMore:
        if (m_parser.takeContinueRequest())
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        return;
    case CHttpRequestParser::Result::Error:
        startErrorResponse(m_parser.errorStatus(), m_parser.errorMessage());
        return;
    case CHttpRequestParser::Result::Complete:
        startResponse(m_parser.takeRequest());
        return;
    }
}

void CDevServerConnection::startResponse(const CHttpRequest& request)
{
    m_busy = true;
    m_refused = false;
    m_method = QString::fromLatin1(request.method);
    m_target = QString::fromUtf8(request.target);

    CDevServerRequest record;
    record.method = m_method;
    record.path = m_target;
    for (const auto& header : request.headers)
        record.headers.insert(QString::fromLatin1(header.first), QString::fromUtf8(header.second));
    record.body = request.body;
    record.connection = m_number;
    m_state.recordRequest(record);

    m_fault = m_state.takeFault(m_method, request.path());
    m_response = m_router.respond(request, m_fault);
    m_headOnly = request.method == "HEAD";
    m_closeAfter = !request.keepAlive() || m_fault.contentLength != CDevServerFault::ContentLength::Normal ||
                   m_fault.dropAfterBytes >= 0;

    if (m_fault.delayMs > 0) {
        m_timer.disconnect();
        connect(&m_timer, &QTimer::timeout, this, &CDevServerConnection::sendHead);
        m_timer.start(m_fault.delayMs);
        return;
    }
    sendHead();
}

void CDevServerConnection::startErrorResponse(int status, const QString& message)
{
    // The stream cannot be framed any more: answer, then close.
    m_busy = true;
    m_method = QStringLiteral("?");
    m_target.clear();
    m_fault = CDevServerFault();
    m_response = CDevServerResponse::error(status, message);
    m_headOnly = false;
    m_closeAfter = true;
    m_refused = true;
    m_buffer.clear();
    sendHead();
}

void CDevServerConnection::sendHead()
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(m_response.status) + ' ' +
                      CDevServerResponse::reasonPhrase(m_response.status) + "\r\n";
    head += "Server: brelvar-devserver\r\n";
    for (const auto& header : qAsConst(m_response.headers))
        head += header.first + ": " + header.second + "\r\n";
    switch (m_fault.contentLength) {
    case CDevServerFault::ContentLength::Normal:
        head += "Content-Length: " + QByteArray::number(m_response.bodyLength()) + "\r\n";
        break;
    case CDevServerFault::ContentLength::False:
        head += "Content-Length: " + QByteArray::number(m_fault.falseContentLength) + "\r\n";
        break;
    case CDevServerFault::ContentLength::Omit:
        break;
    }
    head += m_closeAfter ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    if (m_socket->write(head) < 0) {
        closeConnection();
        return;
    }

    m_sent = 0;
    if (m_headOnly || m_response.bodyLength() == 0) {
        finishResponse();
        return;
    }
    if (!m_response.filePath.isEmpty()) {
        m_file.setFileName(m_response.filePath);
        if (!m_file.open(QIODevice::ReadOnly) || !m_file.seek(m_response.fileOffset)) {
            // The head is out already; all that is left is to cut the body short.
            closeConnection();
            return;
        }
    }
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, &CDevServerConnection::pump);
    pump();
}

void CDevServerConnection::onBytesWritten()
{
    if (m_busy && !m_timer.isActive())
        pump();
}

void CDevServerConnection::pump()
{
    if (!m_busy || m_closing)
        return;
    const qint64 total = m_response.bodyLength();
    while (m_sent < total) {
        if (m_socket->bytesToWrite() > MaxPendingBytes)
            return; // bytesWritten resumes

        qint64 slice = qMin(SliceBytes, total - m_sent);
        if (m_fault.dropAfterBytes >= 0) {
            slice = qMin(slice, m_fault.dropAfterBytes - m_sent);
            if (slice <= 0)
                break;
        }
        if (m_fault.stallAfterBytes >= 0) {
            slice = qMin(slice, m_fault.stallAfterBytes - m_sent);
            if (slice <= 0)
                return; // silent from here on; the connection stays open until the peer gives up
        }
        if (m_fault.bytesPerSecond > 0) {
            qint64 waitMs = 0;
            const qint64 allowed = throttleAllowance(&waitMs);
            if (allowed <= 0) {
                m_timer.start(static_cast<int>(waitMs));
                return;
            }
            slice = qMin(slice, allowed);
        }

        QByteArray data;
        if (m_response.filePath.isEmpty())
            data = m_response.body.mid(static_cast<int>(m_sent), static_cast<int>(slice));
        else
            data = m_file.read(slice);
        if (data.isEmpty() || m_socket->write(data) != data.size()) {
            // The file shrank under us or the peer went away: the announced length cannot be kept.
            closeConnection();
            return;
        }
        m_sent += data.size();
        if (m_fault.bytesPerSecond > 0)
            m_throttleBudget -= double(data.size());
    }
    finishResponse();
}

qint64 CDevServerConnection::throttleAllowance(qint64* waitMs)
{
    const double rate = double(m_fault.bytesPerSecond);
    const double burst = qMax(1.0, rate / 100.0);
    if (!m_throttleClock.isValid()) {
        m_throttleClock.start();
        m_throttleRefilledNs = 0;
        m_throttleBudget = 0;
    }
    const qint64 now = m_throttleClock.nsecsElapsed();
    m_throttleBudget = qMin(burst, m_throttleBudget + rate * double(now - m_throttleRefilledNs) / 1e9);
    m_throttleRefilledNs = now;
    if (m_throttleBudget >= 1.0)
        return qint64(m_throttleBudget);
    // Sleep until the next byte is due, but wake at least every 50 ms.
    *waitMs = qBound<qint64>(1, qint64((1.0 - m_throttleBudget) * 1000.0 / rate) + 1, 50);
    return 0;
}

void CDevServerConnection::finishResponse()
{
    m_timer.stop();
    m_file.close();
    m_busy = false;
    emit requestServed(m_method, m_target, m_response.status);
    if (m_refused) {
        lingerAndClose();
        return;
    }
    if (m_closeAfter) {
        closeConnection();
        return;
    }
    if (!m_buffer.isEmpty())
        QMetaObject::invokeMethod(this, &CDevServerConnection::processBuffer, Qt::QueuedConnection);
}

void CDevServerConnection::closeConnection()
{
    m_closing = true;
    m_busy = false;
    m_timer.stop();
    m_file.close();
    // Sends what is queued, then closes; `disconnected` deletes this object.
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

void CDevServerConnection::lingerAndClose()
{
    m_closing = true;
    m_lingering = true;
    m_buffer.clear();
    m_socket->readAll();
    m_lingerClock.start();
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, [this]() {
        m_lingering = false;
        closeConnection();
    });
    m_timer.start(LingerQuietMs);
}
