#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

class QNetworkReply;

// The download engine's error record: a code and, for the engine's own errors, a message.
//
// Code 0 means no error; a QNetworkReply::NetworkError value is a network error whose words come from a
// fixed table; 400 marks the engine's own errors, worded by `message`. Copied by value into signals,
// also across threads, so copying carries the two fields and nothing of the QObject.
class CNetworkError : public QObject
{
    Q_OBJECT

public:
    // The code of the engine's own errors.
    static constexpr int OwnError = 400;
    // Redirects followed for one request before it fails.
    static constexpr int MaxRedirects = 10;

    CNetworkError();
    explicit CNetworkError(int code);
    CNetworkError(const CNetworkError& other);
    CNetworkError& operator=(const CNetworkError& other);
    ~CNetworkError() override = default;

    void setCode(int code);
    // Sets the code to 400 as well.
    void setMessage(const QString& message);

    bool hasError() const { return m_code != 0; }
    int code() const { return m_code; }
    QString message() const { return m_message; }

    // "Code:<code>, Description: <words>": the message for code 400, the table's words for a network error,
    // "Unknown error." for a code the table does not know.
    QString text() const;

    // The table's words for `code`; empty when the table has no row for it.
    static QString tableText(int code);

    // What went wrong with a finished reply, in the words a user can act on: an HTTP status as an own error
    // "HTTP <status> <reason> from <url>", a refused redirect as what was refused, anything else as the
    // network error's code. No error when the reply has none.
    static CNetworkError fromReply(const QNetworkReply& reply);

private:
    int m_code = 0;
    QString m_message;
};

Q_DECLARE_METATYPE(CNetworkError)
