#pragma once

#include <QLockFile>
#include <QSharedMemory>
#include <QString>

#include <memory>

// Keeps a second copy of the program from running on the machine: a 1-byte named shared-memory segment
// that the running instance holds.
//
// On Linux and macOS a segment outlives a process that crashed or was killed, which would lock the user
// out for good. A lock file beside it tells a live holder from a dead one: the lock is held only while
// its process lives, so a segment found while the lock is free is left over and is taken over. When the
// segment outlives that attempt (its holder runs, but its lock file was deleted), another instance runs.
class CSingleInstanceGuard
{
public:
    enum class Result
    {
        Acquired,        // this process is the only instance
        AnotherInstance, // a live instance holds the segment
        Unavailable,     // the segment could be neither attached nor created
    };

    static const QString DefaultKey; // "{AE768CB3-FBA5-4F4B-AEEC-3D2492D0A98B}"

    explicit CSingleInstanceGuard(const QString& key = DefaultKey);
    ~CSingleInstanceGuard();

    Result acquire();
    QString key() const { return m_key; }
    // The lock file beside the segment of `key`, in the temporary folder.
    static QString lockFilePath(const QString& key);
    // True when acquire() found a segment left by an instance that no longer runs.
    bool tookOverStaleSegment() const { return m_tookOver; }

private:
    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QSharedMemory> m_memory;
    bool m_tookOver = false;
};
