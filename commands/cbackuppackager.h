#pragma once

#include "commands/cinstallplan.h"
#include "commands/commanderrors.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <atomic>
#include <functional>

// Packs the files of an add-on location that an install would replace into one password-protected backup
// package: the work shared by the backup command and the update's automatic backup.
//
// A package holds every file the installed file mapping names and, for an update, every file the new
// package will overwrite, as far as each exists on disk (so the first update of an add-on keeps the data it
// shipped with). With them goes a marked file mapping, "<add-on GUID>.index.mapping", that lists each of
// them, so that a restore puts back exactly what was there. A file that is there but can't be read (no
// permission, a link that leads nowhere or in a circle) fails the whole backup, naming it: a package is
// complete or not made. Files are read where they are installed, each through one handle from start to
// end; nothing of the user's is renamed or moved. The package is staged beside its name, renamed into place
// only when complete and synced to the disk before the caller records it.
class CBackupPackager
{
public:
    // The error number of a backup that could not be made; a cancel is 8.
    static constexpr int BackupFailed = CommandError::BackupFailed;

    struct Request
    {
        QString addonFolder;
        QUuid addonGuid;
        QString simulator; // short name of the mapping's simulator
        QString packagePath;
        QString password;
        // The files an install is about to write: those that exist on disk are packed as well.
        QList<PlannedFile> incoming;
        // The label when the folder has no installed file mapping to read it from.
        int cycle = 0;
        int revision = 0;
        const std::atomic<bool>* canceled = nullptr;
        // Called at most every 200 ms with (files processed, files in the package).
        std::function<void(qint64, qint64)> pulse;
    };

    struct Result
    {
        QString hash;         // the package's check hash; empty when no package was made
        int errorNumber = 0;  // BackupFailed, or 8 when canceled
        QString errorMessage; // the reason, ready to show
        bool canceled = false;
        bool nothingToBackUp = false; // no file to keep exists: no package, and nothing is at risk
        // The navigation data the package holds: the installed file mapping's, else the request's.
        int cycle = 0;
        int revision = 0;
    };

    static Result create(const Request& request);

    // What the files a backup for `request` would pack take on disk: the most the package needs.
    static qint64 backupSize(const Request& request);

    // Claims a free package name in `folder` for `date` ("<mapping>_<yyyyMMddHHmmss>.bak"), moving `date` on
    // to the next free second when another package has the name: names stay unique, sort by age and read
    // back as their time. An empty file holds the name until the package replaces it (create() removes it
    // when no package is made). The path, or empty with `problem`.
    static QString reservePackage(const QString& folder, const QUuid& mappingGuid, QDateTime* date, QString* problem);
};
