#pragma once

#include <QIODevice>

// Reading an archive's device: exactly so many bytes, and seeks that cost no system call where none is needed.
namespace CZipDevice
{
inline bool readExactly(QIODevice& device, void* data, qint64 size)
{
    return device.read(static_cast<char*>(data), size) == size;
}

// Every seek is a system call, and extracting an archive makes several per entry; where the device is
// already, or a few bytes on (an extra field), it is not needed.
inline bool seekTo(QIODevice& device, qint64 offset)
{
    const qint64 ahead = offset - device.pos();
    if (ahead == 0)
        return true;
    if (ahead > 0 && ahead <= 0xFFFF)
        return device.skip(ahead) == ahead;
    return device.seek(offset);
}
} // namespace CZipDevice
