#pragma once

#include <QString>
#include <QStringList>

class QFileDevice;
class QSaveFile;

// Writing that is only called done when the bytes are on the disk. A full disk, a pulled USB stick or a
// network share that went away often shows only when the data is flushed or the file closed; every write of
// a user's file ends through these, so that such an error fails the file instead of passing unseen.
namespace CDurableFile
{
// Flushes `file`, syncs it to the disk and closes it. False with `problem` (the file and the system's
// reason) when any of the three fails; the file is closed either way.
bool finish(QFileDevice& file, QString* problem);

// Flushes `file` and syncs it to the disk, leaving it open: for a file rewritten in place.
bool sync(QFileDevice& file, QString* problem);

// Commits `file` (written to a temporary file, synced, renamed over its target) and then syncs the folder,
// so that the rename itself survives a power cut. False with `problem` otherwise; the target is untouched.
bool commit(QSaveFile& file, QString* problem);

// Syncs the file at `path` to the disk (a file written by someone else, such as the zip writer).
bool syncFile(const QString& path, QString* problem);

// Syncs `folder`'s entries, so that renames and new names in it survive a power cut. A no-op on Windows,
// where the file system journals its names itself.
bool syncFolder(const QString& folder, QString* problem);

// Writes `file` to the end and closes it without waiting for the disk: for many files that syncFiles() then
// saves together. False with `problem` when the data could not be written or the file closed.
bool closeWritten(QFileDevice& file, QString* problem);

// Saves the files at `paths`, all on one file system, to the disk. On Linux one syncfs() of that file system
// does it (one journal commit instead of one per file, which makes thousands of small files several times
// faster); elsewhere they are synced one by one.
bool syncFiles(const QStringList& paths, QString* problem);
} // namespace CDurableFile
