#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// Text, GUID and cipher helpers of the download engine and the commands. Static operations only.
class CDownloadLogUtils : public QObject
{
    Q_OBJECT

public:
    // A fresh random GUID as text without braces.
    static QString newGuidText();
    // The GUID's text with "{" and "}" removed: lower-case hexadecimal with hyphens.
    static QString guidText(const QUuid& guid);
    // True for 8-4-4-4-12 hexadecimal digits, with or without braces, in either letter case, blanks around.
    static bool isGuid(const QString& text);
    // The part after the last `separator` (with it when asked); the whole text when it does not occur.
    static QString textAfterLast(const QString& text, const QString& separator, bool includeSeparator = false);
};
