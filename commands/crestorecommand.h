#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/caddoncommand.h"

// Puts a backup package back. Mode 1 restores it into the add-on's folder: the whole package is checked and
// extracted into a staging folder first, and the files go in place only after every one extracted cleanly,
// as one install (see CInstallTransaction); the package's file mapping becomes the installed one. Mode 2
// extracts it into a new folder of its own below the user's private folder and shows that folder.
class CRestoreCommand : public CAddonCommand
{
    Q_OBJECT

public:
    enum Mode
    {
        IntoAddonFolder = 1,
        IntoNewFolder = 2,
    };

    // Takes ownership of `info`; `target` is the location's record as the command found it, `backup` the
    // package to put back.
    CRestoreCommand(CommandInfo* info, const AddonStatus& target, int mode, const AddonBackupInfo& backup);

    CommandPhase phase() const override { return CommandPhase::Restore; }

    // The folder mode 2 extracted into (empty before and in mode 1).
    QString extractedFolder() const { return m_extractedFolder; }

public slots:
    void run() override;
    void stop() override;

private:
    // Mode 2: every file of the package into a new folder of this restore's own; false after raising why.
    bool extractToNewFolder(class CPackage& package);

    int m_mode;
    AddonBackupInfo m_backup;
    QString m_extractedFolder;
};
