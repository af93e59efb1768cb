#pragma once

#include <QObject>
#include <QString>

// File operations of the download engine on normalised paths. Static operations only; every path is
// normalised first (see normalizePath). Failures are reported by the boolean result: callers word the error.
class CFileUtils : public QObject
{
    Q_OBJECT

public:
    // A relative path becomes the canonical directory of the program file, "/", the path. An absolute path
    // ending in "/" or "\" loses that one last character (a file system root stays as it is). Anything else
    // is returned unchanged.
    static QString normalizePath(const QString& path);

    // The file or directory exists.
    Q_INVOKABLE static bool exists(const QString& fileName);

    // Creates (or opens) the file read-write and, when `size` > 0, gives it that size. Fails for an empty path
    // and for a directory. With `createDirectories`, the missing parent directories are made first. On
    // failure `reason` says why, with the system's words where the system refused.
    static bool createFile(const QString& path, qint64 size, bool createDirectories, QString* reason = nullptr);

    // Moves `source` onto `destination`, replacing an existing destination. False when the source does not
    // exist. The destination is replaced in one step where the file system allows it; otherwise the source is
    // copied next to the destination first, so that a failed copy never costs the old destination. On
    // failure `reason` says why, with the system's words where the system refused.
    static bool moveFile(const QString& source, const QString& destination, QString* reason = nullptr);

    // True when the file does not exist; otherwise whether removing it succeeded.
    static bool removeFile(const QString& path);
};
