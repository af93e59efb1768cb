#include "zip/unzip.h"

#include "zip/czipdebug.h"
#include "zip/czipdevice.h"
#include "zip/czipdirectory.h"
#include "zip/czipdostime.h"
#include "zip/czipentryname.h"
#include "zip/czipkeys.h"
#include "zip/czipstagedfile.h"
#include "zip/unzip_p.h"
#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <vector>

using namespace CZipFormat;
using CZipDevice::readExactly;
using CZipDevice::seekTo;

// ---------------------------------------------------------------------------------------------------------
// UnzipPrivate

UnzipPrivate::UnzipPrivate() = default;

UnzipPrivate::~UnzipPrivate()
{
    closeArchive();
}

UnZip::ErrorCode UnzipPrivate::fail(UnZip::ErrorCode code, const QString& text)
{
    zipDebug(text);
    detail = text;
    return code;
}

UnZip::ErrorCode UnzipPrivate::openArchive(QIODevice* newDevice)
{
    if (!newDevice)
        return UnZip::InvalidDevice;
    if (!newDevice->isOpen() && !newDevice->open(QIODevice::ReadOnly))
        return fail(UnZip::OpenFailed,
                    QStringLiteral("Unable to open device for reading: %1").arg(newDevice->errorString()));
    device = newDevice;
    if (device != file)
        connect(device, &QObject::destroyed, this, &UnzipPrivate::deviceDestroyed);

    CZipDirectory directory;
    const UnZip::ErrorCode ec = directory.read(*device);
    if (!directory.detail.isEmpty())
        detail = directory.detail;
    // A partly readable directory stays open, so that the entries read before the break can be extracted.
    if (ec != UnZip::Ok && ec != UnZip::PartiallyCorrupted) {
        closeArchive();
        return ec;
    }
    headers = std::make_unique<QMap<QString, CZipEntryHeader>>(std::move(directory.headers));
    skipped = std::move(directory.skipped);
    comment = std::move(directory.comment);
    return ec;
}

UnZip::ErrorCode UnzipPrivate::findEntry(const QString& name, CZipEntryHeader*& header)
{
    if (!headers)
        return UnZip::NoOpenArchive;
    const auto it = headers->find(name);
    if (it != headers->end()) {
        header = &it.value();
        return UnZip::Ok;
    }
    for (const UnZip::SkippedEntry& entry : qAsConst(skipped)) {
        if (entry.name == name)
            return fail(UnZip::UnsupportedEntry, QStringLiteral("%1: %2 is not supported.").arg(name, entry.reason));
    }
    return fail(UnZip::FileNotFound, QStringLiteral("%1: no such entry in the archive.").arg(name));
}

