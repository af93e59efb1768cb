#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Keeps one add-on location to one command at a time, across every copy of the program (the window, each
// tessaray-cli, a scheduled run). The lock is a QLockFile in the data folder's "locks" folder, named after
// the location's folder, so that two mappings of one folder share it. A holder that crashed leaves a stale
// lock, which the next one takes over.
class CLocationLock
{
public:
    explicit CLocationLock(const QString& addonFolder);
    ~CLocationLock();

    CLocationLock(const CLocationLock&) = delete;
    CLocationLock& operator=(const CLocationLock&) = delete;

    // Takes the lock without waiting. False when another live process (or another command of this one)
    // holds it, or when the lock file can't be made (then `problem` says why; it stays empty when the
    // location is merely busy).
    bool tryLock(QString* problem = nullptr);
    void unlock();
    bool isLocked() const;

    // The lock file's path, for messages and tests.
    QString lockFilePath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
