#include "zip/czipdirectory.h"

#include "zip/czipdebug.h"
#include "zip/czipdevice.h"
#include "zip/czipentryname.h"
#include "zip/czipformat.h"

#include <QIODevice>
#include <QVector>

#include <algorithm>

using namespace CZipFormat;
using CZipDevice::readExactly;
using CZipDevice::seekTo;

namespace
{
// "4.5" for 45: the version number as the zip tools print it.
QString versionText(int version)
{
    QString text = QString::number(version);
    if (text.size() == 2)
        text.insert(1, QLatin1Char('.'));
    return text;
}
} // namespace

CZipReaderTypes::ErrorCode CZipDirectory::read(QIODevice& device)
{
    m_device = &device;
    unsigned char record[EndRecordSize];
    CZipReaderTypes::ErrorCode ec = findEndRecord(record);
    if (ec == CZipReaderTypes::Ok) {
        m_entryCount = readUInt16(record + 10);
        m_centralDirectoryOffset = readUInt32(record + 16);
        const quint16 commentLength = readUInt16(record + 20);
        if (commentLength != 0) {
            const QByteArray text = m_device->read(commentLength);
            if (text.size() != commentLength)
                ec = CZipReaderTypes::ReadFailed;
            else
                comment = QString::fromLatin1(text);
        }
    }
    // A ZIP64 archive keeps its true counts and offsets in a record that its locator, right in front of
    // the end record, points to; the end record's own fields would cut it short.
    unsigned char locator[4];
    if (ec == CZipReaderTypes::Ok && m_endRecordOffset >= Zip64LocatorSize &&
        m_device->seek(m_endRecordOffset - Zip64LocatorSize) && readExactly(*m_device, locator, 4) &&
        readUInt32(locator) == Zip64LocatorSignature)
        ec = fail(CZipReaderTypes::UnsupportedArchive, QStringLiteral("The archive is a ZIP64 archive."));
    if (ec == CZipReaderTypes::Ok)
        ec = readEntries();
    if (ec == CZipReaderTypes::Ok || ec == CZipReaderTypes::PartiallyCorrupted) {
        const CZipReaderTypes::ErrorCode overlap = checkOverlaps();
        if (overlap != CZipReaderTypes::Ok)
            ec = overlap;
    }
    return ec;
}

CZipReaderTypes::ErrorCode CZipDirectory::fail(CZipReaderTypes::ErrorCode code, const QString& text)
{
    zipDebug(text);
    detail = text;
    return code;
}

CZipReaderTypes::ErrorCode CZipDirectory::findEndRecord(unsigned char* record)
{
    const qint64 size = m_device->size();
    if (size < EndRecordSize)
        return CZipReaderTypes::InvalidArchive;
    if (!m_device->seek(size - EndRecordSize))
        return CZipReaderTypes::SeekFailed;
    if (!readExactly(*m_device, record, EndRecordSize))
        return CZipReaderTypes::ReadFailed;
    if (readUInt32(record) == EndRecordSignature) {
        m_endRecordOffset = static_cast<quint32>(size - EndRecordSize);
        return CZipReaderTypes::Ok;
    }

    // The archive has a comment (or trailing bytes): search backwards for the nearest signature. Whole
    // buffers are read and scanned in memory, so a large file that is no archive is rejected quickly.
    qint64 highest = size - EndRecordSize - 1; // the last position a record could start at now
    QByteArray buffer(static_cast<int>(std::min<qint64>(BufferSize, size)), Qt::Uninitialized);
    const auto* scanned = reinterpret_cast<const unsigned char*>(buffer.constData());
    while (highest >= 0) {
        const qint64 blockStart = std::max<qint64>(0, highest - (BufferSize - 4) + 1);
        const qint64 blockSize = highest + 4 - blockStart;
        if (!m_device->seek(blockStart))
            return CZipReaderTypes::SeekFailed;
        if (!readExactly(*m_device, buffer.data(), blockSize))
            return CZipReaderTypes::ReadFailed;
        for (qint64 position = highest; position >= blockStart; --position) {
            if (readUInt32(scanned + (position - blockStart)) != EndRecordSignature)
                continue;
            if (!m_device->seek(position))
                return CZipReaderTypes::SeekFailed;
            if (!readExactly(*m_device, record, EndRecordSize))
                return CZipReaderTypes::ReadFailed;
            m_endRecordOffset = static_cast<quint32>(position);
            return CZipReaderTypes::Ok;
        }
        highest = blockStart - 1;
    }
    return CZipReaderTypes::InvalidArchive;
}

