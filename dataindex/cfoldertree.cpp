#include "cfoldertree.h"

#include "platform/clocalpath.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>

CFolderTree::CFolderTree(const QString& root, int maximumEntries)
    : m_root(QDir::cleanPath(CLocalPath::toInternal(root)))
{
    if (!QFileInfo(m_root).isDir())
        return;
    m_entries.append(Entry{-1, QString(), true});
    for (int folder = 0; folder < m_entries.size(); ++folder) {
        if (!m_entries.at(folder).isFolder)
            continue;
        QStringList folderNames;
        QStringList fileNames;
        QDirIterator it(pathOf(folder), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
        while (it.hasNext()) {
            it.next();
            (it.fileInfo().isDir() ? folderNames : fileNames).append(it.fileName());
        }
        folderNames.sort();
        fileNames.sort();
        for (const QStringList* names : {&folderNames, &fileNames}) {
            const bool isFolder = names == &folderNames;
            for (const QString& name : *names) {
                if (m_entries.size() >= maximumEntries) {
                    m_complete = false;
                    return;
                }
                m_byFoldedName[name.toCaseFolded()].append(m_entries.size());
                m_entries.append(Entry{folder, name, isFolder});
            }
        }
    }
}

QString CFolderTree::pathOf(int index) const
{
    QStringList names;
    for (int i = index; i > 0; i = m_entries.at(i).parent)
        names.prepend(m_entries.at(i).name);
    if (names.isEmpty())
        return m_root;
    return m_root + (m_root.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) +
           names.join(QLatin1Char('/'));
}

QStringList CFolderTree::folders() const
{
    QStringList result;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).isFolder)
            result.append(pathOf(i));
    }
    return result;
}

QStringList CFolderTree::findFiles(const QString& pattern) const
{
    QStringList result;
    const bool hasWildcards = pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'));
    if (!hasWildcards) {
        const QVector<int> matches = m_byFoldedName.value(pattern.toCaseFolded());
        for (int index : matches) {
            if (!m_entries.at(index).isFolder)
                result.append(pathOf(index));
        }
        return result;
    }
    const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern),
                                        QRegularExpression::CaseInsensitiveOption);
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries.at(i);
        if (!entry.isFolder && expression.match(entry.name).hasMatch())
            result.append(pathOf(i));
    }
    return result;
}

QStringList CFolderTree::foldersHolding(const QString& name) const
{
    QStringList result;
    const QVector<int> matches = m_byFoldedName.value(name.toCaseFolded());
    for (int index : matches) {
        const QString folder = pathOf(m_entries.at(index).parent);
        if (result.isEmpty() || result.last() != folder)
            result.append(folder);
    }
    return result;
}
