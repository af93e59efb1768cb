#include "csingleinstanceguard.h"

#include <QCryptographicHash>
#include <QDir>

#include <limits>

const QString CSingleInstanceGuard::DefaultKey = QStringLiteral("{AE768CB3-FBA5-4F4B-AEEC-3D2492D0A98B}");

QString CSingleInstanceGuard::lockFilePath(const QString& key)
{
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir::temp().filePath(QStringLiteral("tessaray-instance-%1.lock").arg(QString::fromLatin1(digest)));
}

CSingleInstanceGuard::CSingleInstanceGuard(const QString& key)
    : m_key(key)
    , m_lock(std::make_unique<QLockFile>(lockFilePath(key)))
    , m_memory(std::make_unique<QSharedMemory>(key))
{
    // A lock whose process still runs is never stale, however old; one whose process is gone always is.
    m_lock->setStaleLockTime(std::numeric_limits<int>::max());
}

CSingleInstanceGuard::~CSingleInstanceGuard()
{
    // Release the segment before the lock, so the next instance never sees a held lock without a segment.
    m_memory.reset();
    m_lock.reset();
}

CSingleInstanceGuard::Result CSingleInstanceGuard::acquire()
{
    const bool ownsLock = m_lock->tryLock(0);
    const bool lockHeldElsewhere = !ownsLock && m_lock->error() == QLockFile::LockFailedError;

    if (m_memory->attach(QSharedMemory::ReadWrite)) {
        if (!ownsLock)
            return Result::AnotherInstance;
        // Nobody alive holds the lock: the segment was left by a crashed instance. Detaching the last
        // attachment removes it, and we create it anew below.
        m_memory->detach();
        m_tookOver = true;
    } else if (lockHeldElsewhere) {
        // The other instance is between taking the lock and creating the segment.
        return Result::AnotherInstance;
    }

    if (m_memory->create(1, QSharedMemory::ReadWrite))
        return Result::Acquired;
    if (m_memory->error() == QSharedMemory::AlreadyExists) {
        // Someone still holds the segment although the lock was free: a running instance whose lock file
        // was deleted, or one that started in between. Without proof that it is gone, it runs.
        m_tookOver = false;
        return Result::AnotherInstance;
    }
    return Result::Unavailable;
}
