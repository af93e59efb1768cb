#include "zip/zip.h"

#include "zip/czipdebug.h"
#include "zip/czipdeflater.h"
#include "zip/czipdostime.h"
#include "zip/czipentryname.h"
#include "zip/czipkeys.h"
#include "zip/czippacker.h"
#include "zip/czipstagedfile.h"
#include "zip/zip_p.h"
#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>

using namespace CZipFormat;

// ---------------------------------------------------------------------------------------------------------
// ZipPrivate

ZipPrivate::ZipPrivate() = default;

ZipPrivate::~ZipPrivate()
{
    closeArchive();
}

Zip::ErrorCode ZipPrivate::checkCancel(Zip::ErrorCode ec)
{
    if (!cancelRequested)
        return ec;
    resetArchive();
    return fail(Zip::Cancelled, QStringLiteral("Cancelled; the archive was dropped."));
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

Zip::ErrorCode ZipPrivate::taskFailed(const CZipPackTask& task)
{
    static const Zip::ErrorCode codes[] = {Zip::Ok, Zip::OpenFailed, Zip::ReadFailed, Zip::ZlibError, Zip::Cancelled};
    return fail(codes[task.error], task.detail);
}

Zip::ErrorCode ZipPrivate::writeFailed(const QString& what)
{
    return fail(Zip::WriteFailed, QStringLiteral("Error while writing %1: %2").arg(what, device->errorString()));
}

Zip::ErrorCode ZipPrivate::createArchive(QIODevice* newDevice)
{
    if (!newDevice) {
        zipDebug(QStringLiteral("Invalid device."));
        return Zip::OpenFailed;
    }
    device = newDevice;
    if (!file)
        connect(device, &QObject::destroyed, this, &ZipPrivate::deviceDestroyed);
    if (!device->isOpen() && !device->open(QIODevice::WriteOnly)) {
        zipDebug(QStringLiteral("Unable to open device for writing."));
        resetArchive();
        return Zip::OpenFailed;
    }
    if (file) {
        archivePaths.append(QFileInfo(file->stagedPath()).absoluteFilePath());
        archivePaths.append(QFileInfo(archiveName).absoluteFilePath());
    } else if (auto* fileDevice = qobject_cast<QFileDevice*>(device)) {
        archivePaths.append(QFileInfo(fileDevice->fileName()).absoluteFilePath());
    }
    headers = std::make_unique<QMap<QString, CZipEntryHeader>>();
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::writePlan(bool skipBad)
{
    // Entries up to this size are packed whole, by libdeflate; larger ones in blocks of BlockSize, each
    // primed with the end of the one before. Both numbers shape the archive: they must not depend on
    // the machine.
    constexpr qint64 WholeEntrySize = 4 * 1024 * 1024;
    constexpr qint64 BlockSize = 1024 * 1024;
    // The look-ahead: at most this much source data, and this many tasks, between reading and writing.
    constexpr qint64 MaxBytesInFlight = 16 * 1024 * 1024;
    const int workers = threadCount > 0 ? threadCount : std::max(2, QThread::idealThreadCount());
    const int maxTasksInFlight = 8 * workers;

    std::vector<std::shared_ptr<CZipPackTask>> tasks;
    QVector<int> taskCounts;
    const QByteArray cipherPassword = password.toLatin1();
    for (const CZipPlannedEntry& entry : qAsConst(plan)) {
        const qint64 blocks = entry.directory                ? 0
                              : entry.size <= WholeEntrySize ? 1
                                                             : (entry.size + BlockSize - 1) / BlockSize;
        const auto source = blocks > 0 ? std::make_shared<CZipSource>(entry.path, entry.size, entry.modified) : nullptr;
        for (qint64 i = 0; i < blocks; ++i) {
            auto task = std::make_shared<CZipPackTask>();
            task->source = source;
            task->whole = blocks == 1;
            task->offset = i * BlockSize;
            task->length = task->whole ? entry.size : std::min(BlockSize, entry.size - task->offset);
            task->last = i == blocks - 1;
            task->level = entry.level;
            task->dosTime = entry.dosTime;
            if (task->whole)
                task->password = cipherPassword;
            tasks.push_back(std::move(task));
        }
        taskCounts.append(static_cast<int>(blocks));
    }

    size_t submitted = 0;
    qint64 bytesInFlight = 0;
    // A single task (one small file added on its own) is done here: handing it to a thread and back
    // would cost more than it saves.
    if (tasks.size() == 1) {
        if (!inlineDeflater)
            inlineDeflater = std::make_unique<CZipDeflater>();
        CZipPacker::execute(*tasks.front(), *inlineDeflater);
    } else if (!tasks.empty() && !packer) {
        packer = std::make_unique<CZipPacker>(workers, &cancelRequested);
    }
    // Tasks are handed over, not kept, so that each one's data is freed once it is written.
    const auto take = [&]() {
        if (tasks.size() == 1)
            return std::move(tasks.front());
        while (submitted < tasks.size() &&
               (packer->outstanding() == 0 || (packer->outstanding() < maxTasksInFlight &&
                                               bytesInFlight + tasks[submitted]->length <= MaxBytesInFlight))) {
            bytesInFlight += tasks[submitted]->length;
            packer->submit(std::move(tasks[submitted++]));
        }
        std::shared_ptr<CZipPackTask> task = packer->takeNext();
        bytesInFlight -= task->length;
        return task;
    };

    Zip::ErrorCode ec = Zip::Ok;
    for (int i = 0; i < plan.size(); ++i) {
        ec = cancelRequested ? Zip::Cancelled : writeEntry(plan.at(i), take, taskCounts.at(i));
        if (ec == Zip::Cancelled || (ec != Zip::Ok && !skipBad))
            break;
        if (ec != Zip::Ok)
            skipped.append(QStringLiteral("%1: %2").arg(plan.at(i).path, detail));
        ec = Zip::Ok;
        if (progress)
            progress(i + 1, plan.size());
    }
    if (packer)
        packer->dropAll();
    plan.clear();
    plannedNames.clear();
    return ec;
}

Zip::ErrorCode ZipPrivate::writeEntry(const CZipPlannedEntry& entry,
                                      const std::function<std::shared_ptr<CZipPackTask>()>& take, int taskCount)
{
    // Hands out the entry's tasks in order; what is not taken when it goes is taken and dropped, so that
    // the next entry gets its own whatever way this one ends.
    struct Tasks
    {
        const std::function<std::shared_ptr<CZipPackTask>()>& take;
        int left;
        std::shared_ptr<CZipPackTask> next() { return left-- > 0 ? take() : nullptr; }
        ~Tasks()
        {
            while (left-- > 0)
                take();
        }
    } tasks{take, taskCount};
    const auto beyond4GiB = [&] {
        return fail(Zip::WriteFailed,
                    QStringLiteral("%1: the archive would grow beyond 4 GiB, which needs ZIP64.").arg(entry.name));
    };

    const bool encrypt = !password.isEmpty() && !entry.directory;
    const qint64 offset = device->pos();
    if (offset > 0xFFFFFFFFLL)
        return beyond4GiB();
    CZipEntryHeader header;
    quint16 flags = encrypt ? (FlagEncrypted | FlagDataDescriptor) : 0;
    header.rawName = CZipEntryName::encode(entry.name, flags);
    header.setFlags(flags);
    header.compressionMethod = entry.level != 0 ? MethodDeflated : MethodStored;
    header.setDosDateTime(entry.dosDate, entry.dosTime);
    header.uncompressedSize = static_cast<quint32>(entry.size);
    header.localHeaderOffset = static_cast<quint32>(offset);
    header.sourcePath = entry.path;
    header.sourceSize = entry.size;

    std::shared_ptr<CZipPackTask> task = tasks.next();
    if (task && task->error != CZipPackTask::None)
        return taskFailed(*task);
    // A whole entry comes back with its CRC and size; a large one's are known after its last block and
    // filled in then.
    const bool whole = task && task->whole;
    QString changed;
    if (whole && !task->source->unchangedSinceOpened(&changed))
        return fail(Zip::ReadFailed, changed);
    if (whole) {
        header.crc = task->crc;
        header.compressedSize = static_cast<quint32>(task->data.size());
    }
    unsigned char local[LocalHeaderSize] = {};
    writeUInt32(local, LocalHeaderSignature);
    writeUInt16(local + 4, HighestVersionNeeded);
    writeUInt16(local + 6, flags);
    writeUInt16(local + 8, header.compressionMethod);
    writeUInt16(local + 10, entry.dosTime);
    writeUInt16(local + 12, entry.dosDate);
    writeUInt32(local + 14, header.crc);
    writeUInt32(local + 18, header.compressedSize);
    writeUInt32(local + 22, header.uncompressedSize);
    writeUInt16(local + 26, static_cast<quint16>(header.rawName.size()));
    if (!writeAll(local, LocalHeaderSize) || !writeAll(header.rawName.constData(), header.rawName.size()))
        return writeFailed(entry.name);

    if (whole && !writeAll(task->data.constData(), task->data.size()))
        return writeFailed(entry.name);
    if (task && !whole) {
        // The blocks of a large entry form one cipher stream, so they are encrypted here, in order.
        qint64 written = 0;
        CZipKeys keys;
        if (encrypt) {
            keys.reset(password.toLatin1());
            unsigned char encryptionHeader[EncryptionHeaderSize];
            for (int i = 0; i < EncryptionHeaderSize - 2; ++i)
                encryptionHeader[i] = static_cast<unsigned char>(QRandomGenerator::global()->bounded(256));
            // As for a whole entry: the check byte is the time's high byte.
            encryptionHeader[EncryptionHeaderSize - 2] = header.modificationTime[0];
            encryptionHeader[EncryptionHeaderSize - 1] = header.modificationTime[1];
            keys.encrypt(encryptionHeader, EncryptionHeaderSize);
            if (!writeAll(encryptionHeader, EncryptionHeaderSize))
                return writeFailed(entry.name);
            written = EncryptionHeaderSize;
        }
        quint32 crc = static_cast<quint32>(crc32(0, nullptr, 0));
        const std::shared_ptr<CZipSource> source = task->source;
        for (; task; task = tasks.next()) {
            if (task->error != CZipPackTask::None)
                return taskFailed(*task);
            crc = static_cast<quint32>(crc32_combine(crc, task->crc, static_cast<z_off_t>(task->length)));
            if (encrypt)
                keys.encrypt(reinterpret_cast<unsigned char*>(task->data.data()), task->data.size());
            if (!writeAll(task->data.constData(), task->data.size()))
                return writeFailed(entry.name);
            written += task->data.size();
        }
        // Every block was read through one handle; the file behind it must not have been written to meanwhile.
        if (!source->unchangedSinceOpened(&changed))
            return fail(Zip::ReadFailed, changed);
        const qint64 end = device->pos();
        if (written > 0xFFFFFFFFLL || end > 0xFFFFFFFFLL)
            return beyond4GiB();
        header.crc = crc;
        header.compressedSize = static_cast<quint32>(written);
        unsigned char fields[8];
        writeUInt32(fields, header.crc);
        writeUInt32(fields + 4, header.compressedSize);
        if (!device->seek(offset + 14) || !writeAll(fields, 8) || !device->seek(end))
            return fail(Zip::SeekFailed,
                        QStringLiteral("Cannot fill in the sizes of %1: %2").arg(entry.name, device->errorString()));
    }
    if (device->pos() > 0xFFFFFFFFLL)
        return beyond4GiB();

    if (encrypt) {
        unsigned char descriptor[DataDescriptorSize];
        writeUInt32(descriptor, DataDescriptorSignature);
        writeUInt32(descriptor + 4, header.crc);
        writeUInt32(descriptor + 8, header.compressedSize);
        writeUInt32(descriptor + 12, header.uncompressedSize);
        if (!writeAll(descriptor, DataDescriptorSize))
            return writeFailed(entry.name);
    }
    headers->insert(entry.name, header);
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::closeArchive()
{
    if (!headers)
        return Zip::Ok;
    if (cancelRequested)
        return checkCancel(Zip::Cancelled);

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
                  QStringLiteral("Cannot move the archive into place as %1: %2").arg(archiveName, file->errorString()));
    resetArchive();
    return ec;
}

void ZipPrivate::resetArchive()
{
    packer.reset(); // ends the packing threads
    if (device && !file)
        disconnect(device, nullptr, this, nullptr);
    device = nullptr;
    delete file;
    file = nullptr;
    headers.reset();
    archivePaths.clear();
    archiveName.clear();
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
    d->startOperation();
    d->cancelRequested = false;
    if (fileName.isEmpty())
        return FileNotFound;
    if (!overwrite && QFileInfo::exists(fileName))
        return FileExists;
    d->file = new CZipStagedFile(fileName);
    d->archiveName = fileName;
    if (!d->file->open()) {
        d->detail = QStringLiteral("Cannot create %1: %2").arg(fileName, d->file->errorString());
        d->resetArchive();
        return OpenFailed;
    }
    const ErrorCode ec = d->createArchive(&d->file->file());
    if (ec != Ok)
        d->resetArchive();
    return ec;
}

Zip::ErrorCode Zip::create(QIODevice* device)
{
    d->closeArchive();
    d->startOperation();
    d->cancelRequested = false;
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
    d->startOperation();
    return d->checkCancel(d->addSources(QStringList(path), root, options, level));
}

Zip::ErrorCode Zip::addFileAs(const QString& path, const QString& entryName, CompressionOptions options,
                              CompressionLevel level)
{
    d->startOperation();
    if (!d->headers)
        return NoOpenArchive;
    if (entryName.isEmpty())
        return d->fail(InvalidEntryName, QStringLiteral("No entry name given for %1.").arg(path));
    if (QFileInfo(path).isDir())
        return d->fail(NotRegularFile, QStringLiteral("%1 is a folder, not a file.").arg(path));
    return d->checkCancel(d->addSources(QStringList(path), QString(), options, level, entryName));
}

Zip::ErrorCode Zip::addFilesAs(const QList<NamedFile>& files, CompressionOptions options, CompressionLevel level)
{
    d->startOperation();
    return d->checkCancel(d->addNamedFiles(files, options, level));
}

Zip::ErrorCode Zip::addFiles(const QStringList& paths, const QString& root, CompressionOptions options,
                             CompressionLevel level)
{
    d->startOperation();
    return d->checkCancel(d->addSources(paths, root, options, level));
}

Zip::ErrorCode Zip::addDirectory(const QString& path, const QString& root, CompressionOptions options,
                                 CompressionLevel level)
{
    d->startOperation();
    if (!d->headers)
        return NoOpenArchive;
    if (!QFileInfo(path).isDir()) {
        if (options.testFlag(SkipBadFiles))
            return Ok;
        return d->fail(FileNotFound, QStringLiteral("Directory does not exist: %1").arg(path));
    }
    return d->checkCancel(d->addSources(QStringList(path), root, options, level));
}

Zip::ErrorCode Zip::close()
{
    d->startOperation();
    return d->closeArchive();
}

void Zip::discard()
{
    d->resetArchive();
}

void Zip::cancel()
{
    d->cancelRequested = true;
}

void Zip::setProgressHandler(std::function<void(int, int)> handler)
{
    d->progress = std::move(handler);
}

QStringList Zip::skippedFiles() const
{
    return d->skipped;
}

void Zip::setThreadCount(int count)
{
    if (count != d->threadCount)
        d->packer.reset();
    d->threadCount = std::max(0, count);
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
    case Cancelled:
        return QCoreApplication::translate("Zip", "Cancelled; the archive was dropped.");
    default:
        return QCoreApplication::translate("Zip", "Unknown error.");
    }
}
