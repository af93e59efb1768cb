#pragma once

#include <QDate>
#include <QMetaType>
#include <QString>

class QJsonObject;

// The current navigation-data (AIRAC) cycle as the web service announces it.
struct CycleInfo
{
    qint32 cycle = 0; // the cycle number, such as 2612
    QString description;
    QDate effective;         // member "Effective"
    QDate end;               // member "End"
    QString name;            // not sent by the web service; the reply parser leaves it empty
    QString cycleInternalId; // the web service's own id of the cycle

    // Reads the members "Cycle" (a decimal number in text), "Description", "Effective", "End" (ISO 8601)
    // and "CycleInternalId". Missing or unreadable members give 0, empty texts and invalid dates.
    static CycleInfo fromJson(const QJsonObject& object);

    // Registers the type under the name "CycleInfo", so that it can cross threads in a QVariant. Idempotent.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(CycleInfo)
