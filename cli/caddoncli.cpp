// tessaray-cli status | update | backup | backups | restore: the add-on commands, run through the command
// queue exactly as the window runs them.

#include "cli/cclicommand.h"
#include "cli/cprogressline.h"
#include "commands/caddonstatus.h"
#include "commands/cbackupconfigserializer.h"
#include "commands/cbackuppackager.h"
#include "commands/ccommandfactory.h"
#include "commands/cinstallrecovery.h"
#include "commands/cioutils.h"
#include "commands/cleftovers.h"
#include "commands/cpackagepassword.h"
#include "commands/cprogramcommandqueue.h"
#include "commands/cqueueable.h"
#include "commands/cupdatecommand.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"
#include "webservices/cwebservices.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

namespace
{

constexpr int Timeout = 120; // s, for the web service's answers (not for the commands themselves)

std::atomic<bool> interrupted{false};

void onInterrupt(int)
{
    interrupted.store(true);
}

void note(const QString& text)
{
    fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Runs `start`, then the event loop until `done` says so or the time is up; false on time-out.
bool waitFor(const std::function<void(QEventLoop&)>& start, int seconds)
{
    QEventLoop loop;
    bool timedOut = false;
    QTimer::singleShot(seconds * 1000, &loop, [&]() {
        timedOut = true;
        loop.quit();
    });
    start(loop);
    loop.exec();
    return !timedOut;
}

// The signed-in user, restored from the stored log-in as the program does at start.
bool restoreUser()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.rest.debug=false"));
    QString failure;
    bool answered = false;
    QObject context;
    const bool inTime = waitFor(
        [&](QEventLoop& loop) {
            QObject::connect(CUser::instance(), &CUser::onRESTCompleted, &context, [&]() {
                answered = true;
                loop.quit();
            });
            QObject::connect(CUser::instance(), &CUser::onRESTError, &context,
                             [&](ERESTService, const QJsonDocument& error) {
                                 if (answered)
                                     return;
                                 answered = true;
                                 failure = error.object().value(QStringLiteral("error")).toString();
                                 loop.quit();
                             });
            CUser::instance()->restoreLogIn(QStringList());
        },
        Timeout);
    if (inTime && failure.isEmpty() && CUser::instance()->userId() > 0)
        return true;
    CCli::printError(1, QStringLiteral("The stored log-in could not be restored (%0). Is the web service at %1 "
                                       "reachable, and has this account signed in ('tessaray-cli login USERNAME')?")
                            .arg(failure.isEmpty() ? QStringLiteral("no answer from the web service") : failure,
                                 CSettings::stringValue(SettingsKey::ServerAddress)));
    return false;
}

// Asks whether the web service is reachable, as the window's timer does.
bool checkConnection()
{
    bool connected = false;
    QObject context;
    waitFor(
        [&](QEventLoop& loop) {
            QObject::connect(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged, &context, [&](bool state) {
                connected = state;
                loop.quit();
            });
            CNetworkStatus::instance()->check();
        },
        Timeout);
    return connected;
}

// Downloads and working files of mappings that are gone belong to nobody any more.
void sweepAbandoned()
{
    QList<QUuid> mapped;
    for (const AddonStatus& status : CAddonStatus::all())
        mapped.append(status.mappingGuid);
    CLeftovers::sweepAbandoned(mapped);
}

// The data index and the mapping list: brought up to date through the web service when `refresh`, read from
// the local copies otherwise (and when the web service can't be reached).
bool loadDataIndex(bool refresh)
{
    CDataIndex* index = CDataIndex::instance();
    if (refresh) {
        bool completed = false;
        QObject context;
        waitFor(
            [&](QEventLoop& loop) {
                QObject::connect(index, &CDataIndex::completed, &context, [&]() {
                    completed = true;
                    loop.quit();
                });
                QObject::connect(index, &CDataIndex::error, &context, [&](int, int number, const QString& message) {
                    note(QStringLiteral("warning: %0 (%1)").arg(message).arg(number));
                    if (!index->isChecking())
                        loop.quit();
                });
                index->initialize();
            },
            Timeout);
        CCli::waitForWorkerThreads();
        if (completed) {
            sweepAbandoned();
            return true;
        }
        note(QStringLiteral("warning: the data index could not be brought up to date; the local copy is used."));
    }
    CDataIndexSerializer reader;
    QString failure;
    QObject::connect(&reader, &CDataIndexSerializer::addonFound, index, &CDataIndex::addSupportedAddon);
    QObject::connect(&reader, &CDataIndexSerializer::taskError,
                     [&failure](const Exception& error) { failure = error.message; });
    index->supported().clear();
    reader.deserialize(CDataLocations::dataIndexFilePath());
    if (!failure.isEmpty())
        note(QStringLiteral("warning: %0").arg(failure));
    Exception error;
    if (!index->loadMappedAddons(CDataLocations::mappingListFilePath(), &error)) {
        CCli::printError(error.errorNumber, error.message);
        return false;
    }
    sweepAbandoned();
    return true;
}

// Completes what a crash left pending in the mapped folders before anything else, the network included: the
// local mapping list is all it needs. Where it can't, the location reads "interrupted" and says why.
void recoverFirst()
{
    Exception error;
    if (!CDataIndex::instance()->loadMappedAddons(CDataLocations::mappingListFilePath(), &error))
        return; // loadDataIndex() says why
    const QMap<QString, QString> pending = CInstallRecovery::recoverMappedLocations();
    for (auto it = pending.cbegin(); it != pending.cend(); ++it)
        note(QStringLiteral("warning: the interrupted install in %0 is still pending: %1.")
                 .arg(QDir::toNativeSeparators(it.key()), it.value()));
}

QString label(const AddonStatus& status)
{
    return QStringLiteral("%0 (%1)").arg(status.name, status.simulator);
}

QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

// The mapped locations that ADDON_GUID [MAPPING_GUID] name; `error` says why there are none.
QList<AddonStatus> select(const QStringList& positional, QString* error)
{
    QList<AddonStatus> selected;
    const QUuid addon(positional.value(0).trimmed());
    const QUuid mapping(positional.value(1).trimmed());
    if (addon.isNull() || (positional.size() > 1 && mapping.isNull())) {
        *error = QStringLiteral("'%0' is no add-on and mapping GUID.").arg(positional.join(QLatin1Char(' ')));
        return selected;
    }
    for (const AddonStatus& status : CAddonStatus::all()) {
        if (status.addonGuid == addon && (mapping.isNull() || status.mappingGuid == mapping))
            selected.append(status);
    }
    if (selected.isEmpty())
        *error = QStringLiteral("No mapped location of add-on %0%1; see 'tessaray-cli status'.")
                     .arg(guidText(addon),
                          mapping.isNull() ? QString() : QStringLiteral(" with mapping ") + guidText(mapping));
    return selected;
}

// Every mapped location with --all, else the ones ADDON_GUID [MAPPING_GUID] name; false after saying why
// there are none.
bool selectTargets(bool all, const QStringList& positional, QList<AddonStatus>* targets)
{
    QString error;
    *targets = all ? CAddonStatus::all() : select(positional, &error);
    if (error.isEmpty())
        return true;
    CCli::printError(1, error);
    return false;
}

struct Job
{
    AddonStatus target;
    CommandInfo info;
    AddonBackupInfo backup; // restores only
    int restoreMode = 1;
    bool noBackup = false; // updates only
};

// Runs the jobs through one command queue, one at a time, showing their progress; prints one result line
// for each. Ctrl-C cancels the running command and the waiting ones. Returns the exit status.
int runJobs(const QList<Job>& jobs)
{
    if (jobs.isEmpty())
        return CCli::Success;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const bool terminal = CCli::stderrIsTerminal();
    CProgramCommandQueue queue;
    // A location that another copy of the program works on is refused at once: a script hears it and exits 1.
    queue.setWaitForBusyLocations(false);
    QEventLoop loop;
    int running = 0;
    bool failed = false;

    for (const Job& job : jobs) {
        CQueueable* command = CCommandFactory::create(job.info, job.restoreMode, &job.backup);
        if (job.info.type == Update)
            static_cast<CUpdateCommand*>(command)->setBackupSkipped(job.noBackup);
        auto progress = std::make_shared<CProgressLine>(label(job.target), terminal);
        auto errors = std::make_shared<QList<Exception>>();
        const int type = job.info.type;
        QObject::connect(command, &CQueueable::taskPulse, &loop, [command, progress, type](qint64 done, qint64 total) {
            const int phase = type == Update ? static_cast<CUpdateCommand*>(command)->phase() : -1;
            const QString name = type == Backup                           ? QStringLiteral("backing up")
                                 : type == Restore                        ? QStringLiteral("restoring")
                                 : phase == CUpdateCommand::PHASE_BACKUP  ? QStringLiteral("backing up")
                                 : phase == CUpdateCommand::PHASE_INSTALL ? QStringLiteral("installing")
                                                                          : QStringLiteral("downloading");
            progress->pulse(name, done, total, type == Update && phase == CUpdateCommand::PHASE_DOWNLOAD);
        });
        QObject::connect(command, &CQueueable::taskError, &loop,
                         [errors](const Exception& error) { errors->append(error); });
        QObject::connect(command, &CQueueable::taskCompleted, &loop, [&, job, progress, errors](CQueueable* task) {
            progress->finish();
            bool jobFailed = false;
            for (const Exception& error : qAsConst(*errors)) {
                // Errors, and the warnings that end a command (no connection, canceled).
                if (error.errorLevel >= 6 || error.errorNumber == 16 || error.errorNumber == 8) {
                    jobFailed = true;
                    CCli::printError(error.errorNumber, QStringLiteral("%0: %1").arg(label(job.target), error.message));
                    if (job.info.type == Update && error.errorNumber == CBackupPackager::BackupFailed)
                        note(QStringLiteral("To update without a backup: tessaray-cli update %0 %1 --no-backup")
                                 .arg(guidText(job.target.addonGuid), guidText(job.target.mappingGuid)));
                } else {
                    note(QStringLiteral("warning: %0: %1").arg(label(job.target), error.message));
                }
            }
            QString result = jobFailed ? QStringLiteral("failed") : QString();
            if (!jobFailed && job.info.type == Update) {
                const auto* update = static_cast<CUpdateCommand*>(task);
                const AddonStatus now = CAddonStatus::of(job.target.addonGuid, job.target.mappingGuid);
                result = QStringLiteral("updated %0/%1").arg(now.installedCycle).arg(now.installedRevision);
                note(QStringLiteral("%0: download %1 s, backup %2 s, install %3 s")
                         .arg(label(job.target))
                         .arg(update->phaseMilliseconds(CUpdateCommand::PHASE_DOWNLOAD) / 1000.0, 0, 'f', 2)
                         .arg(update->phaseMilliseconds(CUpdateCommand::PHASE_BACKUP) / 1000.0, 0, 'f', 2)
                         .arg(update->phaseMilliseconds(CUpdateCommand::PHASE_INSTALL) / 1000.0, 0, 'f', 2));
            } else if (!jobFailed && job.info.type == Backup) {
                result = QStringLiteral("backed up");
            } else if (!jobFailed) {
                result = QStringLiteral("restored");
            }
            CCli::printLine(QStringList{guidText(job.target.addonGuid), guidText(job.target.mappingGuid),
                                        job.target.name, job.target.simulator, result}
                                .join(QLatin1Char('\t')));
            failed = failed || jobFailed;
            queue.taskDone(task);
            // The queue polls every 100 ms; a command line waits for no poll.
            QTimer::singleShot(0, &queue, &CProgramCommandQueue::checkQueueStatus);
            if (--running == 0)
                loop.quit();
        });
        if (!queue.addTask(command)) {
            delete command;
            CCli::printError(
                1, QStringLiteral("%0: a command for this mapping is already waiting.").arg(label(job.target)));
            failed = true;
            continue;
        }
        ++running;
    }

    QTimer watchInterrupt;
    QObject::connect(&watchInterrupt, &QTimer::timeout, &loop, [&]() {
        if (!interrupted.exchange(false))
            return;
        note(QStringLiteral("canceling ..."));
        for (const Job& job : jobs)
            queue.removeTask(job.info);
    });
    watchInterrupt.start(100);
    queue.checkQueueStatus();
    if (running > 0)
        loop.exec();
    // Commands are deleted on their own threads; let those go before the process does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CCli::waitForWorkerThreads();
    return failed ? CCli::Failure : CCli::Success;
}

// Parses the command's options; the common ones are --no-index-update and --json.
struct Options
{
    QCommandLineParser parser;
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Print one JSON document.")};
    QCommandLineOption noIndexUpdate{QStringLiteral("no-index-update"),
                                     QStringLiteral("Use the local data index; don't ask the web service.")};
    QCommandLineOption all{QStringLiteral("all"), QStringLiteral("Every mapped location.")};
    QCommandLineOption force{QStringLiteral("force"), QStringLiteral("Install again what is current.")};
    QCommandLineOption noBackup{QStringLiteral("no-backup"),
                                QStringLiteral("Install without the automatic backup, even when it is on (after a "
                                               "backup failed).")};
    QCommandLineOption latest{QStringLiteral("latest"), QStringLiteral("The newest backup of each location.")};
    QCommandLineOption package{QStringLiteral("package"), QStringLiteral("The backup package to restore."),
                               QStringLiteral("FILE")};
    QCommandLineOption toFolder{QStringLiteral("to-folder"),
                                QStringLiteral("Extract into a new folder and show it; the add-on stays untouched.")};
};

int runStatus(const QStringList& arguments)
{
    Options options;
    options.parser.setApplicationDescription(
        QStringLiteral("status [--json] [--no-index-update]\n\n"
                       "Every mapped location: add-on GUID, mapping GUID, name, simulator, folder, installed cycle\n"
                       "and revision, and updated | outdated | restored | not installed | missing | interrupted (then\n"
                       "why), tab-separated."));
    options.parser.addOptions({options.json, options.noIndexUpdate});
    int status = CCli::Success;
    if (CCli::parseOrExit(options.parser, arguments, status))
        return status;
    if (!options.parser.positionalArguments().isEmpty())
        return CCli::usageError(options.parser, QStringLiteral("'status' takes no arguments."));
    recoverFirst();
    if (!loadDataIndex(!options.parser.isSet(options.noIndexUpdate) && checkConnection()))
        return CCli::Failure;

    const QList<AddonStatus> list = CAddonStatus::all();
    if (list.isEmpty())
        note(QStringLiteral("No add-on is mapped yet; 'tessaray-cli scan --save' finds them."));
    QJsonArray json;
    for (const AddonStatus& item : list) {
        if (options.parser.isSet(options.json)) {
            json.append(QJsonObject{{QStringLiteral("addonGuid"), guidText(item.addonGuid)},
                                    {QStringLiteral("mappingGuid"), guidText(item.mappingGuid)},
                                    {QStringLiteral("name"), item.name},
                                    {QStringLiteral("simulator"), item.simulator},
                                    {QStringLiteral("folder"), QDir::toNativeSeparators(item.folder)},
                                    {QStringLiteral("installedCycle"), item.installedCycle},
                                    {QStringLiteral("installedRevision"), item.installedRevision},
                                    {QStringLiteral("currentCycle"), item.currentCycle},
                                    {QStringLiteral("currentRevision"), item.currentRevision},
                                    {QStringLiteral("status"), item.stateText()},
                                    {QStringLiteral("reason"), item.reason}});
        } else {
            QStringList columns{guidText(item.addonGuid),
                                guidText(item.mappingGuid),
                                item.name,
                                item.simulator,
                                QDir::toNativeSeparators(item.folder),
                                QString::number(item.installedCycle),
                                QString::number(item.installedRevision),
                                item.stateText()};
            if (!item.reason.isEmpty())
                columns.append(item.reason);
            CCli::printLine(columns.join(QLatin1Char('\t')));
        }
    }
    if (options.parser.isSet(options.json))
        CCli::printLine(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented).trimmed()));
    return CCli::Success;
}