UnZip::ErrorCode UnzipPrivate::checkLocalHeader(const QString& name, CZipEntryHeader& header)
{
    if (!seekTo(*device, header.localHeaderOffset))
        return UnZip::SeekFailed;
    unsigned char fields[LocalHeaderSize];
    if (!readExactly(*device, fields, 4))
        return UnZip::ReadFailed;
    if (readUInt32(fields) != LocalHeaderSignature)
        return UnZip::InvalidArchive;
    if (!readExactly(*device, fields + 4, LocalHeaderSize - 4))
        return UnZip::ReadFailed;

    const quint16 nameLength = readUInt16(fields + 26);
    const quint16 extraLength = readUInt16(fields + 28);
    bool same = readUInt16(fields + 8) == header.compressionMethod && fields[6] == header.generalFlag[0] &&
                fields[7] == header.generalFlag[1] && fields[10] == header.modificationTime[0] &&
                fields[11] == header.modificationTime[1] && fields[12] == header.modificationDate[0] &&
                fields[13] == header.modificationDate[1] && nameLength != 0;
    // With a data descriptor the local header's CRC and sizes are written before they are known.
    if (same && !header.hasDataDescriptor())
        same = readUInt32(fields + 14) == header.crc && readUInt32(fields + 18) == header.compressedSize &&
               readUInt32(fields + 22) == header.uncompressedSize;
    if (!same)
        return UnZip::InconsistentHeaders;

    const QByteArray localName = device->read(nameLength);
    if (localName.size() != nameLength)
        return UnZip::ReadFailed;
    if (localName != header.rawName) {
        zipDebug(QStringLiteral("Filename in local header mismatches."));
        return UnZip::InconsistentHeaders;
    }
    const qint64 dataOffset = device->pos() + extraLength;
    if (!seekTo(*device, dataOffset))
        return UnZip::SeekFailed;
    header.dataOffset = static_cast<quint32>(dataOffset);
    // The local extra field may be longer than the room the entry has before the next one.
    const qint64 end = dataOffset + header.compressedSize + (header.hasDataDescriptor() ? DataDescriptorSize - 4 : 0);
    if (end > header.nextOffset)
        return fail(UnZip::OverlappingEntries,
                    QStringLiteral("The data of %1 overlaps the next entry or the central directory.").arg(name));

    if (header.hasDataDescriptor())
        return checkDataDescriptor(name, header);
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::checkDataDescriptor(const QString& name, const CZipEntryHeader& header)
{
    if (!device->seek(qint64(header.dataOffset) + header.compressedSize))
        return UnZip::SeekFailed;
    unsigned char descriptor[DataDescriptorSize];
    if (!readExactly(*device, descriptor, 4))
        return UnZip::ReadFailed;
    // The signature is optional: without it the CRC comes first.
    const unsigned char* values = descriptor;
    if (readUInt32(descriptor) == DataDescriptorSignature) {
        if (qint64(header.dataOffset) + header.compressedSize + DataDescriptorSize > header.nextOffset)
            return fail(UnZip::OverlappingEntries,
                        QStringLiteral("The data descriptor of %1 overlaps the next entry.").arg(name));
        if (!readExactly(*device, descriptor + 4, 12))
            return UnZip::ReadFailed;
        values = descriptor + 4;
    } else if (!readExactly(*device, descriptor + 4, 8)) {
        return UnZip::ReadFailed;
    }
    if (readUInt32(values) != header.crc || readUInt32(values + 4) != header.compressedSize ||
        readUInt32(values + 8) != header.uncompressedSize)
        return UnZip::InconsistentHeaders;
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::beginData(const QString& name, CZipEntryHeader& header, EntryData& data)
{
    if (!header.localHeaderChecked) {
        const UnZip::ErrorCode ec = checkLocalHeader(name, header);
        if (ec != UnZip::Ok)
            return ec;
        header.localHeaderChecked = true;
    }
    if (!seekTo(*device, header.dataOffset))
        return UnZip::SeekFailed;

    data.remaining = header.compressedSize;
    data.encrypted = header.isEncrypted();
    if (!data.encrypted)
        return UnZip::Ok;
    // Without a password every encrypted entry would fail the same way.
    if (password.isEmpty())
        return UnZip::SkipAllEncrypted;
    if (!CZipKeys::canEncode(password))
        return fail(UnZip::UnsupportedPassword,
                    QStringLiteral("The password has characters outside Latin-1; %1 was not decrypted.").arg(name));
    unsigned char encryptionHeader[EncryptionHeaderSize];
    if (data.remaining < EncryptionHeaderSize || !readExactly(*device, encryptionHeader, EncryptionHeaderSize))
        return UnZip::Corrupted;
    data.keys.reset(password.toLatin1());
    data.keys.decrypt(encryptionHeader, EncryptionHeaderSize);
    // The last byte repeats the CRC's high byte, or the time's when the CRC was not known in advance.
    const unsigned char expected =
        header.hasDataDescriptor() ? header.modificationTime[1] : static_cast<unsigned char>(header.crc >> 24);
    if (encryptionHeader[EncryptionHeaderSize - 1] != expected)
        return fail(UnZip::SkipEntry, QStringLiteral("Unable to decrypt %1").arg(name));
    data.remaining -= EncryptionHeaderSize;
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::readData(const QString& name, const CZipEntryHeader& header, EntryData& data,
                                        QIODevice* output)
{
    if (data.remaining == 0)
        return header.crc != 0 || header.uncompressedSize != 0 ? UnZip::Corrupted : UnZip::Ok;

    quint32 crc = static_cast<quint32>(crc32(0, nullptr, 0));
    qint64 written = 0;
    const UnZip::ErrorCode ec = inflater.read(*device, header.compressionMethod != MethodStored,
                                              header.uncompressedSize, data, output, crc, written);
    if (ec == UnZip::WriteFailed)
        return fail(ec, QStringLiteral("Unable to write %1: %2").arg(name, output->errorString()));
    if (ec != UnZip::Ok)
        return ec;
    if (crc != header.crc || written != header.uncompressedSize)
        return fail(UnZip::Corrupted, QStringLiteral("%1 does not match its CRC-32 or size.").arg(name));
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::extractToPath(const QString& name, CZipEntryHeader& header, const QString& filePath,
                                             bool createFolder)
{
    EntryData data;
    UnZip::ErrorCode ec = beginData(name, header, data);
    if (ec != UnZip::Ok)
        return ec;
    // Entries in name order come folder by folder: each folder is made (or found) once.
    const QString folder = QFileInfo(filePath).absolutePath();
    if (createFolder && folder != madeFolder) {
        if (!QDir().mkpath(folder))
            return fail(UnZip::CreateDirectoryFailed,
                        QStringLiteral("Unable to create output directory %1").arg(folder));
        madeFolder = folder;
    }

    // Written beside the target and moved over it only once complete and checked, so that a failure, a
    // crash or a kill at any moment leaves the file that was there.
    CZipStagedFile output(filePath);
    // The folder made before may have gone since.
    if (!output.open() && !(createFolder && QDir().mkpath(folder) && output.open()))
        return fail(UnZip::OpenFailed,
                    QStringLiteral("Unable to open %1 for writing: %2").arg(filePath, output.errorString()));
    ec = readData(name, header, data, &output.file());
    if (ec != UnZip::Ok)
        return ec;
    if (!CZipDosTime::setFileModificationTime(output.file(), header.dosDate(), header.dosTime()))
        zipDebug(QStringLiteral("Unable to set last modified time on file: %1").arg(filePath));
    if (!output.commit())
        return fail(UnZip::WriteFailed, QStringLiteral("Unable to write %1: %2").arg(filePath, output.errorString()));
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::extractToDirectory(const QString& name, CZipEntryHeader& header, const QDir& directory,
                                                  UnZip::ExtractOptions options)
{
    if (!CZipEntryName::isSafe(name))
        return fail(UnZip::UnsafeEntryName,
                    QStringLiteral("Refusing %1: it would be written outside the target folder").arg(name));

    // Archives made on Windows may separate folders with backslashes; they are folders on every system.
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool isFolder = relative.endsWith(QLatin1Char('/'));
    if (options.testFlag(UnZip::VerifyOnly)) {
        if (isFolder)
            return UnZip::Ok;
        EntryData data;
        const UnZip::ErrorCode ec = beginData(name, header, data);
        return ec != UnZip::Ok ? ec : readData(name, header, data, nullptr);
    }

    relative = QDir::cleanPath(relative);
    if (isFolder) {
        if (options.testFlag(UnZip::DropFolders) || options.testFlag(UnZip::NoDirectoryCreation))
            return UnZip::Ok;
        const QString path = QStringLiteral("%1/%2").arg(directory.absolutePath(), relative);
        if (!QDir().mkpath(path))
            return fail(UnZip::CreateDirectoryFailed, QStringLiteral("Unable to create directory: %1").arg(path));
        return UnZip::Ok;
    }
    if (options.testFlag(UnZip::DropFolders))
        relative = relative.section(QLatin1Char('/'), -1);
    return extractToPath(name, header, QStringLiteral("%1/%2").arg(directory.absolutePath(), relative),
                         !options.testFlag(UnZip::NoDirectoryCreation));
}

UnZip::ErrorCode UnzipPrivate::extractFile(const QString& name, const QDir& directory, UnZip::ExtractOptions options)
{
    CZipEntryHeader* header = nullptr;
    const UnZip::ErrorCode ec = findEntry(name, header);
    return ec != UnZip::Ok ? ec : extractToDirectory(name, *header, directory, options);
}

UnZip::ErrorCode UnzipPrivate::extractFileTo(const QString& name, const QString& filePath)
{
    CZipEntryHeader* header = nullptr;
    const UnZip::ErrorCode ec = findEntry(name, header);
    if (ec != UnZip::Ok)
        return ec;
    if (!name.endsWith(QLatin1Char('/')) && !name.endsWith(QLatin1Char('\\')))
        return extractToPath(name, *header, filePath, true);
    if (!QDir().mkpath(filePath))
        return fail(UnZip::CreateDirectoryFailed, QStringLiteral("Unable to create directory: %1").arg(filePath));
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::extractToDevice(const QString& name, QIODevice* output)
{
    CZipEntryHeader* header = nullptr;
    UnZip::ErrorCode ec = findEntry(name, header);
    if (ec != UnZip::Ok)
        return ec;
    if (!output)
        return UnZip::InvalidDevice;
    EntryData data;
    ec = beginData(name, *header, data);
    return ec != UnZip::Ok ? ec : readData(name, *header, data, output);
}

UnZip::ErrorCode UnzipPrivate::extractAll(const QDir& directory, UnZip::ExtractOptions options)
{
    if (!headers)
        return UnZip::NoOpenArchive;
    UnZip::ErrorCode ec = UnZip::Ok;
    bool refused = false;
    for (auto it = headers->begin(); it != headers->end(); ++it) {
        if (skipAllEncrypted && it.value().isEncrypted())
            continue;
        ec = extractToDirectory(it.key(), it.value(), directory, options);
        if (ec == UnZip::SkipEntry)
            continue;
        if (ec == UnZip::SkipAllEncrypted) {
            skipAllEncrypted = true;
            continue;
        }
        if (ec == UnZip::UnsafeEntryName) {
            refused = true;
            continue;
        }
        if (ec != UnZip::Ok)
            return ec;
    }
    if (refused)
        return UnZip::UnsafeEntryName;
    if (ec == UnZip::Ok && !skipped.isEmpty())
        return fail(UnZip::UnsupportedEntry,
                    QStringLiteral("%1: %2 is not supported.").arg(skipped.first().name, skipped.first().reason));
    return ec;
}

UnZip::ErrorCode UnzipPrivate::extractFiles(const QStringList& names, const QDir& directory,
                                            UnZip::ExtractOptions options)
{
    if (!headers)
        return UnZip::NoOpenArchive;
    bool refused = false;
    for (const QString& name : names) {
        const UnZip::ErrorCode ec = extractFile(name, directory, options);
        if (ec == UnZip::UnsafeEntryName)
            refused = true;
        else if (ec != UnZip::Ok && ec != UnZip::FileNotFound)
            return ec;
    }
    return refused ? UnZip::UnsafeEntryName : UnZip::Ok;
}

QList<UnZip::EntryResult> UnzipPrivate::extractEntries(const QStringList& requested, const QDir& directory,
                                                       UnZip::ExtractOptions options)
{
    QList<UnZip::EntryResult> failures;
    if (!headers) {
        failures.append({QString(), UnZip::NoOpenArchive, QString()});
        return failures;
    }
    const QStringList names = requested.isEmpty() ? QStringList(headers->keys()) : requested;
    std::vector<UnZip::EntryResult> results(static_cast<size_t>(names.size()));
    const int readers = std::min(threadCount > 0 ? threadCount : std::max(2, QThread::idealThreadCount()),
                                 static_cast<int>(names.size()));
    // The other readers open the archive by name; one on a device is read here alone.
    if (readers <= 1 || !file) {
        for (int i = 0; i < names.size(); ++i) {
            detail.clear();
            const UnZip::ErrorCode ec = extractFile(names.at(i), directory, options);
            results[static_cast<size_t>(i)] = {names.at(i), ec, detail};
        }
    } else {
        std::atomic<int> next{0};
        // This reader takes entries like the others; each other reader checks that the entry it is given
        // is the one this reader listed, so that an archive replaced in the meantime is not unpacked.
        const auto extractHere = [&] {
            for (int i = next++; i < names.size(); i = next++) {
                detail.clear();
                const UnZip::ErrorCode ec = extractFile(names.at(i), directory, options);
                results[static_cast<size_t>(i)] = {names.at(i), ec, detail};
            }
        };
        QMap<QString, UnZip::EntryInfo> listed;
        for (const UnZip::EntryInfo& info : listEntries())
            listed.insert(info.fileName, info);
        const QString archive = file->fileName();
        const QString secret = password;
        const auto extractThere = [&] {
            UnZip reader;
            reader.setThreadCount(1);
            reader.setPassword(secret);
            if (reader.open(archive) != UnZip::Ok)
                return;
            QMap<QString, UnZip::EntryInfo> found;
            for (const UnZip::EntryInfo& info : reader.entries())
                found.insert(info.fileName, info);
            for (int i = next++; i < names.size(); i = next++) {
                const UnZip::EntryInfo mine = listed.value(names.at(i));
                const UnZip::EntryInfo theirs = found.value(names.at(i));
                UnZip::ErrorCode ec = UnZip::InconsistentHeaders;
                QString why =
                    QStringLiteral("%1 changed in the archive while it was being extracted.").arg(names.at(i));
                if (mine.crc32 == theirs.crc32 && mine.compressedSize == theirs.compressedSize &&
                    mine.uncompressedSize == theirs.uncompressedSize && mine.encrypted == theirs.encrypted &&
                    mine.compression == theirs.compression) {
                    ec = reader.extractFile(names.at(i), directory, options);
                    why = reader.errorDetail();
                }
                results[static_cast<size_t>(i)] = {names.at(i), ec, why};
            }
        };
        std::vector<QThread*> threads;
        for (int i = 1; i < readers; ++i) {
            threads.push_back(QThread::create(extractThere));
            threads.back()->setObjectName(QStringLiteral("zip reader %1").arg(i));
            threads.back()->start();
        }
        extractHere();
        for (QThread* thread : threads) {
            thread->wait();
            delete thread;
        }
    }
    if (requested.isEmpty()) {
        for (const UnZip::SkippedEntry& entry : qAsConst(skipped))
            failures.append({entry.name, UnZip::UnsupportedEntry, entry.reason});
    }
    for (const UnZip::EntryResult& result : results) {
        if (result.code != UnZip::Ok)
            failures.append(result);
    }
    if (requested.isEmpty())
        std::sort(failures.begin(), failures.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return failures;
}

UnZip::ErrorCode UnzipPrivate::verify(QString* failedEntry)
{
    if (!headers)
        return UnZip::NoOpenArchive;
    UnZip::EntryResult failed;
    if (!skipped.isEmpty()) {
        failed = {skipped.first().name, UnZip::UnsupportedEntry,
                  QStringLiteral("%1: %2 is not supported.").arg(skipped.first().name, skipped.first().reason)};
    } else {
        // Every entry is decrypted, inflated and checked, by several readers when the archive allows.
        const QList<UnZip::EntryResult> failures = extractEntries(QStringList(), QDir(), UnZip::VerifyOnly);
        if (!failures.isEmpty())
            failed = failures.first();
    }
    if (failedEntry)
        *failedEntry = failed.name;
    if (failed.code != UnZip::Ok)
        fail(failed.code, failed.detail);
    return failed.code;
}

void UnzipPrivate::closeArchive()
{
    if (device && device != file)
        disconnect(device, nullptr, this, nullptr);
    device = nullptr;
    delete file;
    file = nullptr;
    headers.reset();
    skipped.clear();
    madeFolder.clear();
    comment.clear();
    skipAllEncrypted = false;
}

void UnzipPrivate::deviceDestroyed(QObject* object)
{
    if (object != device)
        return;
    zipDebug(QStringLiteral("Unexpected device destruction detected."));
    device = nullptr;
    closeArchive();
}

// ---------------------------------------------------------------------------------------------------------
// UnZip

UnZip::UnZip()
    : d(new UnzipPrivate)
{
}

UnZip::~UnZip()
{
    delete d;
}

UnZip::ErrorCode UnZip::open(const QString& fileName)
{
    d->closeArchive();
    d->detail.clear();
    d->file = new QFile(fileName);
    if (!d->file->exists()) {
        d->closeArchive();
        return FileNotFound;
    }
    if (!d->file->open(QIODevice::ReadOnly)) {
        d->detail = d->file->errorString();
        d->closeArchive();
        return OpenFailed;
    }
    return d->openArchive(d->file);
}

UnZip::ErrorCode UnZip::open(QIODevice* device)
{
    d->closeArchive();
    d->detail.clear();
    return d->openArchive(device);
}

void UnZip::close()
{
    d->closeArchive();
}

bool UnZip::isOpen() const
{
    return d->device != nullptr;
}

UnZip::ErrorCode UnZip::setPassword(const QString& password)
{
    d->password = password;
    return CZipKeys::canEncode(password) ? Ok : UnsupportedPassword;
}

QString UnZip::archiveComment() const
{
    return d->comment;
}

bool UnZip::contains(const QString& entryName) const
{
    return d->headers && d->headers->contains(entryName);
}

QStringList UnZip::entryNames() const
{
    return d->headers ? d->headers->keys() : QStringList();
}

QList<UnZip::EntryInfo> UnZip::entries() const
{
    return d->listEntries();
}

QList<UnZip::EntryInfo> UnzipPrivate::listEntries() const
{
    using EntryInfo = UnZip::EntryInfo;
    QList<EntryInfo> list;
    if (!headers)
        return list;
    for (auto it = headers->cbegin(); it != headers->cend(); ++it) {
        const CZipEntryHeader& header = it.value();
        EntryInfo info;
        info.fileName = it.key();
        info.comment = header.comment;
        info.compressedSize = header.compressedSize;
        info.uncompressedSize = header.uncompressedSize;
        info.crc32 = header.crc;
        info.lastModified = CZipDosTime::toDateTime(header.dosDate(), header.dosTime());
        info.compression = header.compressionMethod == MethodStored     ? UnZip::Stored
                           : header.compressionMethod == MethodDeflated ? UnZip::Deflated
                                                                        : UnZip::UnknownCompression;
        info.type = it.key().endsWith(QLatin1Char('/')) ? UnZip::DirectoryEntry : UnZip::FileEntry;
        info.encrypted = header.isEncrypted();
        list.append(info);
    }
    return list;
}

QList<UnZip::SkippedEntry> UnZip::skippedEntries() const
{
    return d->skipped;
}

int UnZip::skippedEntryCount() const
{
    return d->skipped.size();
}

UnZip::ErrorCode UnZip::extractAll(const QString& directory, ExtractOptions options)
{
    return extractAll(QDir(directory), options);
}

UnZip::ErrorCode UnZip::extractAll(const QDir& directory, ExtractOptions options)
{
    d->detail.clear();
    return d->extractAll(directory, options);
}

UnZip::ErrorCode UnZip::extractFile(const QString& entryName, const QString& directory, ExtractOptions options)
{
    return extractFile(entryName, QDir(directory), options);
}

UnZip::ErrorCode UnZip::extractFile(const QString& entryName, const QDir& directory, ExtractOptions options)
{
    d->detail.clear();
    return d->extractFile(entryName, directory, options);
}

UnZip::ErrorCode UnZip::extractFileTo(const QString& entryName, const QString& filePath)
{
    d->detail.clear();
    return d->extractFileTo(entryName, filePath);
}

UnZip::ErrorCode UnZip::extractFile(const QString& entryName, QIODevice* device, ExtractOptions options)
{
    Q_UNUSED(options)
    d->detail.clear();
    return d->extractToDevice(entryName, device);
}

UnZip::ErrorCode UnZip::extractFiles(const QStringList& entryNames, const QString& directory, ExtractOptions options)
{
    return extractFiles(entryNames, QDir(directory), options);
}

UnZip::ErrorCode UnZip::extractFiles(const QStringList& entryNames, const QDir& directory, ExtractOptions options)
{
    d->detail.clear();
    return d->extractFiles(entryNames, directory, options);
}

QList<UnZip::EntryResult> UnZip::extractEntries(const QStringList& names, const QString& directory,
                                                ExtractOptions options)
{
    d->detail.clear();
    return d->extractEntries(names, QDir(directory), options);
}

void UnZip::setThreadCount(int count)
{
    d->threadCount = std::max(0, count);
}

UnZip::ErrorCode UnZip::verify(QString* failedEntry)
{
    d->detail.clear();
    return d->verify(failedEntry);
}

QString UnZip::errorDetail() const
{
    return d->detail;
}

QString UnZip::errorText(int code)
{
    switch (code) {
    case Ok:
        return QCoreApplication::translate("UnZip", "ZIP operation completed successfully.");
    case ZlibInitFailed:
        return QCoreApplication::translate("UnZip", "Failed to initialize or load zlib library.");
    case ZlibError:
        return QCoreApplication::translate("UnZip", "zlib library error.");
    case OpenFailed:
        return QCoreApplication::translate("UnZip", "Unable to create or open file.");
    case PartiallyCorrupted:
        return QCoreApplication::translate("UnZip", "Partially corrupted archive. Some files might be extracted.");
    case Corrupted:
        return QCoreApplication::translate("UnZip", "Corrupted archive.");
    case WrongPassword:
        return QCoreApplication::translate("UnZip", "Wrong password.");
    case NoOpenArchive:
        return QCoreApplication::translate("UnZip", "No archive has been created yet.");
    case FileNotFound:
        return QCoreApplication::translate("UnZip", "File or directory does not exist.");
    case ReadFailed:
        return QCoreApplication::translate("UnZip", "File read error.");
    case WriteFailed:
        return QCoreApplication::translate("UnZip", "File write error.");
    case SeekFailed:
        return QCoreApplication::translate("UnZip", "File seek error.");
    case CreateDirectoryFailed:
        return QCoreApplication::translate("UnZip", "Unable to create a directory.");
    case InvalidDevice:
        return QCoreApplication::translate("UnZip", "Invalid device.");
    case InvalidArchive:
        return QCoreApplication::translate("UnZip", "Invalid or incompatible zip archive.");
    case InconsistentHeaders:
        return QCoreApplication::translate("UnZip", "Inconsistent headers. Archive might be corrupted.");
    case UnsafeEntryName:
        return QCoreApplication::translate("UnZip",
                                           "Entry name points outside the target folder; the entry was not extracted.");
    case OverlappingEntries:
        return QCoreApplication::translate("UnZip", "Entries overlap each other or the central directory (a possible "
                                                    "zip bomb); the archive was refused.");
    case UnsupportedArchive:
        return QCoreApplication::translate("UnZip", "ZIP64 archives and archives of more than 65,535 entries are not "
                                                    "supported; the archive was refused.");
    case UnsupportedEntry:
        return QCoreApplication::translate("UnZip", "The entry uses a compression method or format version this "
                                                    "reader does not support.");
    case UnsupportedPassword:
        return QCoreApplication::translate("UnZip", "The password has characters outside Latin-1, which zip "
                                                    "encryption cannot carry.");
    default:
        return QCoreApplication::translate("UnZip", "Unknown error.");
    }
}
