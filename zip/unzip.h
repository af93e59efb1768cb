#pragma once

#include "zip/czipreadertypes.h"

#include <QDateTime>
#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

class QDir;
class QIODevice;
class UnzipPrivate;

// Reads zip archives: stored and deflated entries, optionally with traditional PKWARE encryption; no ZIP64,
// no spanning. Every entry's local header is checked against the central directory before its first
// extraction, and every extracted entry's CRC-32 is checked. Reasons for failures go to the debug output
// and to errorDetail(); the operations return an ErrorCode. One object is used by one thread at a time.
//
// What it refuses, because each would cost the user files or disk: archives whose entries overlap each
// other or the central directory (one deflate stream shared by many entries unpacks a few KB into GBs);
// ZIP64 archives and archives with more entries than the end record counts (never a silently cut list);
// passwords outside Latin-1 (they would all open the same archive); names that would land outside the
// target folder. An extracted file is written beside its target and moved over it only after its CRC-32
// checked out, so a failure leaves the file that was there byte for byte.
class UnZip : public CZipReaderTypes
{
public:
    enum ExtractOption
    {
        // Keep the entry's folders below the target folder (the ordinary case).
        KeepFolders = 0x01,
        // Put every file directly into the target folder.
        DropFolders = 0x02,
        // Decompress and check only; write nothing.
        VerifyOnly = 0x04,
        // Fail rather than create a missing output folder (folder entries are not created either).
        NoDirectoryCreation = 0x08
    };
    Q_DECLARE_FLAGS(ExtractOptions, ExtractOption)

    enum Compression
    {
        Stored = 0,
        Deflated = 1,
        UnknownCompression = 2
    };

    enum EntryType
    {
        FileEntry = 0,
        DirectoryEntry = 1 // the name ends with "/"
    };

    struct EntryInfo
    {
        QString fileName;
        QString comment;
        quint32 compressedSize = 0; // the 12-byte encryption header included
        quint32 uncompressedSize = 0;
        quint32 crc32 = 0;
        QDateTime lastModified; // invalid when the entry's DOS date and time are
        Compression compression = UnknownCompression;
        EntryType type = FileEntry;
        bool encrypted = false;
    };

    UnZip();
    virtual ~UnZip();

    UnZip(const UnZip&) = delete;
    UnZip& operator=(const UnZip&) = delete;

    // Opens the archive and reads its central directory; an open archive is closed first. With
    // PartiallyCorrupted the archive stays open with the entries read before the directory broke off.
    ErrorCode open(const QString& fileName);
    // The device must allow seeking; it is opened read-only when it is not open yet, and is not owned.
    ErrorCode open(QIODevice* device);
    void close();
    bool isOpen() const;

    // Used for encrypted entries (as Latin-1 bytes); empty means none. A password outside Latin-1 gives
    // UnsupportedPassword here and for every encrypted entry until another one is set.
    ErrorCode setPassword(const QString& password);

    QString archiveComment() const;
    bool contains(const QString& entryName) const;
    // In name order.
    QStringList entryNames() const;
    QList<EntryInfo> entries() const;

    // Entries left out at opening (other methods, newer format versions, no name), in directory order.
    // Extracting one by name gives UnsupportedEntry; extractAll() and verify() report them the same way.
    QList<SkippedEntry> skippedEntries() const;
    int skippedEntryCount() const;

    // Every extraction into a folder or to a path writes the entry beside its target and replaces the
    // target only once the entry's CRC-32 checked out: on any failure the target is left as it was (or
    // absent). Folders are created only after the entry's local header and password checked out. A
    // backslash in a name separates folders like "/".

    // Extracts every entry in name order. Entries whose password check fails or whose name is unsafe are
    // passed over; any other failure ends the run with its code. Returns UnsafeEntryName when an entry was
    // refused for its name, UnsupportedEntry when some were skipped at opening, otherwise the code of the
    // last entry (SkipEntry when its password was wrong).
    ErrorCode extractAll(const QString& directory, ExtractOptions options = KeepFolders);
    ErrorCode extractAll(const QDir& directory, ExtractOptions options = KeepFolders);
    // "a/b/c.txt" becomes directory/a/b/c.txt, or directory/c.txt with DropFolders.
    ErrorCode extractFile(const QString& entryName, const QString& directory, ExtractOptions options = KeepFolders);
    ErrorCode extractFile(const QString& entryName, const QDir& directory, ExtractOptions options = KeepFolders);
    // Extracts the entry to exactly `filePath`, creating its folder when missing; a folder entry creates
    // the folder `filePath`.
    ErrorCode extractFileTo(const QString& entryName, const QString& filePath);
    // Writes the entry's content to an open device. The local header and password are checked before the
    // first byte is written; a later failure leaves what was written so far.
    ErrorCode extractFile(const QString& entryName, QIODevice* device, ExtractOptions options = KeepFolders);
    struct EntryResult
    {
        QString name;
        ErrorCode code = Ok;
        QString detail;
    };
    // Extracts the named entries (every entry when `names` is empty), each as extractFile(name, directory,
    // options) would, or checks them with VerifyOnly. With more than one reader (setThreadCount), an
    // archive opened by name is read by several at once, each checking that the file still holds what
    // this one listed. Returns the entries that failed, in name order; with `names` empty, the entries
    // left out at opening are among them (UnsupportedEntry).
    QList<EntryResult> extractEntries(const QStringList& names, const QString& directory,
                                      ExtractOptions options = KeepFolders);
    // Readers for extractEntries() and verify(); 0 means one per core, at least two. The default is one,
    // which leaves the other cores to the caller; `tessaray-cli zip` asks for one per core.
    void setThreadCount(int count);

    // Names that are not in the archive are passed over; the first other failure ends the run.
    ErrorCode extractFiles(const QStringList& entryNames, const QString& directory,
                           ExtractOptions options = KeepFolders);
    ErrorCode extractFiles(const QStringList& entryNames, const QDir& directory, ExtractOptions options = KeepFolders);

    // Checks every entry (local header, password, data, CRC-32) without writing anything. Ok only when all
    // of them check out and none was skipped at opening; otherwise the code of the first entry that failed,
    // whose name goes to `failedEntry` when given. Run it before installing anything from an archive.
    ErrorCode verify(QString* failedEntry = nullptr);

    // The particulars of the last failure in words: which entries, and the system's reason for a failed
    // read, write or rename. Empty after an operation that succeeded.
    QString errorDetail() const;

    // The message for a code (translated in the context "UnZip"); "Unknown error." for codes without one.
    static QString errorText(int code);

private:
    UnzipPrivate* d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(UnZip::ExtractOptions)
