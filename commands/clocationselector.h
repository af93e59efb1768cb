#pragma once

#include "commands/caddonstatus.h"

#include <QList>
#include <QString>
#include <QStringList>

// Which mapped locations a request names, and which ones a bulk command takes.
class CLocationSelector
{
public:
    struct Selection
    {
        QList<AddonStatus> locations;
        QString error;           // why none were chosen
        QStringList candidates;  // what an ambiguous or unknown name could have meant
        bool addonKnown = false; // the add-on was found; only the mapping named none of its locations
    };

    // The locations of `locations` that `addon` and `mapping` name. `addon` is an add-on GUID, or its name
    // in any letter case, whole or as a prefix that fits one add-on only; `mapping` (may be empty: every
    // location of the add-on) is a mapping GUID or a simulator's short name ("XP11", "FSX" ...).
    static Selection select(const QList<AddonStatus>& locations, const QString& addon, const QString& mapping);

    // What an update of everything takes: the locations with something to install.
    static QList<AddonStatus> toUpdate(const QList<AddonStatus>& locations);
    // What a backup of everything takes: the locations with installed files.
    static QList<AddonStatus> toBackUp(const QList<AddonStatus>& locations);
};
