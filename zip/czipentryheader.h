#pragma once

#include "zip/czipformat.h"

#include <QByteArray>
#include <QString>

// What the reader and the writer know of one entry: the fields of its central directory header, where its
// local header and data start, and (writer only) which source file it came from.
struct CZipEntryHeader
{
    quint32 localHeaderOffset = 0;
    // Where the entry's data (or its encryption header) starts; known once the local header is checked.
    quint32 dataOffset = 0;
    unsigned char generalFlag[2] = {0, 0};
    quint16 compressionMethod = 0;
    unsigned char modificationTime[2] = {0, 0}; // DOS time, low byte first
    unsigned char modificationDate[2] = {0, 0}; // DOS date, low byte first
    quint32 crc = 0;
    quint32 compressedSize = 0; // the encryption header included
    quint32 uncompressedSize = 0;
    QString comment;
    bool localHeaderChecked = false;
    // Reader: where the next entry (or the central directory) starts; this entry's data and data descriptor
    // must end there.
    qint64 nextOffset = 0;

    // The name exactly as stored in the central directory; the local header must carry the same bytes.
    QByteArray rawName;

    // Writer: the absolute path and size of the source file, for the duplicate checks.
    QString sourcePath;
    qint64 sourceSize = -1;

    quint16 flags() const { return CZipFormat::readUInt16(generalFlag); }
    void setFlags(quint16 value) { CZipFormat::writeUInt16(generalFlag, value); }
    bool isEncrypted() const { return (flags() & CZipFormat::FlagEncrypted) != 0; }
    bool hasDataDescriptor() const { return (flags() & CZipFormat::FlagDataDescriptor) != 0; }
    quint16 dosTime() const { return CZipFormat::readUInt16(modificationTime); }
    quint16 dosDate() const { return CZipFormat::readUInt16(modificationDate); }
    void setDosDateTime(quint16 date, quint16 time)
    {
        CZipFormat::writeUInt16(modificationDate, date);
        CZipFormat::writeUInt16(modificationTime, time);
    }
};
