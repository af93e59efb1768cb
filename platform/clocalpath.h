#pragma once

#include <QHash>
#include <QString>

// Paths as the data index and the mapping files write them (Windows form: backslashes, any letter case)
// turned into paths of this machine, and the tests made on them.
//
// Simulator folders copied from Windows onto a case-sensitive file system rarely keep the letter case the
// index uses ("aircraft" against "Aircraft"), so every test of a path from the index goes through
// existingPath(), which matches each element without regard to case when the exact path does not exist.
class CLocalPath
{
public:
    // Every "\" and "/" becomes the native separator. Index texts are Windows paths, so on other systems
    // a backslash is a separator too, not a character of a file name.
    static QString toNative(const QString& path);

    // The same path with "/" separators (the form QDir and QFileInfo take everywhere).
    static QString toInternal(const QString& path);

    // The path as it exists on disk, in native separators: `path` itself when it exists; otherwise (on
    // file systems that tell letter case apart) the path whose elements match those of `path` without
    // regard to case, the exact spelling preferred at each level. An empty text when nothing matches.
    // `path` may use either separator; "." and ".." elements are resolved first.
    static QString existingPath(const QString& path);
    static bool exists(const QString& path) { return !existingPath(path).isEmpty(); }

    // `path` with its longest leading part that exists under another letter case spelled as on the disk, and
    // the rest as given, in native separators: where a package's new file goes into a folder that the disk
    // spells differently, it joins that folder instead of making a second one beside it. `path` itself
    // when it exists, and always on Windows.
    static QString matchCase(const QString& path);

    // `path` as Windows' wide-character file calls take it past their 260-character limit: an absolute path
    // of 248 characters or more (the limit of a folder name) cleaned, in backslashes, behind "\\?\"
    // ("\\?\UNC\" for a share). Other paths come back in backslashes only. Pure text, so that it is
    // tested on every system.
    static QString toWindowsLongPath(const QString& path);

    // True when `relative`, joined to a folder, would name something outside that folder: an absolute
    // path ("/x", "\x", "\\server\x"), a drive letter ("C:", "c:x") or a ".." element (also written with
    // trailing dots or blanks, which Windows drops). An empty text stays inside.
    static bool leavesFolder(const QString& relative);
};

// existingPath() with the folder listings it reads remembered, for work that tests thousands of paths
// below the same folders (a scan). The listings are not refreshed: use one cache per pass over the disk.
class CPathCaseCache
{
public:
    QString existingPath(const QString& path);
    QString matchCase(const QString& path);
    bool exists(const QString& path) { return !existingPath(path).isEmpty(); }
    void clear() { m_listings.clear(); }

private:
    // folder (internal form) -> case-folded entry name -> entry names with that folding, sorted
    QHash<QString, QHash<QString, QStringList>> m_listings;

    friend class CLocalPath;
    const QHash<QString, QStringList>& listing(const QString& folder);
};
