#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <functional>

// Packs the files that an add-on's installed file mapping names into one password-protected backup package:
// the work shared by the backup command and the update's automatic backup.
//
// Every file goes into the package under its entry name (the mapping record's source) straight from where it
// is installed; nothing of the user's is renamed or moved. The marked copy of the file mapping goes in as
// "<add-on GUID>.index.mapping". The writer packs on every core and stages the package beside its name,
// renaming it into place only when complete, so a crash or a cancel never leaves a half-written package
// under a package's name.
class CBackupPackager
{
public:
    struct Request
    {
        QString addonFolder;
        QUuid addonGuid;
        QString simulator; // short name of the mapping's simulator
        QString packagePath;
        QString password;
        const std::atomic<bool>* canceled = nullptr;
        // Called at most every 200 ms with (files processed, files in the package).
        std::function<void(qint64, qint64)> pulse;
    };

    struct Result
    {
        QString hash;         // the package's check hash; empty when no package was made
        int errorNumber = 0;  // why not: 9 no simulator, 10 no mapped file, 8 canceled, or a zip code
        QString errorMessage; // the reason, ready to show
        QStringList skipped;  // files that could not be packed ("Unable to compress file %0"), the package
                              // was made without them
        bool canceled = false;
    };

    static Result create(const Request& request);

    // What the installed files of the mapping take on disk: the most a backup of them needs.
    static qint64 installedSize(const QString& addonFolder, const QUuid& addonGuid, const QString& simulator);
};
