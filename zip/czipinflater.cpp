#include "zip/czipinflater.h"

#include <libdeflate.h>

#include <QIODevice>

#include <algorithm>

using namespace CZipFormat;

CZipInflater::~CZipInflater()
{
    if (m_streamReady)
        inflateEnd(&m_stream);
    libdeflate_free_decompressor(m_decompressor);
}

CZipReaderTypes::ErrorCode CZipInflater::read(QIODevice& device, bool deflated, qint64 expectedSize, Input& input,
                                              QIODevice* output, quint32& crc, qint64& written)
{
    if (!deflated)
        return copyStored(device, expectedSize, input, output, crc, written);
    CZipReaderTypes::ErrorCode ec = CZipReaderTypes::Ok;
    if (inflateWhole(device, expectedSize, input, output, crc, written, ec))
        return ec;
    return inflateStream(device, expectedSize, input, output, crc, written);
}

CZipReaderTypes::ErrorCode CZipInflater::copyStored(QIODevice& device, qint64 expectedSize, Input& input,
                                                    QIODevice* output, quint32& crc, qint64& written)
{
    while (input.remaining > 0) {
        const qint64 count =
            device.read(reinterpret_cast<char*>(m_readBuffer), std::min<qint64>(input.remaining, BufferSize));
        if (count < 0)
            return CZipReaderTypes::ReadFailed;
        if (count == 0) // cut short; the CRC check tells
            break;
        input.remaining -= count;
        // More data than the entry claims is not written out.
        if (written + count > expectedSize)
            return CZipReaderTypes::Corrupted;
        if (input.encrypted)
            input.keys.decrypt(m_readBuffer, count);
        crc = static_cast<quint32>(crc32(crc, m_readBuffer, static_cast<uInt>(count)));
        if (output && output->write(reinterpret_cast<const char*>(m_readBuffer), count) != count)
            return CZipReaderTypes::WriteFailed;
        written += count;
    }
    return CZipReaderTypes::Ok;
}

bool CZipInflater::inflateWhole(QIODevice& device, qint64 expectedSize, Input& input, QIODevice* output, quint32& crc,
                                qint64& written, CZipReaderTypes::ErrorCode& ec)
{
    constexpr qint64 WholeEntrySize = 4 * 1024 * 1024;
    if (expectedSize > WholeEntrySize || input.remaining > WholeEntrySize + WholeEntrySize / 8)
        return false;
    if (!m_decompressor)
        m_decompressor = libdeflate_alloc_decompressor();
    const qint64 start = device.pos();
    const Input atStart = input;
    m_wholeInput.resize(static_cast<int>(input.remaining));
    m_wholeOutput.resize(static_cast<int>(expectedSize));
    size_t produced = 0;
    if (m_decompressor && device.read(m_wholeInput.data(), input.remaining) == input.remaining) {
        auto* data = reinterpret_cast<unsigned char*>(m_wholeInput.data());
        if (input.encrypted)
            input.keys.decrypt(data, input.remaining);
        // Anything but a stream of exactly the stated size goes the streaming way, whose codes tell a
        // damaged stream from one that is cut short or longer than stated.
        if (libdeflate_deflate_decompress(m_decompressor, data, static_cast<size_t>(input.remaining),
                                          m_wholeOutput.data(), static_cast<size_t>(m_wholeOutput.size()),
                                          &produced) == LIBDEFLATE_SUCCESS &&
            static_cast<qint64>(produced) == expectedSize) {
            input.remaining = 0;
            crc = static_cast<quint32>(
                crc32(crc, reinterpret_cast<const Bytef*>(m_wholeOutput.constData()), static_cast<uInt>(produced)));
            written = static_cast<qint64>(produced);
            const bool stored = !output || output->write(m_wholeOutput.constData(), written) == written;
            ec = stored ? CZipReaderTypes::Ok : CZipReaderTypes::WriteFailed;
            return true;
        }
    }
    input = atStart;
    if (!device.seek(start)) {
        ec = CZipReaderTypes::SeekFailed;
        return true;
    }
    return false;
}

CZipReaderTypes::ErrorCode CZipInflater::inflateStream(QIODevice& device, qint64 expectedSize, Input& input,
                                                       QIODevice* output, quint32& crc, qint64& written)
{
    if (m_streamReady) {
        inflateReset(&m_stream);
    } else {
        m_stream = z_stream{};
        // Negative window bits: a raw deflate stream without zlib header or trailer.
        if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
            return CZipReaderTypes::ZlibError;
        m_streamReady = true;
    }

    CZipReaderTypes::ErrorCode ec = CZipReaderTypes::Ok;
    bool streamEnded = false;
    while (input.remaining > 0 && !streamEnded && ec == CZipReaderTypes::Ok) {
        const qint64 count =
            device.read(reinterpret_cast<char*>(m_readBuffer), std::min<qint64>(input.remaining, BufferSize));
        if (count < 0) {
            ec = CZipReaderTypes::ReadFailed;
            break;
        }
        if (count == 0) // cut short; the CRC check tells
            break;
        input.remaining -= count;
        if (input.encrypted)
            input.keys.decrypt(m_readBuffer, count);

        m_stream.next_in = m_readBuffer;
        m_stream.avail_in = static_cast<uInt>(count);
        do {
            m_stream.next_out = m_outputBuffer;
            m_stream.avail_out = BufferSize;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result == Z_MEM_ERROR || result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_STREAM_ERROR) {
                ec = CZipReaderTypes::ZlibError;
                break;
            }
            const qint64 produced = BufferSize - m_stream.avail_out;
            // A stream that inflates beyond the entry's stated size is not written out: this stops a hostile
            // archive from filling the disk behind a small listing.
            if (written + produced > expectedSize) {
                ec = CZipReaderTypes::Corrupted;
                break;
            }
            if (output && output->write(reinterpret_cast<const char*>(m_outputBuffer), produced) != produced) {
                ec = CZipReaderTypes::WriteFailed;
                break;
            }
            crc = static_cast<quint32>(crc32(crc, m_outputBuffer, static_cast<uInt>(produced)));
            written += produced;
            if (result == Z_STREAM_END) {
                streamEnded = true;
                break;
            }
        } while (m_stream.avail_out == 0);
    }
    return ec;
}
