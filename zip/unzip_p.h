#pragma once

#include "zip/czipentryheader.h"
#include "zip/czipformat.h"
#include "zip/unzip.h"
#include <zlib.h>

#include <QMap>
#include <QObject>

#include <memory>

class QFile;
class CZipKeys;

// The state of an UnZip: the open device, the entry table and the two work buffers every entry is streamed
// through. The buffers are members, so one reader costs a little over 512 KiB whatever it reads.
class UnzipPrivate : public QObject
{
    Q_OBJECT

public:
    UnzipPrivate();
    ~UnzipPrivate() override;

    // Expects a closed reader (the public open closes first).
    UnZip::ErrorCode openArchive(QIODevice* device);
    void closeArchive();

    UnZip::ErrorCode extractAll(const QDir& directory, UnZip::ExtractOptions options);
    UnZip::ErrorCode extractFile(const QString& name, const QDir& directory, UnZip::ExtractOptions options);
    UnZip::ErrorCode extractFiles(const QStringList& names, const QDir& directory, UnZip::ExtractOptions options);
    // The data step: checks the local header once, then decrypts, decompresses and checks the CRC-32,
    // writing to `output` unless it is null.
    UnZip::ErrorCode extractData(const QString& name, CZipEntryHeader& header, QIODevice* output);

    QString password;
    bool skipAllEncrypted = false;
    // Present only while an archive is open.
    std::unique_ptr<QMap<QString, CZipEntryHeader>> headers;
    QIODevice* device = nullptr;
    QFile* file = nullptr; // owned; the device when opened by name
    unsigned char readBuffer[CZipFormat::BufferSize];
    unsigned char outputBuffer[CZipFormat::BufferSize];
    quint32 centralDirectoryOffset = 0;
    quint32 endRecordOffset = 0;
    quint16 entryCount = 0;
    quint16 skippedCount = 0;
    QString comment;
    // One inflate state for all entries, reset for each: a fresh one per entry would be allocated and
    // freed again for every file.
    z_stream inflateStream{};
    bool inflateStreamReady = false;

public slots:
    // A device that is not ours went away while open: forget it without touching it.
    void deviceDestroyed(QObject* object);

private:
    UnZip::ErrorCode findEndRecord(unsigned char* record);
    UnZip::ErrorCode readCentralEntry();
    UnZip::ErrorCode checkLocalHeader(CZipEntryHeader& header);
    UnZip::ErrorCode checkDataDescriptor(const CZipEntryHeader& header);
    UnZip::ErrorCode extractToDirectory(const QString& name, CZipEntryHeader& header, const QDir& directory,
                                        UnZip::ExtractOptions options);
    UnZip::ErrorCode copyStored(const CZipEntryHeader& header, qint64 remaining, CZipKeys* keys, QIODevice* output,
                                quint32& crc, qint64& written);
    UnZip::ErrorCode inflateData(const CZipEntryHeader& header, qint64 remaining, CZipKeys* keys, QIODevice* output,
                                 quint32& crc, qint64& written);
    bool readExactly(void* data, qint64 size);
};
