// tessaray-cli backups | restore: the backup packages of a location, and putting one back.

#include "cli/cclicommand.h"
#include "cli/cclisession.h"
#include "cli/cjobcli.h"
#include "commands/cbackuplist.h"
#include "webservices/cuser.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace
{
using CCliSession::label;
using CCliSession::note;

const QString locationSyntax =
    QStringLiteral("ADDON is an add-on's GUID or name (any letter case; a unique prefix is enough), MAPPING a\n"
                   "mapping GUID or a simulator (XP11, FSX, ...), needed when the add-on has several locations.");

// The location's packages that can be restored, oldest first; the damaged ones are named on stderr. False
// after saying why the list can't be read.
bool restorableBackups(const AddonStatus& location, QList<AddonBackupInfo>* backups)
{
    Exception error;
    QList<AddonBackupInfo> recorded;
    if (!CBackupList::of(location.addonGuid, location.mappingGuid, &recorded, &error)) {
        CCli::printError(error.errorNumber, error.message);
        return false;
    }
    for (const AddonBackupInfo& backup : qAsConst(recorded)) {
        QString problem;
        if (CBackupList::isRestorable(backup, CUser::instance()->userId(), &problem))
            backups->append(backup);
        else
            note(QStringLiteral("skipped, damaged backup %0: %1").arg(QDir::toNativeSeparators(backup.path), problem));
    }
    return true;
}

int runBackups(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("backups ADDON [MAPPING]\n\n"
                       "The location's backup packages that can be restored, oldest first: cycle, revision, date and\n"
                       "package path, tab-separated. Each is checked whole with the account's password; a damaged\n"
                       "one is named on stderr and left out. Works offline, with the stored log-in.\n") +
        locationSyntax);
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty() || positional.size() > 2)
        return CCli::usageError(parser, QStringLiteral("Give ADDON [MAPPING]."));
    if (!CCliSession::signIn(false) || !CCliSession::loadIndex(false))
        return CCli::Failure;
    const QList<AddonStatus> targets =
        CCliSession::selectTargets(false, positional, CCliSession::Select::OneAtMost, &status);
    QList<AddonBackupInfo> backups;
    if (targets.isEmpty())
        return status;
    if (!restorableBackups(targets.first(), &backups))
        return CCli::Failure;
    for (const AddonBackupInfo& backup : qAsConst(backups))
        CCli::printLine(QStringList{QString::number(backup.cycle), QString::number(backup.revision),
                                    backup.date.toString(Qt::ISODate), QDir::toNativeSeparators(backup.path)}
                            .join(QLatin1Char('\t')));
    if (backups.isEmpty())
        note(QStringLiteral("%0 has no backup that can be restored.").arg(label(targets.first())));
    return CCli::Success;
}

int runRestore(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("restore (--all | ADDON [MAPPING]) (--latest | --package FILE) [--to-folder]\n\n"
                       "Puts a backup package back into the add-on's folder (checked and extracted whole before a\n"
                       "file is replaced), or with --to-folder extracts it into a new folder of its own for each\n"
                       "location and prints it. --all --latest rolls every mapped location back to its newest\n"
                       "backup. Needs the web service, which confirms the account the packages belong to.\n") +
        locationSyntax);
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Every mapped location."));
    const QCommandLineOption latest(QStringLiteral("latest"), QStringLiteral("The newest backup of each location."));
    const QCommandLineOption package(QStringLiteral("package"), QStringLiteral("The backup package to restore."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption toFolder(
        QStringLiteral("to-folder"),
        QStringLiteral("Extract into a new folder and show it; the add-on stays untouched."));
    parser.addOptions({all, latest, package, toFolder});
    int status = CCli::Success;
    if (!CCliSession::parseAddonArguments(parser, arguments, all, &status))
        return status;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(latest) == parser.isSet(package))
        return CCli::usageError(parser, QStringLiteral("Give --latest or --package FILE."));
    if (parser.isSet(all) && parser.isSet(package))
        return CCli::usageError(parser, QStringLiteral("--all restores the newest backups only (--latest)."));
    CCliSession::recoverFirst();
    if (!CCliSession::isServiceReachable()) {
        CCli::printError(16, QStringLiteral("Could not perform restore. Unable to connect to server to verify user "
                                            "identity."));
        return CCli::Failure;
    }
    if (!CCliSession::signIn(true) || !CCliSession::loadIndex(false))
        return CCli::Failure;
    const QList<AddonStatus> targets = CCliSession::selectTargets(
        parser.isSet(all), positional,
        parser.isSet(package) ? CCliSession::Select::OneAtMost : CCliSession::Select::Any, &status);
    if (targets.isEmpty())
        return status;

    QList<Job> jobs;
    bool missing = false;
    for (const AddonStatus& target : targets) {
        Job job{CommandInfo(target.addonGuid, target.mappingGuid, Restore),
                target,
                {},
                parser.isSet(toFolder) ? 2 : 1,
                false};
        if (parser.isSet(package)) {
            job.backup = CBackupList::fromFile(target.addonGuid, target.mappingGuid, parser.value(package));
            if (!QFileInfo(job.backup.path).isFile()) {
                CCli::printError(
                    1, QStringLiteral("There is no backup package %0.").arg(QDir::toNativeSeparators(job.backup.path)));
                return CCli::Failure;
            }
        } else {
            QList<AddonBackupInfo> backups;
            if (!restorableBackups(target, &backups))
                return CCli::Failure;
            if (backups.isEmpty()) {
                if (parser.isSet(all)) {
                    note(QStringLiteral("skipped, no backup that can be restored: %0").arg(label(target)));
                } else {
                    CCli::printError(1, QStringLiteral("%0 has no backup that can be restored.").arg(label(target)));
                    missing = true;
                }
                continue;
            }
            job.backup = backups.last();
        }
        jobs.append(job);
    }
    const int result = CJobCli::run(jobs);
    return missing ? CCli::Failure : result;
}

const CCliCommandRegistration backupsRegistration(
    {QStringLiteral("backups"), QStringLiteral("List the backups of a location: backups ADDON [MAPPING]"), runBackups});
const CCliCommandRegistration
    restoreRegistration({QStringLiteral("restore"),
                         QStringLiteral("Put a backup back: restore (--all | ADDON [MAPPING]) --latest"), runRestore});

} // namespace
