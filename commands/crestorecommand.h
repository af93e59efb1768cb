#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/caddoncommand.h"
#include "zip/unzip.h"

// Puts a backup package back. Mode 1 restores it into the add-on's folder: the whole package is checked and
// extracted into a staging folder first, and the files go in place only after every one extracted cleanly,
// as one install (see CInstallTransaction); the package's file mapping becomes the installed one. Mode 2
// extracts it into a new folder below the system's temporary folder and shows that folder.
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

    // Opens `file` into `package` and checks that every entry decompresses and checks out with `password`.
    static UnZip::ErrorCode openVerified(UnZip& package, const QString& file, const QString& password);

    // The folder mode 2 extracted into (empty before and in mode 1).
    QString extractedFolder() const { return m_extractedFolder; }

public slots:
    void run() override;
    void stop() override;

private:
    // Extracts every planned file; false after reporting why (nothing in place has changed then).
    bool restoreFiles(UnZip& package, const QList<struct PlannedFile>& files, const QString& mapping,
                      const QString& addonFolder);

    int m_mode;
    AddonBackupInfo m_backup;
    QString m_extractedFolder;
};
