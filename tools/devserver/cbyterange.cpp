#include "cbyterange.h"

namespace
{

// A non-negative decimal number of at most 18 digits; -1 otherwise.
qint64 readNumber(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

CByteRange CByteRange::parse(const QByteArray& header, qint64 size)
{
    CByteRange range;
    const QByteArray text = header.trimmed();
    const int equals = text.indexOf('=');
    if (equals < 0 || text.left(equals).trimmed().toLower() != "bytes")
        return range;
    const QByteArray spec = text.mid(equals + 1).trimmed();
    const int dash = spec.indexOf('-');
    if (dash < 0 || spec.contains(','))
        return range;

    const QByteArray firstText = spec.left(dash).trimmed();
    const QByteArray lastText = spec.mid(dash + 1).trimmed();

    if (firstText.isEmpty()) {
        const qint64 suffix = readNumber(lastText);
        if (suffix < 0)
            return range;
        if (suffix == 0 || size == 0) {
            range.kind = Kind::Unsatisfiable;
            return range;
        }
        range.kind = Kind::Partial;
        range.first = qMax<qint64>(0, size - suffix);
        range.last = size - 1;
        return range;
    }

    const qint64 first = readNumber(firstText);
    const qint64 last = lastText.isEmpty() ? size - 1 : readNumber(lastText);
    if (first < 0 || (!lastText.isEmpty() && (last < 0 || last < first)))
        return range;
    if (first >= size) {
        range.kind = Kind::Unsatisfiable;
        return range;
    }
    range.kind = Kind::Partial;
    range.first = first;
    range.last = qMin(last, size - 1);
    return range;
}
