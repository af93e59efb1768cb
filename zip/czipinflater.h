#pragma once

#include "zip/czipformat.h"
#include "zip/czipkeys.h"
#include "zip/czipreadertypes.h"
#include <zlib.h>

#include <QByteArray>

class QIODevice;
struct libdeflate_decompressor;

// One reader's way from an entry's stored bytes to its content, kept from entry to entry: setting up an
// inflate state costs more than inflating a small file. Whole entries up to a few MiB go through
// libdeflate, about 1.7 times as fast as zlib; larger ones stream through zlib in two buffers, so that
// memory stays bounded whatever an archive claims. The reading side's counterpart of CZipDeflater.
class CZipInflater
{
public:
    // An entry whose local header and password checked out: the cipher state after the encryption header,
    // and the bytes of data still to read from the device, which stands at them.
    struct Input
    {
        CZipKeys keys;
        bool encrypted = false;
        qint64 remaining = 0;
    };

    CZipInflater() = default;
    ~CZipInflater();

    CZipInflater(const CZipInflater&) = delete;
    CZipInflater& operator=(const CZipInflater&) = delete;

    // Reads the rest of `input` from `device`, decrypts it and, when `deflated`, inflates it, writing the
    // content to `output` unless that is null and adding it to `crc` and `written`. Never writes past
    // `expectedSize` bytes: content beyond it gives Corrupted. Data cut short gives Ok with fewer bytes
    // (the caller's CRC-32 and size check tells); otherwise ReadFailed, SeekFailed, WriteFailed or
    // ZlibError.
    CZipReaderTypes::ErrorCode read(QIODevice& device, bool deflated, qint64 expectedSize, Input& input,
                                    QIODevice* output, quint32& crc, qint64& written);

private:
    CZipReaderTypes::ErrorCode copyStored(QIODevice& device, qint64 expectedSize, Input& input, QIODevice* output,
                                          quint32& crc, qint64& written);
    // True when the entry was inflated in one piece (`ec` Ok, or WriteFailed); false, with nothing written
    // and the device back at the data, when it is too large for that or anything about it is not as
    // stated: the streaming way then tells what.
    bool inflateWhole(QIODevice& device, qint64 expectedSize, Input& input, QIODevice* output, quint32& crc,
                      qint64& written, CZipReaderTypes::ErrorCode& ec);
    CZipReaderTypes::ErrorCode inflateStream(QIODevice& device, qint64 expectedSize, Input& input, QIODevice* output,
                                             quint32& crc, qint64& written);

    unsigned char m_readBuffer[CZipFormat::BufferSize];
    unsigned char m_outputBuffer[CZipFormat::BufferSize];
    // One inflate state for all entries, reset for each: a fresh one per entry would be allocated and freed
    // again for every file.
    z_stream m_stream{};
    bool m_streamReady = false;
    libdeflate_decompressor* m_decompressor = nullptr;
    QByteArray m_wholeInput;
    QByteArray m_wholeOutput;
};
