#pragma once

#include "commands/cqueueable.h"
#include "foundation/clogger.h"

#include <QString>
#include <QUuid>

#include <atomic>
#include <memory>

class CLocationLock;
struct IndexPathInfo;

// What the three add-on commands (update, backup, restore) share: the add-on mapping they work on, how they
// raise an error, and the completion of an install that a crash interrupted.
//
// stop() may be called from any thread (the window's, through the queue): it only raises the cancel flag,
// which the command's loops poll between files.
class CAddonCommand : public CQueueable
{
    Q_OBJECT

public:
    CAddonCommand(QObject* parent, CommandInfo* info);
    ~CAddonCommand() override;

    QUuid addonGuid() const { return m_addonGuid; }
    QUuid mappingGuid() const { return m_mappingGuid; }
    bool isCanceled() const { return m_canceled.load(); }

    // Takes the lock of the mapped location without a word when it is free (see holdLocation()).
    bool reserve() override;

public slots:
    void stop() override;

protected:
    // The mapped location of the command in the data index, or null.
    IndexPathInfo* mappedLocation() const;
    // The short name of the mapping's simulator ("FSX", "XP11" ...); empty when the mapping is unknown.
    QString simulator() const;

    // Completes an install or restore of this mapping that a crash interrupted, before anything else is done
    // in `addonFolder`. False after reporting the error when it can't be completed.
    bool completeInterruptedInstall(const QString& addonFolder);

    // Installs `files` of `package` below `addonFolder` as one install (CInstallTransaction): every file is
    // extracted into the staging folder first, then all go in place, with `mapping` (the package's file
    // mapping) becoming the installed one. Pulses (files done, files) and polls the cancel flag; a cancel or
    // a failure puts everything back. False after raising why; `done` words the result ("installed",
    // "restored"), and failures are raised at `failureLevel`.
    bool installFromPackage(class UnZip& package, const QList<struct PlannedFile>& files, const QString& mapping,
                            const QString& addonFolder, const QString& done, int failureLevel);

    // Rolls `transaction` back and raises why the install ended (`problem`, or the cancel); when a file
    // could not be put back, the error says so and where the old file is kept. Returns false.
    bool undoInstall(class CInstallTransaction& transaction, const QString& problem, const QString& done,
                     int failureLevel);

    // Logs the error, makes it the command's last one and emits it (build it with BV_EXCEPTION, which
    // records where it was raised).
    void raise(const Exception& error);

    // The first step of every run: holds the lock of the mapped location (CLocationLock) for the rest of the
    // command, so that no other command of any copy of the program works on the same folder meanwhile. When
    // another one does, raises "another copy of the program is working on <add-on>" (LocationBusy) and
    // returns false; the command then ends without touching anything. A mapping that is not known has
    // nothing to protect: true, and the command reports the unknown mapping itself. Once it holds the lock,
    // removes what earlier runs of the location left behind (CLeftovers).
    bool holdLocation();
    void releaseReservation() override;

    std::atomic<bool> m_canceled{false};

private:
    std::unique_ptr<CLocationLock> m_lock;
    QUuid m_addonGuid;
    QUuid m_mappingGuid;
};
