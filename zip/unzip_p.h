#pragma once

#include "zip/czipentryheader.h"
#include "zip/czipformat.h"
#include "zip/czipinflater.h"
#include "zip/unzip.h"

#include <QMap>
#include <QObject>

#include <memory>

class QFile;

// The state of an UnZip: the open device, the entry table and the inflater every entry is streamed through,
// whose two buffers are members: one reader costs a little over 512 KiB whatever it reads.
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
    UnZip::ErrorCode extractFileTo(const QString& name, const QString& filePath);
    UnZip::ErrorCode extractToDevice(const QString& name, QIODevice* output);
    UnZip::ErrorCode extractFiles(const QStringList& names, const QDir& directory, UnZip::ExtractOptions options);
    UnZip::ErrorCode verify(QString* failedEntry);
    QList<UnZip::EntryResult> extractEntries(const QStringList& names, const QDir& directory,
                                             UnZip::ExtractOptions options);
    QList<UnZip::EntryInfo> listEntries() const;

    QString password;
    bool skipAllEncrypted = false;
    // Present only while an archive is open.
    std::unique_ptr<QMap<QString, CZipEntryHeader>> headers;
    QList<UnZip::SkippedEntry> skipped;
    QIODevice* device = nullptr;
    QFile* file = nullptr; // owned; the device when opened by name
    QString comment;
    int threadCount = 1; // readers of extractEntries(); 0: one per core, at least two
    QString madeFolder;  // the output folder last made or found, so that it is not made again
    // The particulars of the last failure (UnZip::errorDetail).
    QString detail;
    CZipInflater inflater;

public slots:
    // A device that is not ours went away while open: forget it without touching it.
    void deviceDestroyed(QObject* object);

private:
    // An entry whose local header and password checked out; nothing has been written for it yet.
    using EntryData = CZipInflater::Input;

    // Writes `text` to the debug output, keeps it for errorDetail() and returns `code`.
    UnZip::ErrorCode fail(UnZip::ErrorCode code, const QString& text);
    UnZip::ErrorCode findEntry(const QString& name, CZipEntryHeader*& header);
    UnZip::ErrorCode checkLocalHeader(const QString& name, CZipEntryHeader& header);
    UnZip::ErrorCode checkDataDescriptor(const QString& name, const CZipEntryHeader& header);
    // The checks that come before any output: the local header (once), then the password.
    UnZip::ErrorCode beginData(const QString& name, CZipEntryHeader& header, EntryData& data);
    // Decrypts, decompresses and checks the CRC-32, writing to `output` unless it is null.
    UnZip::ErrorCode readData(const QString& name, const CZipEntryHeader& header, EntryData& data, QIODevice* output);
    UnZip::ErrorCode extractToDirectory(const QString& name, CZipEntryHeader& header, const QDir& directory,
                                        UnZip::ExtractOptions options);
    UnZip::ErrorCode extractToPath(const QString& name, CZipEntryHeader& header, const QString& filePath,
                                   bool createFolder);
};
