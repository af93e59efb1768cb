#pragma once

#include <QDate>
#include <QMetaType>
#include <QString>

class QJsonDocument;

// The current navigation-data (AIRAC) cycle as the web service announces it.
struct CycleInfo
{
    qint32 cycle = 0; // the cycle number, such as 2612
    QString description;
    QDate effective;         // member "Effective"
    QDate end;               // member "End"
    QString name;            // not sent by the web service; the reply parser leaves it empty
    QString cycleInternalId; // the web service's own id of the cycle

    // Reads the members "Cycle" (a positive decimal number in text), "Description", "Effective", "End"
    // (ISO 8601 dates) and "CycleInternalId" (texts). A reply that is not an object, or lacks one of them or
    // has it with another type, gives an empty record (cycle 0) and the reason in `problem`.
    static CycleInfo fromJson(const QJsonDocument& reply, QString* problem);

    // Registers the type under the name "CycleInfo", so that it can cross threads in a QVariant. Idempotent.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(CycleInfo)
