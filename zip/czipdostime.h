#pragma once

#include <QDateTime>

class QFileDevice;

// Zip entries carry their modification time as a DOS date and time in local time: two-second steps, years
// 1980 to 2107.
namespace CZipDosTime
{
// An invalid QDateTime when the fields do not form a real date and time (a month of 0, an hour of 31).
QDateTime toDateTime(quint16 date, quint16 time);
// Times before 1980 become 1980-01-01 00:00:00 and times after 2107 the last second of 2107, so that every
// file gets a valid stamp. Seconds are rounded down to even.
void fromDateTime(const QDateTime& dateTime, quint16& date, quint16& time);
// Sets the modification time of a file that is open for writing (pending writes are flushed first, so
// that they do not move the time again); false when the time is invalid or cannot be set.
bool setFileModificationTime(QFileDevice& file, quint16 date, quint16 time);
} // namespace CZipDosTime
