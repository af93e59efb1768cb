#pragma once

#include <QFile>
#include <QString>

// A file that replaces its target only when it is complete: it is written under a temporary name beside
// the target (".<name>.<random>.part", in the same folder so that the final rename stays on one volume)
// and renamed over the target by commit(). Until then, and after any failure, the target is as it was; a
// crash or kill leaves at most the temporary file, never a half-written target.
//
// Nothing is synced to disk: a process that dies loses nothing this way, and syncing every extracted file
// made unpacking a package twice as slow. A replaced target keeps its permissions; a new one gets the
// usual ones for new files.
class CZipStagedFile
{
public:
    explicit CZipStagedFile(const QString& target);
    // Removes the temporary file unless it was committed.
    ~CZipStagedFile();

    CZipStagedFile(const CZipStagedFile&) = delete;
    CZipStagedFile& operator=(const CZipStagedFile&) = delete;

    // Creates the temporary file, write-only (the folder must exist). False with errorString() set.
    bool open();
    QFile& file() { return m_file; }
    QString stagedPath() const { return m_file.fileName(); }
    // Closes the file and renames it over the target. False with errorString() set when a write or the
    // rename failed (a folder as the target, for one); the temporary file is then removed and the target
    // left as it was.
    bool commit();
    void discard();
    QString errorString() const { return m_error; }

private:
    QString m_target;
    QFile m_file;
    QString m_error;
};
