#include "cservedfiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace
{
const QString configurationFileName = QStringLiteral("service.json");
} // namespace

QString CServedFiles::resolve(const QString& root, const QString& urlPath)
{
    const QStringList elements = urlPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (elements.isEmpty())
        return QString();

    QString current = root;
    for (const QString& element : elements) {
        if (element == QLatin1String(".") || element == QLatin1String("..") || element.contains(QLatin1Char('\\')) ||
            element.contains(QChar(0)))
            return QString();
        const QString exact = current + QLatin1Char('/') + element;
        if (QFileInfo::exists(exact)) {
            current = exact;
            continue;
        }
        const QStringList entries =
            QDir(current).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const auto match = std::find_if(entries.cbegin(), entries.cend(), [&element](const QString& entry) {
            return entry.compare(element, Qt::CaseInsensitive) == 0;
        });
        if (match == entries.cend())
            return QString();
        current += QLatin1Char('/') + *match;
    }

    const QFileInfo info(current);
    const QString canonical = info.canonicalFilePath();
    if (!info.isFile() || canonical.isEmpty() || !canonical.startsWith(root + QLatin1Char('/')))
        return QString();
    if (canonical.compare(root + QLatin1Char('/') + configurationFileName, Qt::CaseInsensitive) == 0)
        return QString();
    return canonical;
}