int runUpdate(const QStringList& arguments)
{
    Options options;
    options.parser.setApplicationDescription(
        QStringLiteral("update (--all | ADDON_GUID [MAPPING_GUID]) [--force] [--no-backup] [--no-index-update]\n\n"
                       "Downloads and installs the current data of the mapped locations; --all takes every one\n"
                       "that is outdated or not installed. What is current is skipped unless --force."));
    options.parser.addOptions({options.all, options.force, options.noBackup, options.noIndexUpdate});
    int status = CCli::Success;
    if (CCli::parseOrExit(options.parser, arguments, status))
        return status;
    const QStringList positional = options.parser.positionalArguments();
    const bool all = options.parser.isSet(options.all);
    if (all == !positional.isEmpty() || positional.size() > 2)
        return CCli::usageError(options.parser, QStringLiteral("Give --all, or ADDON_GUID [MAPPING_GUID]."));
    recoverFirst();
    // The connection is checked as the window's timer does; an update reads the answer before it starts.
    if (!checkConnection()) {
        CCli::printError(16, QStringLiteral("No Internet connection, update canceled. (The web service at %0 "
                                            "can't be reached.)")
                                 .arg(CSettings::stringValue(SettingsKey::ServerAddress)));
        return CCli::Failure;
    }
    if (!restoreUser() || !loadDataIndex(!options.parser.isSet(options.noIndexUpdate)))
        return CCli::Failure;

    QList<AddonStatus> targets;
    if (!selectTargets(all, positional, &targets))
        return CCli::Failure;
    QList<Job> jobs;
    for (const AddonStatus& target : targets) {
        if (!options.parser.isSet(options.force) && !target.needsUpdate()) {
            note(QStringLiteral("skipped, %0: %1").arg(target.stateText(), label(target)));
            continue;
        }
        jobs.append(Job{target,
                        CommandInfo(target.addonGuid, target.mappingGuid, Update),
                        {},
                        1,
                        options.parser.isSet(options.noBackup)});
    }
    return runJobs(jobs);
}

