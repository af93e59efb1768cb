#include "cinstallrecovery.h"

#include "commands/cinstalltransaction.h"
#include "commands/clocationlock.h"
#include "dataindex/cdataindex.h"
#include "foundation/clogger.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace
{
// The window asks for a reason from its own thread while a command's thread recovers.
QMutex problemsMutex;
QMap<QString, QString> problems; // by CInstallTransaction::placeKey

void remember(const QString& folder, const QString& problem)
{
    QMutexLocker locker(&problemsMutex);
    if (problem.isEmpty())
        problems.remove(CInstallTransaction::placeKey(folder));
    else
        problems.insert(CInstallTransaction::placeKey(folder), problem);
}
} // namespace

bool CInstallRecovery::recoverFolder(const QString& addonFolder, QString* problem)
{
    QStringList failures;
    if (QFileInfo(addonFolder).isDir()) {
        for (const QString& journal : CInstallTransaction::pendingJournals(addonFolder)) {
            QString reason;
            if (!CInstallTransaction::recover(journal, &reason)) {
                BV_LOG(7, QStringLiteral("An interrupted install in %0 could not be completed: %1.")
                              .arg(QDir::toNativeSeparators(addonFolder), reason));
                failures.append(reason);
            }
        }
        CInstallTransaction::removeAbandoned(addonFolder);
    }
    remember(addonFolder, failures.join(QStringLiteral("; ")));
    if (failures.isEmpty())
        return true;
    *problem = failures.join(QStringLiteral("; "));
    return false;
}

QMap<QString, QString> CInstallRecovery::recoverMappedLocations()
{
    QMap<QString, QString> pending;
    QMap<QString, QString> folders; // by place, so that two mappings of one folder are done once
    for (const IndexInfo* addon : CDataIndex::instance()->mappedAddons()) {
        for (const IndexPathInfo* location : addon->paths)
            folders.insert(CInstallTransaction::placeKey(location->directory), location->directory);
    }
    for (const QString& folder : qAsConst(folders)) {
        if (!QFileInfo(folder).isDir())
            continue;
        CLocationLock lock(folder);
        QString problem;
        if (!lock.tryLock(&problem)) {
            // Without the lock nothing here is touched; a journal left pending is reported with why.
            if (!CInstallTransaction::pendingJournals(folder).isEmpty()) {
                if (problem.isEmpty())
                    problem = QStringLiteral("another copy of the program is working on it");
                remember(folder, problem);
                pending.insert(folder, problem);
            }
            continue;
        }
        if (!recoverFolder(folder, &problem))
            pending.insert(folder, problem);
    }
    return pending;
}

QString CInstallRecovery::lastProblem(const QString& addonFolder)
{
    QMutexLocker locker(&problemsMutex);
    return problems.value(CInstallTransaction::placeKey(addonFolder));
}
