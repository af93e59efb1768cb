#include "exception.h"

#include <QCoreApplication>

Exception::Exception(int number, int level, const QString& text, int sourceLine, const QString& sourceFunction,
                     const QString& sourceFile)
    : errorNumber(number)
    , errorLevel(level)
    , message(text)
    , line(sourceLine)
    , function(sourceFunction)
    , file(sourceFile)
{
}

QString Exception::levelText(int level)
{
    switch (level) {
    case 1:
        return QStringLiteral("Debug");
    case 2:
    case 3:
        return QStringLiteral("Information");
    case 4:
        return QString();
    case 5:
    case 6:
        return QStringLiteral("Warning");
    default:
        return QStringLiteral("Error");
    }
}

QString Exception::toString() const
{
    // One pass: a message or file name that holds "%2" (a URL with "%2F") must come out as it went in.
    return QStringLiteral("Error\nError Number:%0\nError Message:%1\nError Level: %2\nFile: %3 : (%4)\nFunction: %5")
        .arg(QString::number(errorNumber), message, QString::number(errorLevel), file, QString::number(line), function);
}