int runBackup(const QStringList& arguments)
{
    Options options;
    options.parser.setApplicationDescription(
        QStringLiteral("backup (ADDON_GUID MAPPING_GUID | --all)\n\n"
                       "Packs the installed files of the mapped locations into password-protected backup packages\n"
                       "in the backup folder and records them in backup.index."));
    options.parser.addOption(options.all);
    int status = CCli::Success;
    if (CCli::parseOrExit(options.parser, arguments, status))
        return status;
    const QStringList positional = options.parser.positionalArguments();
    const bool all = options.parser.isSet(options.all);
    if (all ? !positional.isEmpty() : positional.size() != 2)
        return CCli::usageError(options.parser, QStringLiteral("Give --all, or ADDON_GUID MAPPING_GUID."));
    recoverFirst();
    if (!restoreUser() || !loadDataIndex(false))
        return CCli::Failure;
    QList<AddonStatus> targets;
    if (!selectTargets(all, positional, &targets))
        return CCli::Failure;
    QList<Job> jobs;
    for (const AddonStatus& target : targets) {
        if (all && (target.state == AddonStatus::NotInstalled || target.state == AddonStatus::Missing)) {
            note(QStringLiteral("skipped, %0: %1").arg(target.stateText(), label(target)));
            continue;
        }
        jobs.append(Job{target, CommandInfo(target.addonGuid, target.mappingGuid, Backup), {}, 1});
    }
    return runJobs(jobs);
}

