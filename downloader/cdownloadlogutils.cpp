#include "cdownloadlogutils.h"

#include <QRegularExpression>

QString CDownloadLogUtils::newGuidText()
{
    return guidText(QUuid::createUuid());
}

QString CDownloadLogUtils::guidText(const QUuid& guid)
{
    QString text = guid.toString();
    text.remove(QLatin1Char('{'));
    text.remove(QLatin1Char('}'));
    return text;
}

bool CDownloadLogUtils::isGuid(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\{?[a-fA-F\\d]{8}-([a-fA-F\\d]{4}-){3}[a-fA-F\\d]{12}\\}?$"));
    QString candidate = text.trimmed().toLower();
    candidate.remove(QLatin1Char('{'));
    candidate.remove(QLatin1Char('}'));
    return pattern.match(candidate).hasMatch();
}

QString CDownloadLogUtils::textAfterLast(const QString& text, const QString& separator, bool includeSeparator)
{
    const int position = text.lastIndexOf(separator);
    if (position < 0 || separator.isEmpty())
        return text;
    return text.mid(includeSeparator ? position : position + separator.size());
}
