#include "cregistry.h"

#include <QRegularExpression>

QString CRegistry::normalizedKeyPath(const QString& keyPath)
{
    QString path = keyPath.trimmed();
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    static const QRegularExpression repeatedBackslashes(QStringLiteral("\\\\{2,}"));
    path.replace(repeatedBackslashes, QStringLiteral("\\"));
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);

    const QString hive = path.section(QLatin1Char('\\'), 0, 0);
    if (hive.compare(QLatin1String("HKLM"), Qt::CaseInsensitive) == 0)
        path.replace(0, hive.size(), QStringLiteral("HKEY_LOCAL_MACHINE"));
    else if (hive.compare(QLatin1String("HKCU"), Qt::CaseInsensitive) == 0)
        path.replace(0, hive.size(), QStringLiteral("HKEY_CURRENT_USER"));
    return path;
}