// The packages of a mapping whose records check out, oldest first; false after saying why the backup list
// can't be read.
bool backupsOf(const QUuid& addon, const QUuid& mapping, QList<AddonBackupInfo>* backups)
{
    MappingGuid which{addon, mapping};
    CBackupConfigSerializer list;
    Exception failure;
    QObject::connect(&list, &CBackupConfigSerializer::taskError,
                     [&failure](const Exception& error) { failure = error; });
    const QVariant found = list.deserialize(QVariant::fromValue(&which));
    if (failure.errorNumber == CBackupConfigSerializer::ListError) {
        CCli::printError(failure.errorNumber, failure.message);
        return false;
    }
    for (AddonBackupInfo* backup : found.value<QList<AddonBackupInfo*>>()) {
        backups->append(*backup);
        delete backup;
    }
    return true;
}

// A package is offered only when it can be restored: every entry checks out with the account's password.
// Says which it passes over, and why.
bool isSound(const AddonBackupInfo& backup)
{
    QString problem;
    if (CBackupConfigSerializer::checkPackage(backup.path, packagePassword(CUser::instance()->userId()), &problem))
        return true;
    note(QStringLiteral("skipped, damaged backup %0: %1").arg(QDir::toNativeSeparators(backup.path), problem));
    return false;
}

