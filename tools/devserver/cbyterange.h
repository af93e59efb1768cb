#pragma once

#include <QByteArray>

// The one byte range a "Range" header asks of a body of known size.
struct CByteRange
{
    enum class Kind
    {
        Whole,         // no usable Range header: answer 200 with the whole body
        Partial,       // answer 206 with bytes first..last (inclusive)
        Unsatisfiable, // answer 416
    };

    Kind kind = Kind::Whole;
    qint64 first = 0;
    qint64 last = -1;

    qint64 length() const { return last - first + 1; }

    // Reads "bytes=a-b", "bytes=a-" and "bytes=-n". A header that is malformed, names another unit or asks
    // for several ranges is ignored (the whole body is served), as HTTP allows; a range that starts at or
    // beyond the end is unsatisfiable; an end beyond the body is cut to the body.
    static CByteRange parse(const QByteArray& header, qint64 size);
};
