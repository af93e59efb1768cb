#include "zip/czipdeflater.h"

#include <libdeflate.h>

CZipDeflater::~CZipDeflater()
{
    for (libdeflate_compressor* compressor : m_compressors)
        libdeflate_free_compressor(compressor);
    if (m_streamLevel >= 0)
        deflateEnd(&m_stream);
}

bool CZipDeflater::compressWhole(const char* data, qint64 size, int level, QByteArray& out)
{
    libdeflate_compressor*& compressor = m_compressors[level];
    if (!compressor)
        compressor = libdeflate_alloc_compressor(level);
    if (!compressor)
        return false;
    out.resize(static_cast<int>(libdeflate_deflate_compress_bound(compressor, static_cast<size_t>(size))));
    const size_t written = libdeflate_deflate_compress(compressor, data, static_cast<size_t>(size), out.data(),
                                                       static_cast<size_t>(out.size()));
    out.resize(static_cast<int>(written));
    return written != 0;
}

bool CZipDeflater::compressBlock(const char* data, qint64 size, qint64 dictionarySize, int level, bool last,
                                 QByteArray& out)
{
    if (m_streamLevel == level) {
        deflateReset(&m_stream);
    } else {
        if (m_streamLevel >= 0)
            deflateEnd(&m_stream);
        m_stream = z_stream{};
        m_streamLevel = -1;
        // Negative window bits: a raw deflate stream without zlib header or trailer.
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        m_streamLevel = level;
    }
    if (dictionarySize > 0 && deflateSetDictionary(&m_stream, reinterpret_cast<const Bytef*>(data - dictionarySize),
                                                   static_cast<uInt>(dictionarySize)) != Z_OK)
        return false;

    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream.avail_in = static_cast<uInt>(size);
    // deflateBound() holds for Z_FINISH; a sync flush adds an empty stored block, and the loop grows the
    // buffer should that not fit.
    out.resize(static_cast<int>(deflateBound(&m_stream, static_cast<uLong>(size))) + 16);
    qint64 produced = 0;
    for (;;) {
        m_stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        m_stream.avail_out = static_cast<uInt>(out.size() - produced);
        const int result = deflate(&m_stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        produced = out.size() - m_stream.avail_out;
        if (result == Z_STREAM_ERROR)
            return false;
        if (last ? result == Z_STREAM_END : (m_stream.avail_in == 0 && m_stream.avail_out != 0))
            break;
        out.resize(out.size() * 2);
    }
    out.resize(static_cast<int>(produced));
    return true;
}
