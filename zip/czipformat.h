#pragma once

#include <QtGlobal>

// The fixed layout of the zip records this program reads and writes. All numbers are little-endian.
namespace CZipFormat
{
constexpr quint32 LocalHeaderSignature = 0x04034B50;    // "PK\3\4"
constexpr quint32 CentralHeaderSignature = 0x02014B50;  // "PK\1\2"
constexpr quint32 EndRecordSignature = 0x06054B50;      // "PK\5\6"
constexpr quint32 DataDescriptorSignature = 0x08074B50; // "PK\7\10"
// Sits right in front of the end record of a ZIP64 archive, which this program neither reads nor writes.
constexpr quint32 Zip64LocatorSignature = 0x07064B50; // "PK\6\7"
constexpr int Zip64LocatorSize = 20;

constexpr int EndRecordSize = 22;
constexpr int LocalHeaderSize = 30;    // signature included
constexpr int CentralHeaderSize = 46;  // signature included
constexpr int DataDescriptorSize = 16; // signature included
constexpr int EncryptionHeaderSize = 12;

// General-purpose flag bits.
constexpr quint16 FlagEncrypted = 0x0001;
constexpr quint16 FlagDataDescriptor = 0x0008;
constexpr quint16 FlagUtf8Names = 0x0800;

constexpr quint16 MethodStored = 0;
constexpr quint16 MethodDeflated = 8;

// Entries that need a newer reader than this (version 2.0: deflate and traditional encryption) are skipped.
constexpr int HighestVersionNeeded = 20;

// Both reader and writer stream every entry through two buffers of this size.
constexpr int BufferSize = 256 * 1024;

inline quint16 readUInt16(const unsigned char* data)
{
    return static_cast<quint16>(data[0] | (data[1] << 8));
}

inline quint32 readUInt32(const unsigned char* data)
{
    return static_cast<quint32>(data[0]) | (static_cast<quint32>(data[1]) << 8) |
           (static_cast<quint32>(data[2]) << 16) | (static_cast<quint32>(data[3]) << 24);
}

inline void writeUInt16(unsigned char* data, quint16 value)
{
    data[0] = static_cast<unsigned char>(value & 0xFF);
    data[1] = static_cast<unsigned char>(value >> 8);
}

inline void writeUInt32(unsigned char* data, quint32 value)
{
    data[0] = static_cast<unsigned char>(value & 0xFF);
    data[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    data[2] = static_cast<unsigned char>((value >> 16) & 0xFF);
    data[3] = static_cast<unsigned char>(value >> 24);
}
} // namespace CZipFormat