int runBackups(const QStringList& arguments)
{
    Options options;
    options.parser.setApplicationDescription(
        QStringLiteral("backups ADDON_GUID MAPPING_GUID\n\n"
                       "The mapping's backup packages that can be restored, oldest first: cycle, revision, date and\n"
                       "package path, tab-separated. Each is checked whole with the account's password; a damaged\n"
                       "one is named on stderr and left out."));
    int status = CCli::Success;
    if (CCli::parseOrExit(options.parser, arguments, status))
        return status;
    const QStringList positional = options.parser.positionalArguments();
    const QUuid addon(positional.value(0).trimmed());
    const QUuid mapping(positional.value(1).trimmed());
    if (positional.size() != 2 || addon.isNull() || mapping.isNull())
        return CCli::usageError(options.parser, QStringLiteral("Give ADDON_GUID MAPPING_GUID."));
    QList<AddonBackupInfo> backups;
    if (!restoreUser() || !backupsOf(addon, mapping, &backups))
        return CCli::Failure;
    for (const AddonBackupInfo& backup : qAsConst(backups)) {
        if (!isSound(backup))
            continue;
        CCli::printLine(QStringList{QString::number(backup.cycle), QString::number(backup.revision),
                                    backup.date.toString(Qt::ISODate), QDir::toNativeSeparators(backup.path)}
                            .join(QLatin1Char('\t')));
    }
    return CCli::Success;
}

