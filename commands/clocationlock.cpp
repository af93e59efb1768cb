#include "clocationlock.h"

#include "foundation/cdatalocations.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace
{
// One spelling per folder: separators, dots and (on Windows, where the drive letter and every name come in
// either case) letter case must not make two locks for one place.
QString folderKey(const QString& addonFolder)
{
    QString key = QDir::cleanPath(QDir::fromNativeSeparators(addonFolder.trimmed()));
#ifdef Q_OS_WIN
    key = key.toLower();
#endif
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
}
} // namespace

CLocationLock::CLocationLock(const QString& addonFolder)
    : m_path(
          CDataLocations::joinPath(CDataLocations::joinPath(CDataLocations::dataDirectory(), QStringLiteral("locks")),
                                   folderKey(addonFolder) + QStringLiteral(".lock")))
    , m_lock(std::make_unique<QLockFile>(m_path))
{
    // A holder that lives is never taken over, however long it works: only a dead one's lock is stale.
    m_lock->setStaleLockTime(0);
}

CLocationLock::~CLocationLock() = default;

bool CLocationLock::tryLock(QString* problem)
{
    if (m_lock->isLocked())
        return true;
    // A folder that can't be made shows as a lock that can't be made, below.
    const bool folderMade = QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (folderMade && m_lock->tryLock(0))
        return true;
    if (problem && (!folderMade || m_lock->error() != QLockFile::LockFailedError))
        *problem = QStringLiteral("the lock file %0 can't be made").arg(QDir::toNativeSeparators(m_path));
    return false;
}

void CLocationLock::unlock()
{
    m_lock->unlock();
}

bool CLocationLock::isLocked() const
{
    return m_lock->isLocked();
}
