#include "zip/czipdostime.h"

#include <QFileDevice>

QDateTime CZipDosTime::toDateTime(quint16 date, quint16 time)
{
    const QDate day(1980 + (date >> 9), (date >> 5) & 15, date & 31);
    const QTime clock(time >> 11, (time >> 5) & 63, (time & 31) * 2);
    if (!day.isValid() || !clock.isValid())
        return QDateTime();
    return QDateTime(day, clock, Qt::LocalTime);
}

void CZipDosTime::fromDateTime(const QDateTime& dateTime, quint16& date, quint16& time)
{
    QDateTime local = dateTime.toLocalTime();
    const QDateTime first(QDate(1980, 1, 1), QTime(0, 0), Qt::LocalTime);
    const QDateTime last(QDate(2107, 12, 31), QTime(23, 59, 58), Qt::LocalTime);
    if (!local.isValid() || local < first)
        local = first;
    else if (local > last)
        local = last;
    const QDate day = local.date();
    const QTime clock = local.time();
    date = static_cast<quint16>(((day.year() - 1980) << 9) | (day.month() << 5) | day.day());
    time = static_cast<quint16>((clock.hour() << 11) | (clock.minute() << 5) | (clock.second() / 2));
}

bool CZipDosTime::setFileModificationTime(QFileDevice& file, quint16 date, quint16 time)
{
    const QDateTime modified = toDateTime(date, time);
    if (!modified.isValid() || !file.flush())
        return false;
    return file.setFileTime(modified, QFileDevice::FileModificationTime);
}
