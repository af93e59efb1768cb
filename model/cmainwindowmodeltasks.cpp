// The model's commands: from an item's button to a queued job, and the job's course to the item's texts.
#include "cmainwindowmodel.h"
#include "commands/cbackuplist.h"
#include "commands/commanderrors.h"
#include "dataindex/cdataindex.h"
#include "dataindex/csimulators.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cbackgroundwork.h"
#include "model/cmappingfiles.h"
#include "model/ctasktexts.h"

#include <QDir>

void CMainWindowModel::onCommandButtonClicked(const CommandButtonClickedInfo& info)
{
    const QString addon = info.addonGuid.toString(), mapping = info.mappingGuid.toString();
    BV_LOG(1, QStringLiteral("Command button clicked: addonguid = %0, mappingguid = %1").arg(addon, mapping));
    if (info.type == Modify) {
        modifyMappedAddon(info.addonGuid, info.mappingGuid);
        return;
    }
    if (info.type == Remove) {
        removeMappedAddonFromInterface(info.addonGuid, info.mappingGuid);
        return;
    }
    if (info.type < Update || info.type > Remove)
        return;
    if (info.type == Restore && info.restoreMode != 1 && info.restoreMode != 2)
        return;
    if (m_offline && info.type == Update) {
        m_view->addMessage(6, tr("Updating needs the Brelvar web service, which can't be reached now. Please try "
                                 "again when the connection is back."));
        return;
    }
    const Job job{CommandInfo(info.addonGuid, info.mappingGuid, info.type),
                  CAddonStatus::fromIndex(info.addonGuid, info.mappingGuid), info.backup, info.restoreMode, false};
    BV_LOG(1, QStringLiteral("command button pressed: addon guid = %0, mapping guid = %1").arg(addon, mapping));
    if (!m_runner.add(job)) {
        BV_LOG(6, QStringLiteral("task add failed. Already in the queue or running."));
        return;
    }
    BV_LOG(1, QStringLiteral("task [addon guid =%0, mapping guid = %1] started").arg(addon, mapping));
    BV_LOG(1, QStringLiteral("Connect command: addonGuid=%0, amppingGuid=%1").arg(addon, mapping));
}

void CMainWindowModel::setActivity(const Job& job, const QString& text, bool visible, int code)
{
    m_view->setLoadingIconVisible(ItemActivity{job.info.addonGuid, job.info.mappingGuid, text, visible, code, 0});
}

void CMainWindowModel::onJobWaiting(const Job& job, CommandPhase phase, bool busyElsewhere)
{
    if (phase == CommandPhase::Other)
        phase = CTaskTexts::firstPhase(job.info.type);
    const QString text = busyElsewhere ? tr("Waiting for another copy of the program...") : CTaskTexts::waiting(phase);
    setActivity(job, text, true, int(phase) + 1024);
}

void CMainWindowModel::onJobStarted(const Job& job, CommandPhase phase)
{
    const QString addon = job.info.addonGuid.toString(), mapping = job.info.mappingGuid.toString();
    const QString type = QString::number(job.info.type);
    BV_LOG(1, QStringLiteral("Prepare to start task for addon %0, mapping %1. Task is %2.").arg(addon, mapping, type));
    if (phase == CommandPhase::Other)
        phase = CTaskTexts::firstPhase(job.info.type);
    QString text = CTaskTexts::running(phase);
    if (job.target.isMapped())
        text += QStringLiteral(" (%0, %1)").arg(job.target.simulator, job.target.folder);
    setActivity(job, text, true, int(phase));
    BV_LOG(1, QStringLiteral("task [addon guid =%0, mapping guid = %1] started.").arg(addon, mapping));
    BV_LOG(1, QStringLiteral("Task for addon %0, mapping %1 started. Task is %2.").arg(addon, mapping, type));
}

void CMainWindowModel::onJobProgress(const Job& job, const CommandProgress& progress)
{
    m_view->setItemProgress(job.info.addonGuid, job.info.mappingGuid,
                            CTaskTexts::progressLine(job.target.name, progress),
                            progress.preparing ? QString() : CTaskTexts::shortText(progress), progress.percent());
}

void CMainWindowModel::onJobError(const Job& job, const Exception& error)
{
    BV_LOG(6, QStringLiteral("Task error received. See line below for information"));
    CLogger::logException(error);
    if (error.errorNumber == 8)
        BV_LOG(6, QStringLiteral("Task error: user canceled"));
    // Number 12 is the session's end only where the service refuses the token an update asks its download
    // address with (level 6). Everywhere else it says that nothing was updated or restored, and the record
    // itself explains why.
    const bool sessionExpired = job.info.type == Update && error.errorNumber == 12 && error.errorLevel == 6;
    if (sessionExpired)
        m_view->addMessage(7, tr("Your session is expired. Please quit the program and login again."));
    if (error.errorLevel == 5 || error.errorLevel == 7 || error.errorLevel == 8) {
        BV_LOG(6, QStringLiteral("Task error received"));
        if (!sessionExpired)
            displayMessage(error);
    }
}

