#pragma once

#include <QFile>
#include <QString>

class QFileDevice;

// Files that hold what is the user's alone (the enciphered log-in in "settings.conf", the logs, the
// mappings) are readable and writable by their owner only on Linux and macOS, where the folders they live
// in are often readable by all. On Windows the folder's rights apply and these calls change nothing.
class COwnerOnlyFile
{
public:
    // Opens `file` (its file name set) with `mode`, which must include writing. A file that does not exist
    // yet is created owner-only in the same step, so that no other user can open it in between; an
    // existing one with wider rights is narrowed. False, with the file closed, when that fails.
    static bool open(QFile& file, QIODevice::OpenMode mode);
    // Creates `path` empty and owner-only when it is missing (its folder too), or narrows the rights of the
    // existing file; the content is never touched. For files that another writer then fills in place, such
    // as QSettings, which keeps the rights of the file it replaces.
    static bool ensure(const QString& path);
    // Narrows an open file to its owner: a QSaveFile's temporary file before commit(), so that the file
    // that takes the old one's place is owner-only from its first byte on.
    static bool restrict(QFileDevice& file);
};
