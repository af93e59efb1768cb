#pragma once

#include "chttprequest.h"

#include <QByteArray>
#include <QString>

// Reads HTTP/1.x requests off a connection's byte stream, one at a time, as the bytes arrive.
//
// The parser never trusts the peer: the request line, the header block and the body have upper bounds, and
// anything it cannot frame reliably is an error with the status to answer. After an error the stream is out
// of step, so the connection must be closed once the error has been answered.
class CHttpRequestParser
{
public:
    enum class Result
    {
        NeedMore, // the request is not complete yet
        Complete, // takeRequest() holds the next request
        Error,    // errorStatus() and errorMessage() tell why
    };

    static constexpr int MaxRequestLineBytes = 8 * 1024;
    static constexpr int MaxHeaderBytes = 64 * 1024;
    static constexpr int MaxHeaderCount = 100;
    static constexpr qint64 MaxBodyBytes = 16 * 1024 * 1024;

    // Consumes the bytes of at most one request from the front of `buffer`.
    Result parse(QByteArray& buffer);
    CHttpRequest takeRequest();

    // True once the header block of a request that waits for its body asked for "100-continue"; reading
    // it clears the flag, so that the interim answer is sent once.
    bool takeContinueRequest();

    int errorStatus() const { return m_errorStatus; }
    QString errorMessage() const { return m_errorMessage; }

private:
    Result fail(int status, const QString& message);
    Result parseHead(const QByteArray& head);

    enum class Stage
    {
        Head,
        Body,
        Failed,
    };

    Stage m_stage = Stage::Head;
    int m_scanned = 0; // bytes of the buffer already searched for the end of the head
    qint64 m_bodyLength = 0;
    bool m_continueRequested = false;
    CHttpRequest m_request;
    int m_errorStatus = 0;
    QString m_errorMessage;
};
