#include "crawzip.h"

#include "zip/czipkeys.h"
#include <zlib.h>

namespace
{
void put16(QByteArray& out, quint16 value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void put32(QByteArray& out, quint32 value)
{
    put16(out, static_cast<quint16>(value & 0xFFFF));
    put16(out, static_cast<quint16>(value >> 16));
}
} // namespace

quint16 readLe16(const QByteArray& bytes, qint64 offset)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    return static_cast<quint16>(data[0] | (data[1] << 8));
}

quint32 readLe32(const QByteArray& bytes, qint64 offset)
{
    return readLe16(bytes, offset) | (static_cast<quint32>(readLe16(bytes, offset + 2)) << 16);
}

CRawZipBuilder::Entry CRawZipBuilder::entry(const QByteArray& name, const QByteArray& data, quint16 method)
{
    Entry e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

QByteArray CRawZipBuilder::deflateRaw(const QByteArray& data, int level)
{
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<int>(deflateBound(&stream, static_cast<uLong>(data.size()))) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<int>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

quint32 CRawZipBuilder::crc(const QByteArray& data)
{
    return static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

void CRawZipBuilder::patch16(QByteArray& bytes, qint64 offset, quint16 value)
{
    bytes[static_cast<int>(offset)] = static_cast<char>(value & 0xFF);
    bytes[static_cast<int>(offset + 1)] = static_cast<char>(value >> 8);
}

void CRawZipBuilder::patch32(QByteArray& bytes, qint64 offset, quint32 value)
{
    patch16(bytes, offset, static_cast<quint16>(value & 0xFFFF));
    patch16(bytes, offset + 2, static_cast<quint16>(value >> 16));
}

QByteArray CRawZipBuilder::build(const QByteArray& archiveComment, int declaredEntries)
{
    QByteArray out;
    m_written.clear();
    struct Fields
    {
        quint16 flags;
        quint32 crc;
        quint32 compressed;
        quint32 uncompressed;
    };
    QList<Fields> fields;
    for (const Entry& entry : m_entries) {
        Written written;
        Fields field{};
        if (!entry.password.isEmpty())
            field.flags |= 0x0001;
        if (entry.descriptor != 0)
            field.flags |= 0x0008;
        field.crc = entry.crcOverride >= 0 ? static_cast<quint32>(entry.crcOverride) : crc(entry.data);
        field.uncompressed = entry.uncompressedOverride >= 0 ? static_cast<quint32>(entry.uncompressedOverride)
                                                             : static_cast<quint32>(entry.data.size());
        QByteArray payload = entry.method == 8 ? deflateRaw(entry.data) : entry.data;
        payload.chop(entry.cutPayload);
        if (!entry.password.isEmpty()) {
            CZipKeys keys(entry.password);
            QByteArray header(12, '\x5A');
            header[11] = static_cast<char>((field.flags & 0x0008) ? (entry.dosTime >> 8) : (field.crc >> 24));
            payload.prepend(header);
            keys.encrypt(reinterpret_cast<unsigned char*>(payload.data()), payload.size());
        }
        field.compressed = static_cast<quint32>(payload.size());

        written.localOffset = out.size();
        const QByteArray localName = entry.localNameOverride.isNull() ? entry.name : entry.localNameOverride;
        put32(out, 0x04034B50);
        put16(out, entry.versionNeeded);
        put16(out, field.flags);
        put16(out, entry.method);
        put16(out, entry.dosTime);
        put16(out, entry.dosDate);
        const bool deferred = (field.flags & 0x0008) != 0;
        put32(out, deferred ? 0 : field.crc);
        put32(out, deferred ? 0 : field.compressed);
        put32(out, deferred ? 0 : field.uncompressed);
        put16(out, static_cast<quint16>(localName.size()));
        put16(out, 0);
        out.append(localName);
        written.payloadOffset = out.size();
        written.payloadSize = payload.size();
        out.append(payload);
        if (entry.descriptor == 1)
            put32(out, 0x08074B50);
        if (entry.descriptor != 0) {
            put32(out, field.crc);
            put32(out, field.compressed);
            put32(out, field.uncompressed);
        }
        m_written.append(written);
        fields.append(field);
    }

    const qint64 directoryStart = out.size();
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries.at(i);
        m_written[i].centralOffset = out.size();
        put32(out, 0x02014B50);
        put16(out, 0);
        put16(out, entry.versionNeeded);
        put16(out, fields.at(i).flags);
        put16(out, entry.method);
        put16(out, entry.dosTime);
        put16(out, entry.dosDate);
        put32(out, fields.at(i).crc);
        put32(out, fields.at(i).compressed);
        put32(out, fields.at(i).uncompressed);
        put16(out, static_cast<quint16>(entry.name.size()));
        out.append(QByteArray(12, '\0')); // no extra field or comment; disk 0; no attributes
        put32(out, static_cast<quint32>(m_written.at(i).localOffset));
        out.append(entry.name);
    }
    m_endRecordOffset = out.size();
    const quint16 count = static_cast<quint16>(declaredEntries >= 0 ? declaredEntries : m_entries.size());
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, static_cast<quint32>(m_endRecordOffset - directoryStart));
    put32(out, static_cast<quint32>(directoryStart));
    put16(out, static_cast<quint16>(archiveComment.size()));
    out.append(archiveComment);
    return out;
}

const CRawCentralEntry* CRawCentralDirectory::find(const QByteArray& name) const
{
    for (const CRawCentralEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

CRawCentralDirectory parseCentralDirectory(const QByteArray& archive)
{
    CRawCentralDirectory directory;
    int end = archive.size() - 22;
    while (end >= 0 && readLe32(archive, end) != 0x06054B50)
        --end;
    if (end < 0)
        return directory;
    const int entryCount = readLe16(archive, end + 10);
    directory.comment = archive.mid(end + 22, readLe16(archive, end + 20));
    qint64 offset = readLe32(archive, end + 16);
    for (int i = 0; i < entryCount; ++i) {
        if (offset + 46 > archive.size() || readLe32(archive, offset) != 0x02014B50)
            return directory;
        CRawCentralEntry entry;
        entry.flags = readLe16(archive, offset + 8);
        entry.compressedSize = readLe32(archive, offset + 20);
        const quint16 nameLength = readLe16(archive, offset + 28);
        entry.localOffset = readLe32(archive, offset + 42);
        entry.name = archive.mid(static_cast<int>(offset + 46), nameLength);
        offset += 46 + nameLength + readLe16(archive, offset + 30) + readLe16(archive, offset + 32);
        directory.entries.append(entry);
    }
    return directory;
}
