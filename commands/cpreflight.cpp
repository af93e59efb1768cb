#include "cpreflight.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

namespace
{
// File systems round up, and the log and the journal need a little too.
constexpr qint64 margin = 4 * 1024 * 1024;

// The nearest folder of `path` that exists: a folder to be made lies on the volume of its nearest parent.
QString existingAncestor(const QString& path)
{
    QFileInfo info(QDir::cleanPath(path));
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
        info = QFileInfo(info.absolutePath());
    return info.absoluteFilePath();
}
} // namespace

QString CPreflight::sizeText(qint64 bytes)
{
    return QStringLiteral("%0 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}

bool CPreflight::addonFolder(const QString& folder, QString* problem)
{
    const QFileInfo info(folder);
    if (folder.trimmed().isEmpty() || !info.isDir()) {
        *problem = QStringLiteral("the add-on folder %0 no longer exists (was the simulator moved or uninstalled?)")
                       .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return writableFolder(folder, QStringLiteral("add-on folder"), problem);
}

bool CPreflight::writableFolder(const QString& folder, const QString& purpose, QString* problem)
{
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("the %0 %1 can't be created").arg(purpose, QDir::toNativeSeparators(folder));
        return false;
    }
    // Permissions, ACLs and read-only mounts all show in one real attempt.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tessaray-write-test-XXXXXX")));
    if (!probe.open()) {
        *problem = QStringLiteral("the %0 %1 can't be written to (%2)")
                       .arg(purpose, QDir::toNativeSeparators(folder), probe.errorString());
        return false;
    }
    return true;
}

bool CPreflight::freeSpace(const QString& folder, qint64 bytes, const QString& purpose, QString* problem)
{
    const QStorageInfo volume(existingAncestor(folder));
    if (!volume.isValid())
        return true; // nothing to measure; the writes themselves will tell
    const qint64 available = volume.bytesAvailable();
    if (available >= bytes + margin)
        return true;
    *problem =
        QStringLiteral("not enough free space on %0 for the %1: %2 needed, %3 free")
            .arg(QDir::toNativeSeparators(volume.rootPath()), purpose, sizeText(bytes + margin), sizeText(available));
    return false;
}
