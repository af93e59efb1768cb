#pragma once

#include "zip/czipentryheader.h"
#include "zip/czipformat.h"
#include "zip/zip.h"
#include <zlib.h>

#include <QMap>
#include <QObject>

#include <memory>

class QFile;
class QFileInfo;
class QSaveFile;
class CZipKeys;

// The state of a Zip: the device being written, the table of written entries (for the central directory)
// and the two work buffers every file is streamed through.
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
    // WriteFailed with the device's reason; ReadFailed with the source's.
    Zip::ErrorCode writeFailed(const QString& what);
    Zip::ErrorCode readFailed(const QFile& source);
    // Forgets the archive without writing anything more.
    void resetArchive();

    // One source (file or folder) with an entry name worked out from the options, or `entryName` when given.
    Zip::ErrorCode addSources(const QStringList& paths, const QString& root, Zip::CompressionOptions options,
                              Zip::CompressionLevel level, const QString& entryName = QString());

    // Present only while an archive is being written.
    std::unique_ptr<QMap<QString, CZipEntryHeader>> headers;
    QIODevice* device = nullptr;
    QSaveFile* file = nullptr; // owned; the device when created by name
    // The archive's own file, never added to itself.
    QString archivePath;
    unsigned char inputBuffer[CZipFormat::BufferSize];
    unsigned char outputBuffer[CZipFormat::BufferSize];
    QString comment;
    QString password;
    // The particulars of the last failure (Zip::errorDetail).
    QString detail;
    // One deflate state for all entries: setting up a fresh one per file costs an allocation of about
    // 270 KiB each time, which the allocator hands back to the system and takes again.
    z_stream deflateStream{};
    int deflateStreamLevel = -1; // the level it was set up with; -1 while there is none

public slots:
    // A device that is not ours went away: drop the archive without touching it.
    void deviceDestroyed(QObject* object);

private:
    Zip::ErrorCode addDirectory(const QString& path, const QString& prefix, bool folderEntries,
                                Zip::CompressionOptions options, Zip::CompressionLevel level);
    Zip::ErrorCode writeEntry(const QFileInfo& source, const QString& entryName, Zip::CompressionLevel level);
    Zip::ErrorCode storeFile(QFile& source, qint64 size, CZipKeys* keys, quint32& crc, qint64& written);
    Zip::ErrorCode deflateFile(QFile& source, qint64 size, int level, CZipKeys* keys, quint32& crc, qint64& written);
    bool writeAll(const void* data, qint64 size);
    // FileNotFound for a missing or unreadable source, NotRegularFile for a pipe, socket or device.
    Zip::ErrorCode checkSource(const QFileInfo& source);
    bool isDuplicate(const QFileInfo& source) const;
    bool isArchiveItself(const QFileInfo& source) const;
};
