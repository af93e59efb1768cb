#pragma once

#include "zip/czipentryheader.h"
#include "zip/czipformat.h"
#include "zip/zip.h"

#include <QMap>
#include <QObject>
#include <QSet>

#include <atomic>
#include <functional>
#include <memory>

class QFileInfo;
class CZipStagedFile;
class CZipDeflater;
class CZipPacker;
struct CZipPackTask;

// An entry accepted for writing: its source checked, its name free, its level chosen.
struct CZipPlannedEntry
{
    QString path; // absolute
    QString name;
    qint64 size = 0;
    qint64 modified = 0; // ms since the epoch, as planned: the file read must still be this one
    quint16 dosDate = 0; // of the source's modification time
    quint16 dosTime = 0;
    int level = 0; // 0 stores
    bool directory = false;
};

// The state of a Zip: the device being written, the table of written entries (for the central directory)
// and the packing threads. An add operation first plans its entries (checking sources and names), then
// hands their data to the packing threads and writes what comes back, in order, on the caller's thread.
class ZipPrivate : public QObject
{
    Q_OBJECT

public:
    ZipPrivate();
    ~ZipPrivate() override;

    Zip::ErrorCode createArchive(QIODevice* device);
    Zip::ErrorCode closeArchive();
    // Writes `text` to the debug output, keeps it for errorDetail() and returns `code`.
    Zip::ErrorCode fail(Zip::ErrorCode code, const QString& text);
    // Forgets the archive without writing anything more; an archive created by name leaves no file.
    void resetArchive();
    // Forgets the last operation's detail and skipped files.
    void startOperation()
    {
        detail.clear();
        skipped.clear();
    }
    // After cancel(): drops the archive and gives Cancelled; otherwise `ec`.
    Zip::ErrorCode checkCancel(Zip::ErrorCode ec);

    // Plans the sources (files, and folders with everything below them) under names worked out from the
    // options, or a file under `entryName` when given, then writes them.
    Zip::ErrorCode addSources(const QStringList& paths, const QString& root, Zip::CompressionOptions options,
                              Zip::CompressionLevel level, const QString& entryName = QString());
    Zip::ErrorCode addNamedFiles(const QList<Zip::NamedFile>& files, Zip::CompressionOptions options,
                                 Zip::CompressionLevel level);

    // Present only while an archive is being written.
    std::unique_ptr<QMap<QString, CZipEntryHeader>> headers;
    QIODevice* device = nullptr;
    CZipStagedFile* file = nullptr; // owned; its file is the device when created by name
    QString archiveName;            // as given to create()
    // The archive's own files (final and temporary), never added to the archive.
    QStringList archivePaths;
    QString comment;
    QString password;
    // The particulars of the last failure (Zip::errorDetail).
    QString detail;
    int threadCount = 0; // 0: one per core, at least two
    std::function<void(int, int)> progress;
    QStringList skipped; // by the last add operation
    // Set by Zip::cancel() from any thread; read by the packing threads and between entries.
    std::atomic<bool> cancelRequested{false};
    std::unique_ptr<CZipPacker> packer;           // while an archive is open and something was packed
    std::unique_ptr<CZipDeflater> inlineDeflater; // for single small files

public slots:
    // A device that is not ours went away: drop the archive without touching it.
    void deviceDestroyed(QObject* object);

private:
    // The entries of the add operation in progress, in the order they go into the archive.
    QList<CZipPlannedEntry> plan;
    QSet<QString> plannedNames;

    Zip::ErrorCode planDirectory(const QString& path, const QString& prefix, bool folderEntries,
                                 Zip::CompressionOptions options, Zip::CompressionLevel level);
    Zip::ErrorCode planEntry(const QFileInfo& source, const QString& entryName, Zip::CompressionLevel level);
    // Writes the planned entries; with `skipBad` an entry that fails is left out and the rest goes on.
    Zip::ErrorCode writePlan(bool skipBad);
    Zip::ErrorCode writeEntry(const CZipPlannedEntry& entry, const std::function<std::shared_ptr<CZipPackTask>()>& take,
                              int taskCount);
    Zip::ErrorCode writeFailed(const QString& what);
    // The code and detail of a packing task that failed.
    Zip::ErrorCode taskFailed(const CZipPackTask& task);
    bool writeAll(const void* data, qint64 size);
    // FileNotFound for a missing or unreadable source, NotRegularFile for a pipe, socket or device.
    Zip::ErrorCode checkSource(const QFileInfo& source);
    bool isDuplicate(const QFileInfo& source) const;
    bool isArchiveItself(const QFileInfo& source) const;
};
