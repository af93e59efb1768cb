#pragma once

#include <QMetaType>
#include <QString>
#include <QUuid>

// Command types. Stored in settings and passed between windows: don't reorder.
enum ECommandType
{
    Update = 0,
    Backup = 1,
    Restore = 2,
    Modify = 3, // edits the mapping; handled by the model, never queued
    Remove = 4, // removes the mapping; handled by the model, never queued
    LastCommandType = 5,
};

// Identifies one command: which add-on, which of its mappings, and what to do.
struct CommandInfo
{
    QUuid addonGuid;
    QUuid mappingGuid;
    int type = Update;

    CommandInfo() = default;
    CommandInfo(const QUuid& addon, const QUuid& mapping, int commandType)
        : addonGuid(addon)
        , mappingGuid(mapping)
        , type(commandType)
    {
    }

    // "{addon-guid}_{mapping-guid}": one queued or running command per key.
    static QString commandKey(const QUuid& addon, const QUuid& mapping)
    {
        return QStringLiteral("%0_%1").arg(addon.toString(), mapping.toString());
    }
    QString key() const { return commandKey(addonGuid, mappingGuid); }
};

Q_DECLARE_METATYPE(CommandInfo)