int runRestore(const QStringList& arguments)
{
    Options options;
    options.parser.setApplicationDescription(
        QStringLiteral("restore (ADDON_GUID MAPPING_GUID | --all) (--latest | --package FILE) [--to-folder]\n\n"
                       "Puts a backup package back into the add-on's folder (checked and extracted whole before a\n"
                       "file is replaced), or with --to-folder extracts it into a new folder. --all --latest rolls\n"
                       "every mapped location back to its newest backup."));
    options.parser.addOptions({options.all, options.latest, options.package, options.toFolder});
    int status = CCli::Success;
    if (CCli::parseOrExit(options.parser, arguments, status))
        return status;
    const QStringList positional = options.parser.positionalArguments();
    const bool all = options.parser.isSet(options.all);
    if (all ? !positional.isEmpty() : positional.size() != 2)
        return CCli::usageError(options.parser, QStringLiteral("Give --all, or ADDON_GUID MAPPING_GUID."));
    if (options.parser.isSet(options.latest) == options.parser.isSet(options.package))
        return CCli::usageError(options.parser, QStringLiteral("Give --latest or --package FILE."));
    if (all && options.parser.isSet(options.package))
        return CCli::usageError(options.parser, QStringLiteral("--all restores the newest backups only (--latest)."));
    recoverFirst();
    if (!restoreUser() || !checkConnection() || !loadDataIndex(false)) {
        if (!CNetworkStatus::instance()->isConnected())
            CCli::printError(16, QStringLiteral("Could not perform restore. Unable to connect to server to verify "
                                                "user identity."));
        return CCli::Failure;
    }
    QList<AddonStatus> targets;
    if (!selectTargets(all, positional, &targets))
        return CCli::Failure;
    QList<Job> jobs;
    bool missing = false;
    for (const AddonStatus& target : targets) {
        AddonBackupInfo chosen;
        if (options.parser.isSet(options.package)) {
            const QString file = QFileInfo(options.parser.value(options.package)).absoluteFilePath();
            chosen = AddonBackupInfo{target.addonGuid,
                                     target.mappingGuid,
                                     QFileInfo(file).absolutePath(),
                                     file,
                                     CIOUtils::fileHash(file),
                                     QFileInfo(file).lastModified(),
                                     0,
                                     0};
        } else {
            QList<AddonBackupInfo> backups;
            if (!backupsOf(target.addonGuid, target.mappingGuid, &backups))
                return CCli::Failure;
            // The newest that can be restored; the damaged ones before it are named.
            while (!backups.isEmpty() && !isSound(backups.last()))
                backups.removeLast();
            if (backups.isEmpty()) {
                note(QStringLiteral("skipped, no backup that can be restored: %0").arg(label(target)));
                missing = !all;
                continue;
            }
            chosen = backups.last();
        }
        jobs.append(Job{target, CommandInfo(target.addonGuid, target.mappingGuid, Restore), chosen,
                        options.parser.isSet(options.toFolder) ? 2 : 1});
    }
    const int result = runJobs(jobs);
    return missing ? CCli::Failure : result;
}

const CCliCommandRegistration statusRegistration(
    {QStringLiteral("status"), QStringLiteral("Show every mapped add-on location against the data index"), runStatus});
const CCliCommandRegistration updateRegistration(
    {QStringLiteral("update"), QStringLiteral("Download and install current data: update (--all | ADDON [MAPPING])"),
     runUpdate});
const CCliCommandRegistration backupRegistration(
    {QStringLiteral("backup"), QStringLiteral("Back up installed data: backup (ADDON MAPPING | --all)"), runBackup});
const CCliCommandRegistration backupsRegistration(
    {QStringLiteral("backups"), QStringLiteral("List the backups of a mapping: backups ADDON MAPPING"), runBackups});
const CCliCommandRegistration
    restoreRegistration({QStringLiteral("restore"),
                         QStringLiteral("Put a backup back: restore (ADDON MAPPING | --all) --latest"), runRestore});

} // namespace
