#pragma once

#include "foundation/exception.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The mapping list's file operations behind save, import and export, and the log clean-up. Each one is
// called on a worker thread, while the model lets nobody edit the mapped add-ons.
class CMappingFiles
{
public:
    struct Outcome
    {
        bool ok = false;
        Exception error;
        QString backupFile; // import: the copy of the list it replaced (empty when there was none)
        bool backupMade = false;
    };

    // Writes the mapped add-ons to "mapping.index".
    static Outcome save();
    // Replaces "mapping.index" by `file`, once `file` reads as a mapping list: the old list is kept as
    // "mapping-bak-<time>.index" first, and the new one takes its place only as a complete copy.
    static Outcome import(const QString& file, const QDateTime& now);
    // Copies "mapping.index" to `file`; `file` changes only when the whole copy was written.
    static Outcome exportTo(const QString& file);
    // "<folder>/<name>-bak-yyyyMMddHHmmss.index" beside `mappingFile`.
    static QString importBackupName(const QString& mappingFile, const QDateTime& now);

    // Deletes every "*.log" of the logs folder but the `keep` newest; returns the native paths deleted.
    static QStringList clearLog(int keep = 5);

private:
    // Writes `bytes` to `target` through a temporary file renamed over it.
    static bool writeWhole(const QString& target, const QByteArray& bytes, Exception* error);
};
