#include "ccommandfactory.h"

#include "commands/cbackupcommand.h"
#include "commands/crestorecommand.h"
#include "commands/cupdatecommand.h"

CQueueable* CCommandFactory::create(const CommandInfo& info, int restoreMode, const AddonBackupInfo* backup)
{
    auto* owned = new CommandInfo(info);
    switch (info.type) {
    case Update:
        return new CUpdateCommand(nullptr, owned);
    case Backup:
        return new CBackupCommand(nullptr, owned);
    case Restore: {
        AddonBackupInfo chosen = backup ? *backup : AddonBackupInfo();
        return new CRestoreCommand(nullptr, owned, restoreMode, QVariant::fromValue(&chosen));
    }
    default:
        delete owned;
        return nullptr;
    }
}
