#pragma once

#include <QMetaType>
#include <QString>

// The error record carried by every error signal of the program and written to the log.
// Errors are never thrown: they travel as values, followed by exactly one completion signal.
struct Exception
{
    int errorNumber = 0;
    int errorLevel = 0;
    QString message;
    int line = 0;
    QString function;
    QString file;

    Exception() = default;
    Exception(int number, int level, const QString& text, int sourceLine, const QString& sourceFunction,
              const QString& sourceFile);

    // "Debug", "Information", "Warning" or "Error"; an empty text for level 4.
    static QString levelText(int level);
    QString levelText() const { return levelText(errorLevel); }

    // The multi-line form written to the log.
    QString toString() const;
};

Q_DECLARE_METATYPE(Exception)

// Builds an Exception that records where it was raised.
#define BV_EXCEPTION(number, level, message)                                                                           \
    Exception((number), (level), (message), __LINE__, CLogger::functionName(Q_FUNC_INFO), CLogger::fileName(__FILE__))
