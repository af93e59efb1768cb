#include "cycleinfo.h"

#include <QDateTime>
#include <QJsonObject>

namespace
{

// A date written as an ISO 8601 date or date and time.
QDate isoDate(const QString& text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? date : QDateTime::fromString(text, Qt::ISODate).date();
}

} // namespace

CycleInfo CycleInfo::fromJson(const QJsonObject& object)
{
    CycleInfo info;
    info.cycle = object.value(QStringLiteral("Cycle")).toString().toInt(nullptr, 10);
    info.description = object.value(QStringLiteral("Description")).toString();
    info.effective = isoDate(object.value(QStringLiteral("Effective")).toString());
    info.end = isoDate(object.value(QStringLiteral("End")).toString());
    info.cycleInternalId = object.value(QStringLiteral("CycleInternalId")).toString();
    return info;
}

void CycleInfo::registerMetaType()
{
    qRegisterMetaType<CycleInfo>("CycleInfo");
}
