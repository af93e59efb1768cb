// tessaray-cli status | update | backup: where the mapped locations stand, and the commands that change them,
// run through the job runner exactly as the window runs them.

#include "cli/cclicommand.h"
#include "cli/cclisession.h"
#include "cli/cjobcli.h"
#include "foundation/csettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
using CCliSession::label;
using CCliSession::note;

QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

// "2401/3"; "-" for nothing.
QString edition(int cycle, int revision)
{
    return cycle > 0 ? QStringLiteral("%0/%1").arg(cycle).arg(revision) : QStringLiteral("-");
}

const QString addonSyntax = QStringLiteral(
    "ADDON is an add-on's GUID or name (any letter case; a unique prefix is enough), MAPPING a mapping GUID\n"
    "or a simulator (XP11, FSX, ...); without MAPPING every location of the add-on is meant.");

int runStatus(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("status [--json] [--no-index-update]\n\n"
                       "Every mapped location, one a line: name, simulator, installed and current cycle/revision,\n"
                       "state (updated | outdated | restored | not installed | missing | unsupported |\n"
                       "interrupted: why), folder, add-on GUID and mapping GUID, tab-separated. Works offline: the\n"
                       "data index is brought up to date only when the web service answers."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    const QCommandLineOption noIndexUpdate(QStringLiteral("no-index-update"),
                                           QStringLiteral("Use the local data index; don't ask the web service."));
    parser.addOptions({json, noIndexUpdate});
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return CCli::usageError(parser, QStringLiteral("'status' takes no arguments."));
    CCliSession::recoverFirst();
    if (!CCliSession::loadIndex(!parser.isSet(noIndexUpdate) && CCliSession::isServiceReachable()))
        return CCli::Failure;

    const QList<AddonStatus> list = CAddonStatus::all();
    if (list.isEmpty())
        note(QStringLiteral("No add-on is mapped yet; 'tessaray-cli scan --save' finds them."));
    QJsonArray documents;
    QStringList lines;
    for (const AddonStatus& item : list) {
        if (parser.isSet(json)) {
            documents.append(QJsonObject{{QStringLiteral("name"), item.name},
                                         {QStringLiteral("simulator"), item.simulator},
                                         {QStringLiteral("installedCycle"), item.installedCycle},
                                         {QStringLiteral("installedRevision"), item.installedRevision},
                                         {QStringLiteral("currentCycle"), item.currentCycle},
                                         {QStringLiteral("currentRevision"), item.currentRevision},
                                         {QStringLiteral("status"), item.stateText()},
                                         {QStringLiteral("reason"), item.reason},
                                         {QStringLiteral("folder"), QDir::toNativeSeparators(item.folder)},
                                         {QStringLiteral("addonGuid"), guidText(item.addonGuid)},
                                         {QStringLiteral("mappingGuid"), guidText(item.mappingGuid)}});
            continue;
        }
        const QString state =
            item.reason.isEmpty() ? item.stateText() : QStringLiteral("%0: %1").arg(item.stateText(), item.reason);
        lines.append(QStringList{item.name, item.simulator, edition(item.installedCycle, item.installedRevision),
                                 edition(item.currentCycle, item.currentRevision), state,
                                 QDir::toNativeSeparators(item.folder), guidText(item.addonGuid),
                                 guidText(item.mappingGuid)}
                         .join(QLatin1Char('\t')));
    }
    if (parser.isSet(json))
        CCli::printLine(QString::fromUtf8(QJsonDocument(documents).toJson(QJsonDocument::Indented).trimmed()));
    else if (!lines.isEmpty())
        CCli::printLine(lines.join(QLatin1Char('\n')));
    return CCli::Success;
}

// Why an update named explicitly would do nothing useful; empty when it goes ahead.
QString refusal(const AddonStatus& target)
{
    switch (target.state) {
    case AddonStatus::Missing:
        return QStringLiteral("its folder %0 is missing").arg(QDir::toNativeSeparators(target.folder));
    case AddonStatus::Restored:
        return QStringLiteral("it holds a restored backup; 'update --force' installs the current data over it");
    default:
        return target.supported ? QString() : QStringLiteral("the data index no longer lists it");
    }
}

int runUpdate(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("update (--all | ADDON [MAPPING]) [--force] [--no-backup] [--no-index-update]\n\n"
                       "Downloads and installs the current data of the mapped locations; --all takes every one\n"
                       "that is outdated, not installed or interrupted. What is current is skipped unless --force.\n") +
        addonSyntax);
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Every mapped location that needs it."));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Install again what is current or restored."));
    const QCommandLineOption noBackup(
        QStringLiteral("no-backup"), QStringLiteral("Install without the automatic backup, even when it is on (after a "
                                                    "backup failed)."));
    const QCommandLineOption noIndexUpdate(QStringLiteral("no-index-update"),
                                           QStringLiteral("Use the local data index; don't ask the web service."));
    parser.addOptions({all, force, noBackup, noIndexUpdate});
    int status = CCli::Success;
    if (!CCliSession::parseAddonArguments(parser, arguments, all, &status))
        return status;
    const QStringList positional = parser.positionalArguments();
    CCliSession::recoverFirst();
    if (!CCliSession::isServiceReachable()) {
        CCli::printError(16, QStringLiteral("No Internet connection, update canceled. (The web service at %0 "
                                            "can't be reached.)")
                                 .arg(CSettings::stringValue(SettingsKey::ServerAddress)));
        return CCli::Failure;
    }
    if (!CCliSession::signIn(true) || !CCliSession::loadIndex(!parser.isSet(noIndexUpdate)))
        return CCli::Failure;
    const QList<AddonStatus> targets =
        CCliSession::selectTargets(parser.isSet(all), positional, CCliSession::Select::Any, &status);
    if (targets.isEmpty())
        return status;

    QList<Job> jobs;
    bool refused = false;
    for (const AddonStatus& target : targets) {
        const bool wanted =
            parser.isSet(force) ? target.supported && target.state != AddonStatus::Missing : target.needsUpdate();
        if (!wanted && parser.isSet(all)) {
            note(QStringLiteral("skipped, %0: %1").arg(target.stateText(), label(target)));
            continue;
        }
        if (!wanted && !refusal(target).isEmpty()) {
            CCli::printError(1, QStringLiteral("%0 was not updated: %1.").arg(label(target), refusal(target)));
            refused = true;
            continue;
        }
        if (!wanted) {
            note(QStringLiteral("skipped, %0: %1 (--force installs it again)").arg(target.stateText(), label(target)));
            continue;
        }
        Job job{CommandInfo(target.addonGuid, target.mappingGuid, Update), target, {}, 1, parser.isSet(noBackup)};
        jobs.append(job);
    }
    const int result = CJobCli::run(jobs);
    return refused ? CCli::Failure : result;
}

