#pragma once

#include <QList>
#include <QString>
#include <QUuid>

// Replaces files of an add-on folder as one step that a crash, a kill or a cancel cannot leave half done.
//
// The new files are first put in a staging folder inside the add-on folder (so that every later rename stays
// on one volume), a folder of this run's own. prepare() then records the plan in a journal beside it, on the
// disk; from that moment the install is decided: commit() swaps each file in with an atomic rename over the
// old one (keeping the old one by a second name for a rollback), so no file is ever missing, and finish()
// drops the journal and the staging folder. A rollback records its direction in the journal before it puts
// the first file back. Whatever a crash interrupts after prepare() is completed by recover() in the direction
// the journal names; a crash before it leaves the old files untouched and a staging folder without a journal,
// which removeAbandoned() discards.
class CInstallTransaction
{
public:
    struct File
    {
        QString staged; // the new file, in the staging folder
        QString target; // where it belongs
    };

    // A new run in `addonFolder`; its staging folder's name is its own, never shared with another run.
    CInstallTransaction(const QString& addonFolder, const QUuid& mappingGuid);

    // How long a file that another program holds open is retried before the swap gives up.
    static constexpr int InUseRetryMilliseconds = 5000;
    // How long a file that can't be put back is retried before the rollback leaves it to the next command.
    static constexpr int PutBackRetryMilliseconds = 2000;

    QString addonFolder() const { return m_folder; }
    QString stagingFolder() const { return m_staging; }
    // The n-th new file's place in the staging folder.
    QString stagedPath(int index) const;
    QString journalPath() const { return m_journal; }

    // The journals of the runs in `addonFolder` that wait to be completed.
    static QStringList pendingJournals(const QString& addonFolder);
    // Completes the run of `journal` in the direction it was going: an install goes on, a rollback goes back.
    // False with `problem` when a file can be neither put in place nor back; the journal and every kept copy
    // then stay for the next try.
    static bool recover(const QString& journal, QString* problem);
    // Removes the staging folders in `addonFolder` of runs that ended or never wrote their journal (a link
    // planted in their place is removed itself, never followed).
    static void removeAbandoned(const QString& addonFolder);

    // One spelling of a place: separators, "." and "..", and a drive letter's case (on Windows every
    // letter's case) don't make two places of one.
    static QString placeKey(const QString& path);
    // Whether `path` lies below `folder`, in whatever spelling each comes.
    static bool isInside(const QString& path, const QString& folder);

    // A fresh, empty staging folder of this run.
    bool begin(QString* problem);
    // Records `files` in the journal; from here on the install completes even after a crash. The staged
    // files must be on the disk already (CDurableFile).
    bool prepare(const QList<File>& files, QString* problem);
    int fileCount() const { return m_files.size(); }
    // Puts file `index` in place.
    bool commit(int index, QString* problem);
    // Puts back every file commit() replaced (or removes one that was new) and drops the journal and the
    // staging folder. False with `problem` when a file could not be put back (it names where the old file
    // is kept) or the rollback could not be recorded; the journal stays then, and recover() finishes.
    bool rollback(QString* problem);
    // Syncs the folders the renames changed, then drops the journal and the staging folder. False with
    // `problem` when the folders can't be synced (the journal then stays for the next command).
    bool finish(QString* problem);

private:
    enum class Direction
    {
        Install,
        Rollback,
    };

    CInstallTransaction() = default;
    void setJournal(const QString& journal);
    QString oldCopyPath(int index) const;
    bool writeJournal(QString* problem);
    bool readJournal(QString* problem);
    bool swapIn(const File& file, QString* problem);
    bool rollForward(QString* problem);
    bool putBack(QString* problem);

    QString m_folder;
    QString m_staging;
    QString m_journal;
    Direction m_direction = Direction::Install;
    bool m_prepared = false;
    QList<File> m_files;
    QList<bool> m_hadOld; // whether the target existed when the journal was written
};
