#pragma once

#include <QMap>
#include <QString>

// Completes, before a command does anything else, the installs and restores that a crash, a kill or a failed
// rollback left pending in the mapped add-on folders, and clears the staging folders of runs that ended. It
// needs only the local mapping list and the disk: nothing is asked of the network first.
class CInstallRecovery
{
public:
    // For every mapped location of the data index, holding the location's lock: completes every pending
    // journal in its folder and removes abandoned staging folders. A location another copy of the program
    // is working on is left to that copy. Returns the folders still pending, each with why.
    static QMap<QString, QString> recoverMappedLocations();

    // The same for one folder whose lock the caller holds. False with `problem` when a journal stays
    // pending (a missing folder has nothing pending).
    static bool recoverFolder(const QString& addonFolder, QString* problem);

    // Why `addonFolder` stayed pending at its last recovery in this program; empty when it did not or
    // none ran.
    static QString lastProblem(const QString& addonFolder);
};