int runBackup(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("backup (--all | ADDON [MAPPING])\n\n"
                       "Packs the installed files of the mapped locations into password-protected backup packages\n"
                       "in the backup folder and records them in backup.index. Works offline, with the stored\n"
                       "log-in.\n") +
        addonSyntax);
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Every mapped location with installed files."));
    parser.addOption(all);
    int status = CCli::Success;
    if (!CCliSession::parseAddonArguments(parser, arguments, all, &status))
        return status;
    const QStringList positional = parser.positionalArguments();
    CCliSession::recoverFirst();
    if (!CCliSession::signIn(false) || !CCliSession::loadIndex(false))
        return CCli::Failure;
    QList<AddonStatus> targets =
        CCliSession::selectTargets(parser.isSet(all), positional, CCliSession::Select::Any, &status);
    if (targets.isEmpty())
        return status;
    QList<Job> jobs;
    for (const AddonStatus& target : targets) {
        if (parser.isSet(all) && !target.canBackUp()) {
            note(QStringLiteral("skipped, %0: %1").arg(target.stateText(), label(target)));
            continue;
        }
        jobs.append(Job{CommandInfo(target.addonGuid, target.mappingGuid, Backup), target, {}, 1, false});
    }
    return CJobCli::run(jobs);
}

const CCliCommandRegistration statusRegistration(
    {QStringLiteral("status"), QStringLiteral("Show every mapped add-on location against the data index"), runStatus});
const CCliCommandRegistration updateRegistration(
    {QStringLiteral("update"), QStringLiteral("Download and install current data: update (--all | ADDON [MAPPING])"),
     runUpdate});
const CCliCommandRegistration backupRegistration(
    {QStringLiteral("backup"), QStringLiteral("Back up installed data: backup (--all | ADDON [MAPPING])"), runBackup});

} // namespace
