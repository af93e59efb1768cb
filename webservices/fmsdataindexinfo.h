#pragma once

#include <QMetaType>
#include <QString>
#include <QUuid>

// The identity and address of the current data index as the web service announces it. Travels from the
// web-service task to its receiver as a pointer in a QVariant; the receiver owns it.
struct FMSDataIndexInfo
{
    QUuid id;
    QString version;
    QString url; // where the data index file is fetched from
    QString comments;
};

Q_DECLARE_METATYPE(FMSDataIndexInfo*)
