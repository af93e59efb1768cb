#pragma once

#include <QList>
#include <QString>
#include <QUuid>

// Replaces files of an add-on folder as one step that a crash, a kill or a cancel cannot leave half done.
//
// The new files are first put in a staging folder inside the add-on folder (so that every later rename stays
// on one volume). prepare() then records the plan in a journal beside it; from that moment the install is
// decided: commit() swaps each file in with an atomic rename over the old one (keeping the old one by a
// second name for a cancel), so no file is ever missing, and finish() drops the journal and the staging
// folder. A cancel rolls back what was swapped. A crash after prepare() is completed by recover() at the
// next start of a command for the mapping; a crash before it leaves the old files untouched and a staging
// folder that the next begin() discards.
class CInstallTransaction
{
public:
    struct File
    {
        QString staged; // the new file, in the staging folder
        QString target; // where it belongs
    };

    CInstallTransaction(const QString& addonFolder, const QUuid& mappingGuid);

    // How long a file that another program holds open is retried before the swap gives up.
    static constexpr int InUseRetryMilliseconds = 5000;

    QString stagingFolder() const { return m_staging; }
    // The n-th new file's place in the staging folder.
    QString stagedPath(int index) const;
    QString journalPath() const { return m_journal; }

    // Whether an interrupted install of this mapping waits to be completed.
    bool isPending() const;
    // Completes an interrupted install: the files still staged go in place. False with `problem` when a
    // file can be neither found staged nor found in place.
    bool recover(QString* problem);

    // A fresh, empty staging folder (leftovers of an install that never reached prepare() are dropped).
    bool begin(QString* problem);
    // Records `files` in the journal; from here on the install completes even after a crash.
    bool prepare(const QList<File>& files, QString* problem);
    int fileCount() const { return m_files.size(); }
    // Puts file `index` in place.
    bool commit(int index, QString* problem);
    // Puts back every file commit() replaced (or removes one that was new), then discards the staging.
    void rollback();
    // Drops the journal, the kept old files and the staging folder.
    void finish();

private:
    QString oldCopyPath(int index) const;
    bool readJournal(QString* problem);
    bool swapIn(const File& file, QString* problem);

    QString m_staging;
    QString m_journal;
    QList<File> m_files;
    QList<bool> m_hadOld;
    int m_committed = 0;
};
