#pragma once

#include "commands/caddoncommand.h"
#include "commands/cbackuppackager.h"

// Packs an add-on mapping's installed files into a password-protected backup package in the backup folder
// and records it in "backup.index". Reports taskStarted, taskPulse (files processed, files in all) at most
// every 200 ms, any taskError, and exactly one taskCompleted.
class CBackupCommand : public CAddonCommand
{
    Q_OBJECT

public:
    // Takes ownership of `info`; `target` is the location's record as the command found it.
    CBackupCommand(CommandInfo* info, const AddonStatus& target);

    CommandPhase phase() const override { return CommandPhase::Backup; }

    // The package's check hash; empty when no package was made (the error is reported then).
    QString createBackupPackage(const QString& addonFolder, const QString& packagePath);

public slots:
    void run() override;

private:
    CBackupPackager::Request request(const QString& addonFolder, const QString& packagePath) const;

    // What the last package holds (CBackupPackager::Result).
    int m_cycle = 0;
    int m_revision = 0;
};
