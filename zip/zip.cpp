#include "zip/zip.h"

#include "zip/czipdebug.h"
#include "zip/czipdostime.h"
#include "zip/czipentryname.h"
#include "zip/czipkeys.h"
#include "zip/zip_p.h"
#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>

using namespace CZipFormat;

namespace
{
// Files below this size are stored: deflate would only add its overhead.
constexpr qint64 SmallFileSize = 60;

QString normalisedRoot(QString root)
{
    if (root == QLatin1String("/"))
        return root;
    while (root.endsWith(QLatin1Char('\\')))
        root.chop(1);
    while (root.endsWith(QLatin1String("//")))
        root.chop(1);
    if (!root.isEmpty() && !root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

// An absolute folder path as a relative entry name: no drive, no leading "/".
QString withoutRoot(QString path)
{
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':'))
        path.remove(0, 2);
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

int levelForType(const QFileInfo& source)
{
    static const QStringList archives = {QStringLiteral("7z"),  QStringLiteral("bin"), QStringLiteral("deb"),
                                         QStringLiteral("exe"), QStringLiteral("gz"),  QStringLiteral("gz2"),
                                         QStringLiteral("jar"), QStringLiteral("rar"), QStringLiteral("rpm"),
                                         QStringLiteral("tar"), QStringLiteral("tgz"), QStringLiteral("z"),
                                         QStringLiteral("zip")};
    static const QStringList media = {
        QStringLiteral("asf"),  QStringLiteral("avi"),  QStringLiteral("divx"), QStringLiteral("doc"),
        QStringLiteral("docx"), QStringLiteral("flv"),  QStringLiteral("gif"),  QStringLiteral("iso"),
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("mka"),  QStringLiteral("mkv"),
        QStringLiteral("mp3"),  QStringLiteral("mp4"),  QStringLiteral("mpeg"), QStringLiteral("mpg"),
        QStringLiteral("odt"),  QStringLiteral("ogg"),  QStringLiteral("ogm"),  QStringLiteral("ra"),
        QStringLiteral("rm"),   QStringLiteral("wma"),  QStringLiteral("wmv")};
    static const QStringList text = {
        QStringLiteral("asp"), QStringLiteral("bat"), QStringLiteral("c"),   QStringLiteral("conf"),
        QStringLiteral("cpp"), QStringLiteral("css"), QStringLiteral("csv"), QStringLiteral("cxx"),
        QStringLiteral("h"),   QStringLiteral("hpp"), QStringLiteral("htm"), QStringLiteral("html"),
        QStringLiteral("hxx"), QStringLiteral("ini"), QStringLiteral("js"),  QStringLiteral("php"),
        QStringLiteral("pl"),  QStringLiteral("py"),  QStringLiteral("rtf"), QStringLiteral("sh"),
        QStringLiteral("tsv"), QStringLiteral("txt"), QStringLiteral("vb"),  QStringLiteral("vbs"),
        QStringLiteral("xml"), QStringLiteral("xst")};
    const QString suffix = source.completeSuffix().toLower();
    if (archives.contains(suffix))
        return 0;
    if (media.contains(suffix))
        return 2;
    if (text.contains(suffix))
        return 9;
    return 5;
}

int effectiveLevel(Zip::CompressionLevel level, const QFileInfo& source)
{
    if (level <= Zip::Deflate9)
        return std::max(0, static_cast<int>(level));
    if (level == Zip::AutoBySpeed)
        return 5;
    return levelForType(source);
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// ZipPrivate

ZipPrivate::ZipPrivate() = default;

ZipPrivate::~ZipPrivate()
{
    closeArchive();
    if (deflateStreamLevel >= 0)
        deflateEnd(&deflateStream);
}

bool ZipPrivate::writeAll(const void* data, qint64 size)
{
    return device->write(static_cast<const char*>(data), size) == size;
}

Zip::ErrorCode ZipPrivate::fail(Zip::ErrorCode code, const QString& text)
{
    zipDebug(text);
    detail = text;
    return code;
}

Zip::ErrorCode ZipPrivate::writeFailed(const QString& what)
{
    return fail(Zip::WriteFailed, QStringLiteral("Error while writing %1: %2").arg(what, device->errorString()));
}

Zip::ErrorCode ZipPrivate::readFailed(const QFile& source)
{
    // A short read without an error: the file shrank while it was being packed.
    const QString reason =
        source.error() != QFileDevice::NoError ? source.errorString() : QStringLiteral("the file ended early");
    return fail(Zip::ReadFailed, QStringLiteral("Error while reading %1: %2").arg(source.fileName(), reason));
}

Zip::ErrorCode ZipPrivate::createArchive(QIODevice* newDevice)
{
    if (!newDevice) {
        zipDebug(QStringLiteral("Invalid device."));
        return Zip::OpenFailed;
    }
    device = newDevice;
    if (device != file)
        connect(device, &QObject::destroyed, this, &ZipPrivate::deviceDestroyed);
    if (!device->isOpen() && !device->open(QIODevice::WriteOnly)) {
        zipDebug(QStringLiteral("Unable to open device for writing."));
        resetArchive();
        return Zip::OpenFailed;
    }
    if (auto* fileDevice = qobject_cast<QFileDevice*>(device))
        archivePath = QFileInfo(fileDevice->fileName()).absoluteFilePath();
    headers = std::make_unique<QMap<QString, CZipEntryHeader>>();
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::checkSource(const QFileInfo& source)
{
    if (!source.exists())
        return fail(Zip::FileNotFound, QStringLiteral("File or directory does not exist: %1").arg(source.filePath()));
    if (!source.isFile() && !source.isDir())
        return fail(Zip::NotRegularFile, QStringLiteral("%1 is not a regular file.").arg(source.filePath()));
    if (!source.isReadable())
        return fail(Zip::FileNotFound, QStringLiteral("File or directory is not readable: %1").arg(source.filePath()));
    return Zip::Ok;
}

bool ZipPrivate::isDuplicate(const QFileInfo& source) const
{
    const QString path = source.absoluteFilePath();
    for (const CZipEntryHeader& header : *headers) {
        if (header.sourceSize == source.size() && header.sourcePath.compare(path, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool ZipPrivate::isArchiveItself(const QFileInfo& source) const
{
    return !archivePath.isEmpty() && source.absoluteFilePath() == archivePath;
}

Zip::ErrorCode ZipPrivate::addSources(const QStringList& paths, const QString& rawRoot, Zip::CompressionOptions options,
                                      Zip::CompressionLevel level, const QString& entryName)
{
    if (!headers)
        return Zip::NoOpenArchive;
    // Entries encrypted under a mangled password could be opened with other passwords too.
    if (!password.isEmpty() && !CZipKeys::canEncode(password))
        return fail(Zip::UnsupportedPassword, QStringLiteral("The password has characters outside Latin-1."));
    const bool skipBad = options.testFlag(Zip::SkipBadFiles);

    QList<QFileInfo> sources;
    for (const QString& path : paths) {
        const QFileInfo source(path);
        if (options.testFlag(Zip::SkipDuplicates) && source.isFile() && isDuplicate(source))
            continue;
        const Zip::ErrorCode ec = checkSource(source);
        if (ec != Zip::Ok) {
            if (skipBad)
                continue;
            return ec;
        }
        sources.append(source);
    }

    const QString root = normalisedRoot(rawRoot);
    for (const QFileInfo& source : sources) {
        if (isArchiveItself(source))
            continue;
        Zip::ErrorCode ec = Zip::Ok;
        if (source.isDir()) {
            if (options.testFlag(Zip::IgnorePaths))
                ec = addDirectory(source.absoluteFilePath(), root, false, options, level);
            else if (options.testFlag(Zip::RelativeToFolder))
                ec = addDirectory(source.absoluteFilePath(), root, true, options, level);
            else {
                const QString own =
                    options.testFlag(Zip::AbsolutePaths) ? withoutRoot(source.absoluteFilePath()) : source.fileName();
                const QString prefix = own.isEmpty() ? root : root + own + QLatin1Char('/');
                if (prefix != root)
                    ec = writeEntry(source, prefix, Zip::Store);
                if (ec == Zip::Ok || skipBad)
                    ec = addDirectory(source.absoluteFilePath(), prefix, true, options, level);
            }
        } else {
            QString name = entryName;
            if (name.isEmpty()) {
                QString folder;
                if (options.testFlag(Zip::IgnorePaths) || options.testFlag(Zip::RelativeToFolder))
                    folder.clear();
                else if (options.testFlag(Zip::AbsolutePaths))
                    folder = withoutRoot(source.absolutePath());
                else
                    folder = source.absoluteDir().dirName();
                name =
                    folder.isEmpty() ? root + source.fileName() : root + folder + QLatin1Char('/') + source.fileName();
            }
            ec = writeEntry(source, name, level);
        }
        if (ec != Zip::Ok && !skipBad)
            return ec;
    }
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::addDirectory(const QString& path, const QString& prefix, bool folderEntries,
                                        Zip::CompressionOptions options, Zip::CompressionLevel level)
{
    const bool skipBad = options.testFlag(Zip::SkipBadFiles);
    // System: pipes, sockets, devices and dangling links are listed too, so that they are reported rather
    // than left out without a word.
    const QFileInfoList children = QDir(path).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& child : children) {
        // A link to a folder could lead back up the tree.
        if ((child.isSymLink() && child.isDir()) || isArchiveItself(child))
            continue;
        if (options.testFlag(Zip::SkipDuplicates) && child.isFile() && isDuplicate(child))
            continue;
        Zip::ErrorCode ec = checkSource(child);
        if (ec != Zip::Ok) {
            // reported as it is
        } else if (child.isDir()) {
            const QString childPrefix = folderEntries ? prefix + child.fileName() + QLatin1Char('/') : prefix;
            if (folderEntries)
                ec = writeEntry(child, childPrefix, Zip::Store);
            if (ec == Zip::Ok || skipBad)
                ec = addDirectory(child.filePath(), childPrefix, folderEntries, options, level);
        } else {
            ec = writeEntry(child, prefix + child.fileName(), level);
        }
        if (ec != Zip::Ok && !skipBad)
            return ec;
    }
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::writeEntry(const QFileInfo& source, const QString& entryName, Zip::CompressionLevel level)
{
    const bool isDirectory = source.isDir();
    QString name = entryName;
    if (isDirectory && !name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    // Names this program's reader would refuse are not written either.
    if (!CZipEntryName::isSafe(name))
        return fail(Zip::InvalidEntryName,
                    QStringLiteral("Entry name %1 is empty, absolute or leaves its folder.").arg(name));
    // Entry names are file names only in a backup: two files of one name from different folders must
    // fail the backup, not silently keep one of them.
    const auto existing = headers->constFind(name);
    if (existing != headers->constEnd()) {
        if (isDirectory)
            return Zip::Ok;
        return fail(Zip::DuplicateEntryName,
                    QStringLiteral("%1 (from %2) has the entry name of a file added before (from %3).")
                        .arg(name, source.absoluteFilePath(), existing->sourcePath));
    }
    const qint64 size = isDirectory ? 0 : source.size();
    const qint64 offset = device->pos();
    // No ZIP64: sizes and offsets must fit in 32 bits, and the directory in 65,535 entries.
    if (headers->size() >= 0xFFFF)
        return fail(
            Zip::WriteFailed,
            QStringLiteral("%1: the archive would hold more than 65,535 entries, which needs ZIP64.").arg(name));
    if (size > 0xFFFFFFFFLL)
        return fail(Zip::WriteFailed,
                    QStringLiteral("%1 is 4 GiB or larger, which needs ZIP64.").arg(source.absoluteFilePath()));
    if (offset > 0xFFFFFFFFLL)
        return fail(Zip::WriteFailed,
                    QStringLiteral("%1: the archive would grow beyond 4 GiB, which needs ZIP64.").arg(name));

    QFile input(source.absoluteFilePath());
    if (!isDirectory && !input.open(QIODevice::ReadOnly))
        return fail(
            Zip::OpenFailed,
            QStringLiteral("An error occurred while opening %1: %2").arg(source.filePath(), input.errorString()));

    const int deflateLevel = isDirectory || size < SmallFileSize ? 0 : effectiveLevel(level, source);
    const bool encrypt = !password.isEmpty() && !isDirectory;

    CZipEntryHeader header;
    quint16 flags = encrypt ? (FlagEncrypted | FlagDataDescriptor) : 0;
    header.rawName = CZipEntryName::encode(name, flags);
    if (header.rawName.size() > 0xFFFF)
        return fail(Zip::InvalidEntryName, QStringLiteral("Entry name too long: %1").arg(name));
    header.setFlags(flags);
    header.compressionMethod = deflateLevel != 0 ? MethodDeflated : MethodStored;
    quint16 dosDate = 0;
    quint16 dosTime = 0;
    CZipDosTime::fromDateTime(source.lastModified(), dosDate, dosTime);
    header.setDosDateTime(dosDate, dosTime);
    header.uncompressedSize = static_cast<quint32>(size);
    header.localHeaderOffset = static_cast<quint32>(offset);
    header.sourcePath = source.absoluteFilePath();
    header.sourceSize = size;

    unsigned char local[LocalHeaderSize] = {};
    writeUInt32(local, LocalHeaderSignature);
    writeUInt16(local + 4, HighestVersionNeeded);
    writeUInt16(local + 6, flags);
    writeUInt16(local + 8, header.compressionMethod);
    writeUInt16(local + 10, dosTime);
    writeUInt16(local + 12, dosDate);
    // CRC-32 (14) and compressed size (18) are filled in after the data.
    writeUInt32(local + 22, header.uncompressedSize);
    writeUInt16(local + 26, static_cast<quint16>(header.rawName.size()));
    if (!writeAll(local, LocalHeaderSize) || !writeAll(header.rawName.constData(), header.rawName.size()))
        return writeFailed(name);

    qint64 written = 0;
    CZipKeys keys;
    if (encrypt) {
        keys.reset(password.toLatin1());
        unsigned char encryptionHeader[EncryptionHeaderSize];
        for (int i = 0; i < EncryptionHeaderSize - 2; ++i)
            encryptionHeader[i] = static_cast<unsigned char>(QRandomGenerator::global()->bounded(256));
        // A reader checks its password against the last byte: the time's high byte, since the CRC is not
        // known before the data has been read.
        encryptionHeader[EncryptionHeaderSize - 2] = header.modificationTime[0];
        encryptionHeader[EncryptionHeaderSize - 1] = header.modificationTime[1];
        keys.encrypt(encryptionHeader, EncryptionHeaderSize);
        if (!writeAll(encryptionHeader, EncryptionHeaderSize))
            return writeFailed(name);
        written = EncryptionHeaderSize;
    }

    quint32 crc = static_cast<quint32>(crc32(0, nullptr, 0));
    if (!isDirectory) {
        const Zip::ErrorCode ec = deflateLevel == 0
                                      ? storeFile(input, size, encrypt ? &keys : nullptr, crc, written)
                                      : deflateFile(input, size, deflateLevel, encrypt ? &keys : nullptr, crc, written);
        if (ec != Zip::Ok)
            return ec;
    } else {
        crc = 0;
    }
    const qint64 end = device->pos();
    if (written > 0xFFFFFFFFLL || end > 0xFFFFFFFFLL)
        return fail(Zip::WriteFailed,
                    QStringLiteral("%1: the archive would grow beyond 4 GiB, which needs ZIP64.").arg(name));
    header.crc = crc;
    header.compressedSize = static_cast<quint32>(written);

    unsigned char fields[DataDescriptorSize];
    writeUInt32(fields, DataDescriptorSignature);
    writeUInt32(fields + 4, header.crc);
    writeUInt32(fields + 8, header.compressedSize);
    writeUInt32(fields + 12, header.uncompressedSize);
    if (!device->seek(offset + 14))
        return fail(Zip::SeekFailed, QStringLiteral("Cannot seek in the archive: %1").arg(device->errorString()));
    if (!writeAll(fields + 4, 8))
        return writeFailed(name);
    if (!device->seek(end))
        return fail(Zip::SeekFailed, QStringLiteral("Cannot seek in the archive: %1").arg(device->errorString()));
    if (encrypt && !writeAll(fields, DataDescriptorSize))
        return writeFailed(name);

    headers->insert(name, header);
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::storeFile(QFile& source, qint64 size, CZipKeys* keys, quint32& crc, qint64& written)
{
    qint64 total = 0;
    while (total < size) {
        const qint64 count =
            source.read(reinterpret_cast<char*>(inputBuffer), std::min<qint64>(BufferSize, size - total));
        if (count <= 0)
            return readFailed(source);
        total += count;
        crc = static_cast<quint32>(crc32(crc, inputBuffer, static_cast<uInt>(count)));
        if (keys)
            keys->encrypt(inputBuffer, count);
        if (!writeAll(inputBuffer, count))
            return writeFailed(source.fileName());
        written += count;
    }
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::deflateFile(QFile& source, qint64 size, int level, CZipKeys* keys, quint32& crc,
                                       qint64& written)
{
    z_stream& stream = deflateStream;
    if (deflateStreamLevel == level) {
        deflateReset(&stream);
    } else {
        if (deflateStreamLevel >= 0)
            deflateEnd(&stream);
        stream = z_stream{};
        deflateStreamLevel = -1;
        // Negative window bits: a raw deflate stream without zlib header or trailer.
        if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            zipDebug(QStringLiteral("Could not initialize zlib for compression"));
            return Zip::ZlibError;
        }
        deflateStreamLevel = level;
    }

    Zip::ErrorCode ec = Zip::Ok;
    qint64 total = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH && ec == Zip::Ok) {
        const qint64 count =
            source.read(reinterpret_cast<char*>(inputBuffer), std::min<qint64>(BufferSize, size - total));
        if (count < 0 || (count == 0 && total < size)) {
            ec = readFailed(source);
            break;
        }
        total += count;
        crc = static_cast<quint32>(crc32(crc, inputBuffer, static_cast<uInt>(count)));
        flush = total == size ? Z_FINISH : Z_NO_FLUSH;

        stream.next_in = inputBuffer;
        stream.avail_in = static_cast<uInt>(count);
        do {
            stream.next_out = outputBuffer;
            stream.avail_out = BufferSize;
            if (deflate(&stream, flush) == Z_STREAM_ERROR) {
                ec = Zip::ZlibError;
                break;
            }
            const qint64 produced = BufferSize - stream.avail_out;
            if (keys)
                keys->encrypt(outputBuffer, produced);
            if (!writeAll(outputBuffer, produced)) {
                ec = writeFailed(source.fileName());
                break;
            }
            written += produced;
        } while (stream.avail_out == 0);
    }
    return ec;
}

Zip::ErrorCode ZipPrivate::closeArchive()
{
    if (!headers)
        return Zip::Ok;

    Zip::ErrorCode ec = Zip::Ok;
    const qint64 start = device->pos();
    for (auto it = headers->cbegin(); it != headers->cend() && ec == Zip::Ok; ++it) {
        const CZipEntryHeader& header = it.value();
        unsigned char central[CentralHeaderSize] = {};
        writeUInt32(central, CentralHeaderSignature);
        // Made by MS-DOS (no external attributes to read); for UTF-8 names NTFS 2.0, because zip tools
        // translate names from MS-DOS archives out of the DOS code page even when bit 11 is set.
        writeUInt16(central + 4, (header.flags() & FlagUtf8Names) ? 0x0B14 : 0);
        writeUInt16(central + 6, HighestVersionNeeded);
        central[8] = header.generalFlag[0];
        central[9] = header.generalFlag[1];
        writeUInt16(central + 10, header.compressionMethod);
        central[12] = header.modificationTime[0];
        central[13] = header.modificationTime[1];
        central[14] = header.modificationDate[0];
        central[15] = header.modificationDate[1];
        writeUInt32(central + 16, header.crc);
        writeUInt32(central + 20, header.compressedSize);
        writeUInt32(central + 24, header.uncompressedSize);
        writeUInt16(central + 28, static_cast<quint16>(header.rawName.size()));
        writeUInt32(central + 42, header.localHeaderOffset);
        if (!writeAll(central, CentralHeaderSize) || !writeAll(header.rawName.constData(), header.rawName.size()))
            ec = writeFailed(QStringLiteral("the central directory"));
    }

    if (ec == Zip::Ok) {
        const qint64 directorySize = device->pos() - start;
        const QByteArray commentBytes = comment.toLatin1().left(0xFFFF);
        unsigned char end[EndRecordSize] = {};
        writeUInt32(end, EndRecordSignature);
        writeUInt16(end + 8, static_cast<quint16>(headers->size()));
        writeUInt16(end + 10, static_cast<quint16>(headers->size()));
        writeUInt32(end + 12, static_cast<quint32>(directorySize));
        writeUInt32(end + 16, static_cast<quint32>(start));
        writeUInt16(end + 20, static_cast<quint16>(commentBytes.size()));
        if (start > 0xFFFFFFFFLL)
            ec = fail(Zip::WriteFailed, QStringLiteral("The archive would grow beyond 4 GiB, which needs ZIP64."));
        else if (!writeAll(end, EndRecordSize) || !writeAll(commentBytes.constData(), commentBytes.size()))
            ec = writeFailed(QStringLiteral("the end record"));
    }
    // The new archive takes its name only when complete; a half-written directory would make the whole
    // archive unreadable, so then it is dropped and the file that had the name stays.
    if (ec == Zip::Ok && file && !file->commit())
        ec = fail(Zip::WriteFailed,
                  QStringLiteral("Cannot move the archive into place as %1: %2").arg(archivePath, file->errorString()));
    resetArchive();
    return ec;
}

void ZipPrivate::resetArchive()
{
    if (device && device != file)
        disconnect(device, nullptr, this, nullptr);
    device = nullptr;
    delete file;
    file = nullptr;
    headers.reset();
    archivePath.clear();
}

void ZipPrivate::deviceDestroyed(QObject* object)
{
    if (object != device)
        return;
    zipDebug(QStringLiteral("Unexpected device destruction detected."));
    device = nullptr;
    resetArchive();
}

// ---------------------------------------------------------------------------------------------------------
// Zip

Zip::Zip()
    : d(new ZipPrivate)
{
}

Zip::~Zip()
{
    delete d;
}

Zip::ErrorCode Zip::create(const QString& fileName, bool overwrite)
{
    d->closeArchive();
    d->detail.clear();
    if (fileName.isEmpty())
        return FileNotFound;
    if (!overwrite && QFileInfo::exists(fileName))
        return FileExists;
    d->file = new QSaveFile(fileName);
    if (!d->file->open(QIODevice::WriteOnly)) {
        d->detail = QStringLiteral("Cannot create %1: %2").arg(fileName, d->file->errorString());
        d->resetArchive();
        return OpenFailed;
    }
    const ErrorCode ec = d->createArchive(d->file);
    if (ec != Ok)
        d->resetArchive();
    return ec;
}

Zip::ErrorCode Zip::create(QIODevice* device)
{
    d->closeArchive();
    d->detail.clear();
    return d->createArchive(device);
}

bool Zip::isOpen() const
{
    return d->headers != nullptr;
}

Zip::ErrorCode Zip::setPassword(const QString& password)
{
    d->password = password;
    return CZipKeys::canEncode(password) ? Ok : UnsupportedPassword;
}

void Zip::setArchiveComment(const QString& comment)
{
    d->comment = comment;
}

Zip::ErrorCode Zip::addFile(const QString& path, const QString& root, CompressionOptions options,
                            CompressionLevel level)
{
    d->detail.clear();
    return d->addSources(QStringList(path), root, options, level);
}

Zip::ErrorCode Zip::addFileAs(const QString& path, const QString& entryName, CompressionOptions options,
                              CompressionLevel level)
{
    d->detail.clear();
    if (!d->headers)
        return NoOpenArchive;
    if (entryName.isEmpty())
        return d->fail(InvalidEntryName, QStringLiteral("No entry name given for %1.").arg(path));
    if (QFileInfo(path).isDir())
        return d->fail(NotRegularFile, QStringLiteral("%1 is a folder, not a file.").arg(path));
    return d->addSources(QStringList(path), QString(), options, level, entryName);
}

Zip::ErrorCode Zip::addFiles(const QStringList& paths, const QString& root, CompressionOptions options,
                             CompressionLevel level)
{
    d->detail.clear();
    return d->addSources(paths, root, options, level);
}

Zip::ErrorCode Zip::addDirectory(const QString& path, const QString& root, CompressionOptions options,
                                 CompressionLevel level)
{
    d->detail.clear();
    if (!d->headers)
        return NoOpenArchive;
    if (!QFileInfo(path).isDir()) {
        if (options.testFlag(SkipBadFiles))
            return Ok;
        return d->fail(FileNotFound, QStringLiteral("Directory does not exist: %1").arg(path));
    }
    return d->addSources(QStringList(path), root, options, level);
}

Zip::ErrorCode Zip::close()
{
    d->detail.clear();
    return d->closeArchive();
}

void Zip::discard()
{
    d->resetArchive();
}

QString Zip::errorDetail() const
{
    return d->detail;
}

QString Zip::errorText(int code)
{
    switch (code) {
    case Ok:
        return QCoreApplication::translate("Zip", "ZIP operation completed successfully.");
    case ZlibInitFailed:
        return QCoreApplication::translate("Zip", "Failed to initialize or load zlib library.");
    case ZlibError:
        return QCoreApplication::translate("Zip", "zlib library error.");
    case OpenFailed:
        return QCoreApplication::translate("Zip", "Unable to create or open file.");
    case NoOpenArchive:
        return QCoreApplication::translate("Zip", "No archive has been created yet.");
    case FileNotFound:
        return QCoreApplication::translate("Zip", "File or directory does not exist.");
    case ReadFailed:
        return QCoreApplication::translate("Zip", "File read error.");
    case WriteFailed:
        return QCoreApplication::translate("Zip", "File write error.");
    case SeekFailed:
        return QCoreApplication::translate("Zip", "File seek error.");
    case DuplicateEntryName:
        return QCoreApplication::translate("Zip", "Another file was already added under this entry name.");
    case InvalidEntryName:
        return QCoreApplication::translate("Zip", "The entry name is empty, absolute or leads out of its folder.");
    case NotRegularFile:
        return QCoreApplication::translate("Zip", "Not a regular file (a pipe, socket or device).");
    case UnsupportedPassword:
        return QCoreApplication::translate("Zip", "The password has characters outside Latin-1, which zip "
                                                  "encryption cannot carry.");
    default:
        return QCoreApplication::translate("Zip", "Unknown error.");
    }
}
