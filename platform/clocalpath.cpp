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

// matchCase() over `existing`, which resolves one path as existingPath() does.
template <typename Existing> QString matchLeadingCase(const QString& path, Existing existing)
{
    const QString internal = QDir::cleanPath(CLocalPath::toInternal(path));
#if defined(Q_OS_WIN)
    Q_UNUSED(existing);
    return QDir::toNativeSeparators(internal);
#else
    if (internal.isEmpty() || QFileInfo::exists(internal))
        return QDir::toNativeSeparators(internal);
    // The longest leading part that exists in some spelling; the elements after it are new.
    QString head = internal;
    QString tail;
    for (;;) {
        const QString found = existing(head);
        if (!found.isEmpty())
            return QDir::toNativeSeparators(QDir::fromNativeSeparators(found) + tail);
        const int cut = head.lastIndexOf(QLatin1Char('/'));
        if (cut <= 0)
            return QDir::toNativeSeparators(internal);
        tail = head.mid(cut) + tail;
        head = head.left(cut);
    }
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

QString CLocalPath::matchCase(const QString& path)
{
    return matchLeadingCase(path, [](const QString& part) { return existingPath(part); });
}

QString CLocalPath::toWindowsLongPath(const QString& path)
{
    // CreateDirectoryW stops 12 characters short of MAX_PATH (room for an 8.3 file name).
    constexpr int limit = 248;
    QString result = path;
    result.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (result.startsWith(QLatin1String("\\\\?\\")) || result.size() < limit)
        return result;
    const bool share = result.startsWith(QLatin1String("\\\\"));
    const bool drive = result.size() > 2 && result.at(0).unicode() < 0x80 && result.at(0).isLetter() &&
                       result.at(1) == QLatin1Char(':') && result.at(2) == QLatin1Char('\\');
    if (!share && !drive)
        return result;
    // Behind the prefix the system cleans nothing: "." and ".." elements and doubled separators go first.
    QString clean = QDir::cleanPath(result.mid(share ? 2 : 0).replace(QLatin1Char('\\'), QLatin1Char('/')));
    clean.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return (share ? QStringLiteral("\\\\?\\UNC\\") : QStringLiteral("\\\\?\\")) + clean;
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

QString CPathCaseCache::matchCase(const QString& path)
{
    return matchLeadingCase(path, [this](const QString& part) { return existingPath(part); });
}
