#include "cleftovers.h"

#include "commands/cioutils.h"
#include "commands/cpreflight.h"
#include "downloader/chttpdownloadhelper.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "platform/csafefolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace
{
constexpr int probeAgeSeconds = 60;

// Removes the entries of `folder` whose names match `patterns`; files only unless `folders`.
void removeMatching(const QString& folder, const QStringList& patterns, bool folders, int minimumAgeSeconds = 0)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-minimumAgeSeconds);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(patterns, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (minimumAgeSeconds > 0 && entry.lastModified() > before)
            continue;
        if (entry.isDir() && !entry.isSymLink() && !folders)
            continue;
        QString problem;
        if (CSafeFolder::remove(entry.filePath(), &problem))
            BV_LOG(
                1,
                QStringLiteral("Removed %0, left by an earlier run.").arg(QDir::toNativeSeparators(entry.filePath())));
        else
            BV_LOG(5, QStringLiteral("What an earlier run left can't be removed: %0.").arg(problem));
    }
}
// Whether the user's private folder is the program's own: behind a link, nothing in it is swept.
bool privateRootIsOwn()
{
    const QString root = CIOUtils::privateRoot();
    return !CSafeFolder::isLink(root) && !CSafeFolder::isLink(QFileInfo(root).absolutePath());
}
} // namespace

void CLeftovers::sweepLocation(const QUuid& mappingGuid, const QString& addonFolder, const QString& backupFolder)
{
    const QString mapping = mappingGuid.toString(QUuid::WithoutBraces);
    removeMatching(addonFolder, {CPreflight::probePattern()}, false);
    removeMatching(backupFolder, {CPreflight::probePattern()}, false, probeAgeSeconds);
    removeMatching(backupFolder,
                   {QLatin1Char('.') + mapping + QStringLiteral("_*.part"), mapping + QStringLiteral("_*.mapping")},
                   false);
    if (!privateRootIsOwn())
        return;
    // A download folder without a journal holds nothing to resume: a package whose run ended (the engine
    // fetches a package anew each time), or what a killed run left before the download began.
    const QString downloads = CDataLocations::joinPath(CIOUtils::downloadRoot(), mapping);
    const bool resumable = QFileInfo::exists(CDataLocations::joinPath(downloads, CHttpDownloadHelper::FileName));
    if (!CSafeFolder::isLink(CIOUtils::downloadRoot())) {
        if (CSafeFolder::isLink(downloads) || (QFileInfo(downloads).isDir() && !resumable))
            removeMatching(CIOUtils::downloadRoot(), {mapping}, true);
        else
            removeMatching(downloads, {CPreflight::probePattern()}, false);
    }
    if (!CSafeFolder::isLink(CIOUtils::temporaryRoot()))
        removeMatching(CIOUtils::temporaryRoot(), {mapping + QLatin1Char('*')}, true);
}

void CLeftovers::sweepAbandoned(const QList<QUuid>& mapped)
{
    if (!privateRootIsOwn())
        return;
    QSet<QString> names;
    for (const QUuid& guid : mapped)
        names.insert(guid.toString(QUuid::WithoutBraces));
    for (const QString& root : {CIOUtils::downloadRoot(), CIOUtils::temporaryRoot()}) {
        if (!QFileInfo(root).isDir() || CSafeFolder::isLink(root))
            continue;
        const QStringList entries = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QStringList abandoned;
        for (const QString& entry : entries) {
            // A mapping's folders begin with its GUID text (36 characters).
            if (!names.contains(entry.left(36)))
                abandoned.append(entry);
        }
        for (const QString& entry : qAsConst(abandoned)) {
            QString problem;
            const QString path = CDataLocations::joinPath(root, entry);
            if (CSafeFolder::remove(path, &problem))
                BV_LOG(1, QStringLiteral("Removed %0 of a mapping that no longer exists.")
                              .arg(QDir::toNativeSeparators(path)));
            else
                BV_LOG(
                    5,
                    QStringLiteral("A folder of a mapping that no longer exists can't be removed: %0.").arg(problem));
        }
    }
}
