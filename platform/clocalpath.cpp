#include "clocalpath.h"

#include "platform/cfolderescape.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{

// The entry names of `folder` grouped by their case-folded form; each group sorted so that the pick is
// the same on every run.
QHash<QString, QStringList> readListing(const QString& folder)
{
    QHash<QString, QStringList> listing;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names)
        listing[name.toCaseFolded()].append(name);
    return listing;
}

// The element-by-element walk of existingPath(); `listingOf` gives a folder's grouped entries.
template <typename ListingOf> QString resolveElements(const QString& path, ListingOf listingOf)
{
    const QString internal = QDir::cleanPath(CLocalPath::toInternal(path));
    if (internal.isEmpty())
        return QString();
    if (QFileInfo::exists(internal))
        return QDir::toNativeSeparators(internal);
#if defined(Q_OS_WIN)
    // The file system ignores letter case already.
    Q_UNUSED(listingOf);
    return QString();
#else
    QString current;
    QStringList elements = internal.split(QLatin1Char('/'));
    if (internal.startsWith(QLatin1Char('/'))) {
        current = QStringLiteral("/");
        elements.removeFirst();
    }
    for (const QString& element : qAsConst(elements)) {
        if (element.isEmpty())
            continue;
        const QString folder = current.isEmpty() ? QStringLiteral(".") : current;
        const QString exact = current.isEmpty()                    ? element
                              : current.endsWith(QLatin1Char('/')) ? current + element
                                                                   : current + QLatin1Char('/') + element;
        if (QFileInfo::exists(exact)) {
            current = exact;
            continue;
        }
        const QStringList candidates = listingOf(folder).value(element.toCaseFolded());
        if (candidates.isEmpty())
            return QString();
        const QString match = candidates.first();
        current = current.isEmpty()                    ? match
                  : current.endsWith(QLatin1Char('/')) ? current + match
                                                       : current + QLatin1Char('/') + match;
    }
    return QDir::toNativeSeparators(current);
#endif
}

} // namespace

QString CLocalPath::toNative(const QString& path)
{
    QString result = path;
#if defined(Q_OS_WIN)
    result.replace(QLatin1Char('/'), QLatin1Char('\\'));
#else
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    return result;
}

QString CLocalPath::toInternal(const QString& path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}

QString CLocalPath::existingPath(const QString& path)
{
    return resolveElements(path, [](const QString& folder) { return readListing(folder); });
}

bool CLocalPath::leavesFolder(const QString& relative)
{
    return CFolderEscape::leavesFolder(relative.trimmed());
}

const QHash<QString, QStringList>& CPathCaseCache::listing(const QString& folder)
{
    auto it = m_listings.find(folder);
    if (it == m_listings.end())
        it = m_listings.insert(folder, readListing(folder));
    return it.value();
}

QString CPathCaseCache::existingPath(const QString& path)
{
    return resolveElements(path, [this](const QString& folder) { return listing(folder); });
}
