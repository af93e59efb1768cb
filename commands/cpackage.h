#pragma once

#include "commands/cinstallplan.h"
#include "zip/unzip.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

// A data or backup package, opened once for everything a command does with it: its entries and their sizes,
// its file mapping read into memory, and the files it puts where. Its entries are checked when they are
// extracted (each against its CRC), so nothing is inflated twice.
class CPackage
{
public:
    enum class Failure
    {
        None,
        Unopened,   // not a package that can be read (or not with this password): openError() says why
        Duplicate,  // two entries of one name
        NoMapping,  // no file mapping of the add-on
        BadMapping, // a file mapping that can't be read or used
    };

    // Opens `path` with `password` (none when empty) and plans the files of `simulator` below `addonFolder`
    // (relative to it when empty: for a new folder). A data package holds its file mapping as "<add-on>.index",
    // a backup as "<add-on>.index.mapping". False with `problem` when the package can't be used.
    bool open(const QString& path, const QString& password, const QUuid& addonGuid, const QString& simulator,
              const QString& addonFolder, QString* problem);

    Failure failure() const { return m_failure; }
    UnZip::ErrorCode openError() const { return m_openError; }
    QString path() const { return m_path; }
    UnZip& archive() { return m_archive; }
    // The file mapping as the package holds it; it becomes the installed one.
    const QByteArray& mapping() const { return m_mapping; }
    QString mappingEntry() const { return m_mappingEntry; }
    const QList<PlannedFile>& files() const { return m_files; }
    // Uncompressed sizes by entry name.
    const QHash<QString, qint64>& sizes() const { return m_sizes; }

private:
    bool fail(Failure failure, const QString& text, QString* problem);

    UnZip m_archive;
    QString m_path;
    Failure m_failure = Failure::None;
    UnZip::ErrorCode m_openError = UnZip::Ok;
    QByteArray m_mapping;
    QString m_mappingEntry;
    QList<PlannedFile> m_files;
    QHash<QString, qint64> m_sizes;
};
