#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/commandinfo.h"

class CQueueable;

// Makes the command object for a command button (update, backup, restore): the window and the command line
// make their commands here, so both run the same ones the same way.
class CCommandFactory
{
public:
    // Null for the types that are not queued (modify, remove). `restoreMode` and `backup` are for restores.
    // The command takes a copy of its location's records from the data index here, on the caller's thread.
    static CQueueable* create(const CommandInfo& info, int restoreMode = 1, const AddonBackupInfo* backup = nullptr);
};
