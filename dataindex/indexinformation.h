#pragma once

#include <QString>
#include <QUuid>

// What the program knows of one edition of the data index: the local file's header while that is
// current, otherwise what the web service announced.
struct IndexInformation
{
    QUuid id;
    QString internalId;
    QString location; // the file's path, or the address the web service gives for the new edition
    QString description;
};
