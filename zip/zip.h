#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;
class ZipPrivate;

// Writes zip archives: entries stored or deflated and, with a password, protected by traditional PKWARE
// encryption. Entries are written as they are added; the central directory follows when the archive is
// closed or the writer destroyed. Reasons for failures go to the debug output and to errorDetail(); the
// operations return an ErrorCode. One object is used by one thread at a time.
//
// An archive created by name is written beside its final name and moved there only when close() has
// written it completely: until then, and after any failure, a file that had the name is untouched. Each
// entry name is taken once: a second file for a name already in the archive is refused, never allowed to
// replace the first behind the caller's back.
//
// The files of one add operation are read, compressed and encrypted on packing threads (one per core,
// at least two), a large file in blocks that join into one deflate stream, while the calling thread
// writes the results in order: the archive is the same whatever the number of threads. Add many files in
// one call (addFiles, addFilesAs, addDirectory) to keep every core busy. Each add operation returns once
// everything it added is written, with the first failure's code.
class Zip
{
public:
    // The writer's classic codes; keep their numbers.
    enum ErrorCode
    {
        Ok = 0,
        ZlibInitFailed = 1,
        ZlibError = 2,
        FileExists = 3, // the archive exists and overwriting was not allowed
        OpenFailed = 4,
        NoOpenArchive = 5,
        FileNotFound = 6,
        ReadFailed = 7,
        WriteFailed = 8,
        SeekFailed = 9,
        // Another file was already added under this entry name; nothing was written for this one.
        DuplicateEntryName = 10,
        // The explicit entry name is empty, absolute or climbs out of its folder; nothing was written.
        InvalidEntryName = 11,
        // A pipe, socket or device: reading it could block forever or never end.
        NotRegularFile = 12,
        // The password has characters outside Latin-1, which the zip cipher cannot carry.
        UnsupportedPassword = 13,
        // cancel() was called; the archive was dropped.
        Cancelled = 14
    };

    // Files under 60 bytes and folders are always stored, whatever the level.
    enum CompressionLevel
    {
        Store = 0,
        Deflate1 = 1,
        Deflate2,
        Deflate3,
        Deflate4,
        Deflate5,
        Deflate6,
        Deflate7,
        Deflate8,
        Deflate9,
        // Deflate level 5 for everything.
        AutoBySpeed = 10,
        // By the file's suffix: archives stored, media and documents level 2, text level 9, others level 5.
        AutoByType = 11,
        AutoByTypeFull = 12 // the same choice as AutoByType
    };

    // How an added path becomes an entry name; the root is put in front of every name. When several naming
    // bits are set, IgnorePaths and RelativeToFolder win over AbsolutePaths, which wins over RelativePaths.
    enum CompressionOption
    {
        // A file keeps the name of its folder ("nav/wpt.dat"); a folder keeps its own name and everything
        // below it ("nav/sub/wpt.dat").
        RelativePaths = 0x01,
        // The folder's whole path, without the leading "/" or drive, so that no entry name is absolute
        // ("home/user/nav/wpt.dat").
        AbsolutePaths = 0x02,
        // File names only ("wpt.dat"), also for everything below an added folder; no folder entries.
        IgnorePaths = 0x04,
        // Names relative to the added item's own folder: a file's name only, a folder's contents without the
        // folder's own name ("sub/wpt.dat").
        RelativeToFolder = 0x08,
        // Leave out sources that are missing or unreadable, and go on after an entry fails.
        SkipBadFiles = 0x20,
        // Leave out a file already in the archive (same absolute path, compared lower-cased, and same size).
        SkipDuplicates = 0x40
    };
    Q_DECLARE_FLAGS(CompressionOptions, CompressionOption)

    Zip();
    // Closes the archive (writing its central directory), or drops it after cancel().
    virtual ~Zip();

    Zip(const Zip&) = delete;
    Zip& operator=(const Zip&) = delete;

    // An archive in progress is closed first. Without `overwrite` an existing file gives FileExists; with
    // it, the existing file is replaced by close() and not before.
    ErrorCode create(const QString& fileName, bool overwrite = false);
    // The device must allow seeking back (each entry's CRC and size are filled in after its data); it is
    // opened write-only when not open yet, and is not owned.
    ErrorCode create(QIODevice* device);
    bool isOpen() const;

    // Encrypts the file entries added from now on (as Latin-1 bytes); empty means none. A password outside
    // Latin-1 gives UnsupportedPassword here and for every file added until another one is set.
    ErrorCode setPassword(const QString& password);
    // Written in Latin-1 into the end record.
    void setArchiveComment(const QString& comment);

    ErrorCode addFile(const QString& path, const QString& root = QString(), CompressionOptions options = RelativePaths,
                      CompressionLevel level = Deflate6);
    // One file under the given entry name ("nav/wpt.dat"), whatever its own name and folder; the file on
    // disk is only read. Only SkipBadFiles and SkipDuplicates of the options apply. An empty, absolute or
    // climbing name gives InvalidEntryName, a name already in the archive DuplicateEntryName.
    ErrorCode addFileAs(const QString& path, const QString& entryName, CompressionOptions options = RelativePaths,
                        CompressionLevel level = Deflate6);
    struct NamedFile
    {
        QString path;
        QString entryName;
    };
    // Several files, each as by addFileAs, packed in parallel: the way to add many files under names of
    // one's own. The first failure stops the adding (unless SkipBadFiles), after the files before it.
    ErrorCode addFilesAs(const QList<NamedFile>& files, CompressionOptions options = RelativePaths,
                         CompressionLevel level = Deflate6);
    // Files are added as by addFile, folders as by addDirectory.
    ErrorCode addFiles(const QStringList& paths, const QString& root = QString(),
                       CompressionOptions options = RelativePaths, CompressionLevel level = Deflate6);
    // Adds the folder and everything below it. Symbolic links to folders are not followed.
    ErrorCode addDirectory(const QString& path, const QString& root = QString(),
                           CompressionOptions options = RelativePaths, CompressionLevel level = Deflate6);

    // Writes the central directory and releases the device; an archive created by name then takes its
    // place. When that fails, the new archive is dropped and a file that had the name is kept.
    ErrorCode close();
    // Drops the archive in progress without writing anything more: one created by name leaves no file
    // behind and an earlier file of that name untouched; a device is left with what was written to it.
    void discard();
    // May be called from any thread. The add operation in progress stops within about one block of
    // work and returns Cancelled, its packing threads ended and the archive dropped as by discard();
    // so does the next operation when none is in progress. Cleared by create().
    void cancel();

    // Packing threads for the add operations; 0 (the default) means one per core, at least two. The
    // archive does not depend on it.
    void setThreadCount(int count);
    // Called on the calling thread after each entry an add operation has written or left out, with the
    // entries done so far and the entries it has in all. It may call cancel().
    void setProgressHandler(std::function<void(int done, int total)> handler);
    // The files the last add operation left out under SkipBadFiles, as "<path>: <reason>".
    QStringList skippedFiles() const;

    // The particulars of the last failure in words: which file or entry, and the system's reason for a
    // failed read or write ("No space left on device"). Empty after an operation that succeeded.
    QString errorDetail() const;

    // The message for a code (translated in the context "Zip"); "Unknown error." for codes without one.
    static QString errorText(int code);

private:
    ZipPrivate* d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Zip::CompressionOptions)
