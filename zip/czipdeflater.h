#pragma once

#include <zlib.h>

#include <QByteArray>

struct libdeflate_compressor;

// One packing thread's deflate state, kept from task to task: setting up a compressor costs more than
// compressing a small file. Whole entries go through libdeflate, about twice as fast as zlib at the same
// level and no larger; the blocks of a large entry go through zlib, which can prime each block with the
// end of the one before, so that the blocks join into one deflate stream compressed as well as in one go.
class CZipDeflater
{
public:
    CZipDeflater() = default;
    ~CZipDeflater();

    CZipDeflater(const CZipDeflater&) = delete;
    CZipDeflater& operator=(const CZipDeflater&) = delete;

    // `size` bytes at `level` (1 to 9) as one complete raw deflate stream; false when out of memory.
    bool compressWhole(const char* data, qint64 size, int level, QByteArray& out);
    // One block of a stream: `size` bytes at `data`, primed with the `dictionarySize` bytes in front of
    // `data` (the end of the previous block). A block other than the `last` ends with a sync flush, at a
    // byte boundary and not final, so that the next block's output continues the stream. False when zlib
    // fails (out of memory).
    bool compressBlock(const char* data, qint64 size, qint64 dictionarySize, int level, bool last, QByteArray& out);

private:
    libdeflate_compressor* m_compressors[10] = {};
    z_stream m_stream{};
    int m_streamLevel = -1; // -1 while m_stream is not set up
};
