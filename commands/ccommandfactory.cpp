#include "ccommandfactory.h"

#include "commands/caddonstatus.h"
#include "commands/cbackupcommand.h"
#include "commands/crestorecommand.h"
#include "commands/cupdatecommand.h"

CQueueable* CCommandFactory::create(const CommandInfo& info, int restoreMode, const AddonBackupInfo* backup)
{
    if (info.type != Update && info.type != Backup && info.type != Restore)
        return nullptr;
    const AddonStatus target = CAddonStatus::of(info.addonGuid, info.mappingGuid);
    auto* owned = new CommandInfo(info);
    switch (info.type) {
    case Update:
        return new CUpdateCommand(owned, target);
    case Backup:
        return new CBackupCommand(owned, target);
    default:
        return new CRestoreCommand(owned, target, restoreMode, backup ? *backup : AddonBackupInfo());
    }
}