CZipReaderTypes::ErrorCode CZipDirectory::readEntries()
{
    if (!m_device->seek(m_centralDirectoryOffset))
        return CZipReaderTypes::SeekFailed;
    headers.clear();
    for (int i = 0; i < m_entryCount; ++i) {
        unsigned char signature[4];
        if (!readExactly(*m_device, signature, 4)) {
            if (headers.isEmpty())
                return fail(CZipReaderTypes::Corrupted, QStringLiteral("Corrupted or invalid zip archive. Closing."));
            return fail(CZipReaderTypes::PartiallyCorrupted,
                        QStringLiteral("Corrupted zip archive. Some files might be extracted."));
        }
        // Fewer headers than the end record counts: take what is there.
        if (readUInt32(signature) != CentralHeaderSignature)
            return CZipReaderTypes::Ok;
        const CZipReaderTypes::ErrorCode ec = readEntry();
        if (ec != CZipReaderTypes::Ok)
            return ec;
    }
    // More headers than counted: the 16-bit count has wrapped (more than 65,535 entries written without
    // ZIP64). Reading only the counted ones would drop the rest without a word.
    unsigned char next[4];
    if (readExactly(*m_device, next, 4) && readUInt32(next) == CentralHeaderSignature)
        return fail(CZipReaderTypes::UnsupportedArchive,
                    QStringLiteral("The central directory holds more entries than its end record counts (%1); "
                                   "more than 65,535 entries need ZIP64.")
                        .arg(m_entryCount));
    return CZipReaderTypes::Ok;
}

CZipReaderTypes::ErrorCode CZipDirectory::readEntry()
{
    unsigned char fields[CentralHeaderSize - 4];
    if (!readExactly(*m_device, fields, sizeof fields))
        return CZipReaderTypes::ReadFailed;

    // Offsets below are counted from the end of the signature.
    const int versionNeeded = fields[2];
    const quint16 flags = readUInt16(fields + 4);
    const quint16 method = readUInt16(fields + 6);
    const quint16 nameLength = readUInt16(fields + 24);
    const quint16 extraLength = readUInt16(fields + 26);
    const quint16 commentLength = readUInt16(fields + 28);

    const QByteArray rawName = m_device->read(nameLength);
    if (rawName.size() != nameLength)
        return CZipReaderTypes::ReadFailed;
    const QString name = CZipEntryName::decode(rawName, flags);

    QString reason;
    if (method != MethodStored && method != MethodDeflated) {
        zipDebug(QStringLiteral("Unsupported compression method. Skipping file."));
        reason = QStringLiteral("compression method %1").arg(method);
    } else if (nameLength == 0) {
        zipDebug(QStringLiteral("Skipping file with no name."));
        reason = QStringLiteral("no name");
    } else if (versionNeeded > HighestVersionNeeded) {
        zipDebug(QStringLiteral("Unsupported PKZip version (%1). Skipping file: %2")
                     .arg(versionText(versionNeeded), name.isEmpty() ? QStringLiteral("<undefined>") : name));
        reason = QStringLiteral("format version %1").arg(versionText(versionNeeded));
    }
    if (!reason.isEmpty()) {
        skipped.append({name, reason});
        if (!seekTo(*m_device, m_device->pos() + extraLength + commentLength))
            return CZipReaderTypes::SeekFailed;
        return CZipReaderTypes::Ok;
    }

    CZipEntryHeader header;
    header.generalFlag[0] = fields[4];
    header.generalFlag[1] = fields[5];
    header.compressionMethod = method;
    header.modificationTime[0] = fields[8];
    header.modificationTime[1] = fields[9];
    header.modificationDate[0] = fields[10];
    header.modificationDate[1] = fields[11];
    header.crc = readUInt32(fields + 12);
    header.compressedSize = readUInt32(fields + 16);
    header.uncompressedSize = readUInt32(fields + 20);
    header.localHeaderOffset = readUInt32(fields + 38);
    header.rawName = rawName;

    if (!seekTo(*m_device, m_device->pos() + extraLength))
        return CZipReaderTypes::SeekFailed;
    if (commentLength != 0) {
        const QByteArray text = m_device->read(commentLength);
        if (text.size() != commentLength)
            return CZipReaderTypes::ReadFailed;
        header.comment = CZipEntryName::decode(text, flags);
    }
    headers.insert(name, header);
    return CZipReaderTypes::Ok;
}

CZipReaderTypes::ErrorCode CZipDirectory::checkOverlaps()
{
    // In the order of their local headers, every entry (header, name, data, data descriptor) must end
    // before the next one starts, and the last before the central directory. This is checked here with
    // the least room an entry can take, and again with its real extent when its local header is read.
    QVector<QMap<QString, CZipEntryHeader>::iterator> order;
    order.reserve(headers.size());
    for (auto it = headers.begin(); it != headers.end(); ++it)
        order.append(it);
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.value().localHeaderOffset < b.value().localHeaderOffset; });
    for (int i = 0; i < order.size(); ++i) {
        CZipEntryHeader& header = order.at(i).value();
        header.nextOffset = i + 1 < order.size() ? order.at(i + 1).value().localHeaderOffset : m_centralDirectoryOffset;
        const qint64 end = qint64(header.localHeaderOffset) + LocalHeaderSize + header.rawName.size() +
                           header.compressedSize + (header.hasDataDescriptor() ? DataDescriptorSize - 4 : 0);
        if (end > header.nextOffset) {
            const QString other =
                i + 1 < order.size() ? order.at(i + 1).key() : QStringLiteral("the central directory");
            return fail(CZipReaderTypes::OverlappingEntries,
                        QStringLiteral("The data of %1 overlaps %2.").arg(order.at(i).key(), other));
        }
    }
    return CZipReaderTypes::Ok;
}
