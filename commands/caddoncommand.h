#pragma once

#include "commands/caddonstatus.h"
#include "commands/cinstalltransaction.h"
#include "commands/cqueueable.h"
#include "foundation/clogger.h"

#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class CLocationLock;

// What the three add-on commands (update, backup, restore) share: the add-on location they work on, how they
// raise an error, and the completion of an install that a crash interrupted.
//
// The command keeps a copy of its location's record, taken from the data index when it is made (on the
// window's thread): its own thread never reads the index, which may be refreshed meanwhile.
//
// stop() may be called from any thread (the window's, through the queue): it only raises the stop flag,
// which the command's loops poll between files.
class CAddonCommand : public CQueueable
{
    Q_OBJECT

public:
    // Takes ownership of `info`; `target` is the location's record as the command found it.
    CAddonCommand(CommandInfo* info, const AddonStatus& target);
    ~CAddonCommand() override;

    QUuid addonGuid() const { return m_target.addonGuid; }
    QUuid mappingGuid() const { return m_target.mappingGuid; }
    const AddonStatus& target() const { return m_target; }
    bool isCanceled() const { return isStopRequested(); }

    // Takes the lock of the mapped location without a word when it is free (see holdLocation()).
    bool reserve() override;

protected:
    // Whether the location was mapped when the command was made; when not, raises why and returns false.
    bool checkMapped();

    // Completes an install or restore of this mapping that a crash interrupted, before anything else is done
    // in `addonFolder`. False after reporting the error when it can't be completed.
    bool completeInterruptedInstall(const QString& addonFolder);

    // The settings a command works with, read once, when it first asks (after it has started).
    struct Settings
    {
        bool autoBackup = false;
        QString backupFolder;
        QString region; // the web service's region of the user
    };
    const Settings& settings();

    // The first half of an install (CInstallTransaction) of `package`'s files below `addonFolder`: every
    // file is extracted into the staging folder, each checked against its CRC, and the package's file mapping
    // joins them as the installed one to be. Nothing of the user's has changed yet. Pulses (files done,
    // files) and polls the stop flag.
    enum class Staging
    {
        Staged,
        Failed,  // raised; nothing changed
        Damaged, // an entry failed its check (`damaged` says which and why); not raised, nothing changed
    };
    Staging stage(CInstallTransaction& transaction, class CPackage& package, const QString& done, int failureLevel,
                  QString* damaged);
    // Drops what stage() staged, before anything has moved.
    void discardStaging(CInstallTransaction& transaction);
    // The second half: the staged files go in place as one step; a cancel or a failure puts everything back.
    // False after raising why.
    bool commitStaged(CInstallTransaction& transaction, const QString& done, int failureLevel);
    // Both halves, for a package already checked.
    bool installFromPackage(class CPackage& package, const QString& addonFolder, const QString& done, int failureLevel);

    // Rolls `transaction` back and raises why the install ended (`problem`, or the cancel); when a file
    // could not be put back, the error says so and where the old file is kept. Returns false.
    bool undoInstall(CInstallTransaction& transaction, const QString& problem, const QString& done, int failureLevel);

    // Logs the error and reports it as the command's failure (build it with BV_EXCEPTION, which records
    // where it was raised).
    void raise(const Exception& error);
    // Reports "User canceled." as the command's end.
    void raiseCanceled();

    // The first step of every run: holds the lock of the mapped location (CLocationLock) for the rest of the
    // command, so that no other command of any copy of the program works on the same folder meanwhile. When
    // another one does, raises "another copy of the program is working on <add-on>" (LocationBusy) and
    // returns false; the command then ends without touching anything. A mapping that is not known has
    // nothing to protect: true, and the command reports the unknown mapping itself. Once it holds the lock,
    // removes what earlier runs of the location left behind (CLeftovers).
    bool holdLocation();
    void releaseReservation() override;

private:
    std::unique_ptr<CLocationLock> m_lock;
    AddonStatus m_target;
    std::optional<Settings> m_settings;
    QList<CInstallTransaction::File> m_staged; // what stage() put in the staging folder
};