void CMainWindowModel::onJobFinished(const Job& job, const JobReport& report)
{
    const QString addon = job.info.addonGuid.toString(), mapping = job.info.mappingGuid.toString();
    BV_LOG(1, QStringLiteral("Task completed. Prepare to cleanup..."));
    BV_LOG(1, QStringLiteral("Task for addon %0, mapping %1 finished. Task is %2.")
                  .arg(addon, mapping, QString::number(job.info.type)));
    BV_LOG(1, QStringLiteral("Set status for interface."));
    // Also after a backup: the location's list of backups changed.
    updateAddonStatus(job.info.addonGuid, job.info.mappingGuid, &report);
    const bool viewed = job.info.type == Restore && job.restoreMode == 2;
    // The file browser may not open (no desktop session): the message says where the files are either way.
    if (viewed && report.result.succeeded() && !report.extractedFolder.isEmpty())
        m_view->addMessage(3, tr("The backup of %0 has been extracted to %1.")
                                  .arg(job.target.name.toHtmlEscaped(),
                                       QDir::toNativeSeparators(report.extractedFolder).toHtmlEscaped()));
    setActivity(job, tr("Processing %0").arg(job.target.name), false, 0);
    BV_LOG(1, QStringLiteral("User interface set."));
    BV_LOG(1, QStringLiteral("task for [addon guid =%0, mapping guid = %1] finished.").arg(addon, mapping));
    BV_LOG(1, QStringLiteral("Cleanup completed."));

    // The automatic backup could not be made, so nothing was installed: the user may go on without one.
    if (job.info.type == Update && !job.skipBackup && report.result.error.errorNumber == CommandError::BackupFailed &&
        CSettings::boolValue(SettingsKey::AutoBackup)) {
        const int answer = m_view->question(
            tr("Backup failed"),
            tr("The automatic backup of %0 could not be made:\n%1\n\nWould you like to install the update without a "
               "backup?")
                .arg(job.target.name, report.result.error.message),
            {tr("Yes"), tr("No")});
        if (answer == 0) {
            Job again = job;
            again.skipBackup = true;
            again.target = CAddonStatus::fromIndex(job.info.addonGuid, job.info.mappingGuid);
            m_runner.add(again);
        }
    }
}

void CMainWindowModel::removeCommand(const CommandInfo& info)
{
    const QString addon = info.addonGuid.toString(), mapping = info.mappingGuid.toString();
    if (m_runner.cancel(info))
        BV_LOG(1, QStringLiteral("Command removed. addon guid= %0, mapping guid = %1").arg(addon, mapping));
    else
        BV_LOG(
            6,
            QStringLiteral("Command removal returns a failure. addon guid= %0, mapping guid = %1").arg(addon, mapping));
}

QList<AddonBackupInfo> CMainWindowModel::queryBackupItems(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Querying backup items"));
    m_backupMenuKey = itemKey(addonGuid, mappingGuid);
    readLocations({indexLocation(addonGuid, mappingGuid)}, Read::Query);
    BV_LOG(1, QStringLiteral("Backup items processed"));
    return m_backups.value(m_backupMenuKey);
}

bool CMainWindowModel::removeBackup(const AddonBackupInfo& backup)
{
    struct Removal
    {
        bool removed = false;
        Exception error;
    };
    if (backup.path.isEmpty())
        return false;
    keep(runInBackground<Removal>(
        this, QStringLiteral("backup removal"),
        [backup]() {
            Removal removal;
            removal.removed = CBackupList::remove(backup, &removal.error);
            return removal;
        },
        [this, backup](const Removal& removal) {
            if (removal.removed) {
                displayMessage(tr("Backup removed"), tr("Your selected backup has been removed."));
            } else {
                CLogger::logException(removal.error);
                displayMessage(tr("Backup not removed"),
                               tr("Your selected backup could not be removed. Please try again later."));
            }
            readLocations({indexLocation(backup.addonGuid, backup.mappingGuid)}, Read::Query);
        }));
    return true;
}

void CMainWindowModel::clearLog()
{
    for (const QString& removed : CMappingFiles::clearLog())
        BV_LOG(1, QStringLiteral("Removing file: %0").arg(removed));
}

void CMainWindowModel::displayMessage(const QString& title, const QString& content)
{
    if (content.isEmpty())
        return;
    BV_LOG(1, QStringLiteral("Display message: [title] %0 [content] %1").arg(title, content));
    m_view->addMessage(1, tr("<b>%0</b>: %1").arg(title, content));
}

void CMainWindowModel::displayMessage(const Exception& ex)
{
    BV_LOG(1, QStringLiteral("Display message: %0").arg(ex.message));
    m_view->addMessage(ex.errorLevel, ex.message);
}

QString CMainWindowModel::getServerAddress()
{
    BV_LOG(1, QStringLiteral("Try to get server address"));
    QString address = CSettings::stringValue(SettingsKey::ServerAddress);
    if (!address.endsWith(QLatin1Char('/')))
        address += QLatin1Char('/');
    return address;
}
