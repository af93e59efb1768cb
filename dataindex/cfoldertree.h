#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// A snapshot of every folder and file below a root, read once breadth-first (names sorted, symbolic links
// not followed), for searches that would otherwise walk a whole simulator tree again for each add-on.
class CFolderTree
{
public:
    // Walking stops after this many entries, so that an endless or enormous tree can't exhaust memory;
    // the snapshot is then partial (isComplete() false).
    static constexpr int DefaultMaximumEntries = 2000000;

    explicit CFolderTree(const QString& root, int maximumEntries = DefaultMaximumEntries);

    bool isComplete() const { return m_complete; }
    int entryCount() const { return m_entries.size(); }

    // The folders, root first, breadth-first; "/" separators.
    QStringList folders() const;

    // Files whose name matches `pattern` (a file name with optional "*" and "?" wildcards) without regard
    // to case, breadth-first; full paths with "/" separators.
    QStringList findFiles(const QString& pattern) const;

    // Folders that hold an entry (file or folder) named `name`, compared without regard to case,
    // breadth-first.
    QStringList foldersHolding(const QString& name) const;

private:
    struct Entry
    {
        int parent; // index of the parent folder in m_entries; -1 for the root
        QString name;
        bool isFolder;
    };

    QString pathOf(int index) const;

    QString m_root;
    QVector<Entry> m_entries;
    QHash<QString, QVector<int>> m_byFoldedName;
    bool m_complete = true;
};
