#pragma once

#include <QString>

// File operations the installer needs to swap a user's file without a moment in which it is missing.
namespace CFileReplace
{
// Renames `source` over `target` in one step: an existing target is replaced atomically (rename() on POSIX,
// MoveFileEx with replace-existing on Windows), so a reader sees the old file or the new one, never none.
// Both must be on one volume. False with `error` (the system's reason) otherwise.
bool renameOver(const QString& source, const QString& target, QString* error = nullptr);

// A second name for the file `existing` at `link` (a hard link: no data is copied); falls back to a copy
// where the file system has no hard links. False with `error` when neither works.
bool keepCopy(const QString& existing, const QString& link, QString* error = nullptr);

// The hard link alone: false where the file system has none (FAT, exFAT, many network shares).
bool makeHardLink(const QString& existing, const QString& link);

// Whether the last failure of renameOver() means that another program holds the file open (Windows
// sharing violations; never on POSIX, where an open file can be replaced). A target marked read-only is
// reported as such, not as in use.
bool isInUse(const QString& error);
} // namespace CFileReplace
