#include "cjobcli.h"

#include "cli/cclicommand.h"
#include "cli/cclisession.h"
#include "cli/cprogressline.h"
#include "commands/commanderrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>

namespace
{
std::atomic<int> interrupts{0};

void onInterrupt(int)
{
    // The first asks the commands to stop and put things back; a second one is the user's "now".
    if (interrupts.fetch_add(1) >= 1)
        std::_Exit(130);
}

QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

QString seconds(qint64 milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'f', 2);
}

// The result column of a job that went through.
QString successText(const Job& job, const JobReport& report)
{
    switch (job.info.type) {
    case Update: {
        const AddonStatus now = CAddonStatus::of(job.info.addonGuid, job.info.mappingGuid);
        CCliSession::note(QStringLiteral("%0: download %1 s, backup %2 s, install %3 s")
                              .arg(CCliSession::label(job.target),
                                   seconds(report.phaseMilliseconds.value(CommandPhase::Download)),
                                   seconds(report.phaseMilliseconds.value(CommandPhase::Backup)),
                                   seconds(report.phaseMilliseconds.value(CommandPhase::Install))));
        return QStringLiteral("updated %0/%1").arg(now.installedCycle).arg(now.installedRevision);
    }
    case Backup:
        return QStringLiteral("backed up");
    default:
        return report.extractedFolder.isEmpty()
                   ? QStringLiteral("restored")
                   : QStringLiteral("extracted to %0").arg(QDir::toNativeSeparators(report.extractedFolder));
    }
}

void printResult(const Job& job, const JobReport& report)
{
    QString result;
    const CommandResult& outcome = report.result;
    if (outcome.succeeded()) {
        result = successText(job, report);
    } else {
        result = CommandResult::outcomeText(outcome.outcome);
        const QString message =
            outcome.error.message.isEmpty() ? QStringLiteral("no reason was given") : outcome.error.message;
        CCli::printError(outcome.error.errorNumber,
                         QStringLiteral("%0: %1").arg(CCliSession::label(job.target), message));
        if (job.info.type == Update && outcome.error.errorNumber == CommandError::BackupFailed)
            CCliSession::note(QStringLiteral("To update without a backup: tessaray-cli update %0 %1 --no-backup")
                                  .arg(guidText(job.info.addonGuid), guidText(job.info.mappingGuid)));
    }
    CCli::printLine(QStringList{job.target.name, job.target.simulator, result, guidText(job.info.addonGuid),
                                guidText(job.info.mappingGuid)}
                        .join(QLatin1Char('\t')));
}
} // namespace

int CJobCli::run(const QList<Job>& jobs)
{
    if (jobs.isEmpty())
        return CCli::Success;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    const bool terminal = CCli::stderrIsTerminal();
    CJobRunner runner;
    // A location that another copy of the program works on is refused at once: a script hears it and exits 1.
    runner.setWaitForBusyLocations(false);
    std::map<QString, std::unique_ptr<CProgressLine>> lines;
    bool failed = false;
    QEventLoop loop;

    QObject::connect(&runner, &CJobRunner::jobProgress, &loop, [&](const Job& job, const CommandProgress& progress) {
        auto& line = lines[job.info.key()];
        if (!line)
            line = std::make_unique<CProgressLine>(CCliSession::label(job.target), terminal);
        line->pulse(progress);
    });
    QObject::connect(&runner, &CJobRunner::jobFinished, &loop, [&](const Job& job, const JobReport& report) {
        if (auto line = lines.find(job.info.key()); line != lines.end())
            line->second->finish();
        printResult(job, report);
        failed = failed || !report.result.succeeded();
    });
    QObject::connect(&runner, &CJobRunner::idle, &loop, &QEventLoop::quit);

    for (const Job& job : jobs) {
        if (!runner.add(job)) {
            CCli::printError(1, QStringLiteral("%0: a command for this location is already waiting.")
                                    .arg(CCliSession::label(job.target)));
            failed = true;
        }
    }
    QTimer watchInterrupt;
    bool canceling = false;
    QObject::connect(&watchInterrupt, &QTimer::timeout, &loop, [&]() {
        if (interrupts.load() == 0 || canceling)
            return;
        canceling = true;
        CCliSession::note(QStringLiteral("canceling ... (press Ctrl-C again to stop at once)"));
        runner.cancelAll();
    });
    watchInterrupt.start(100);
    if (runner.isBusy())
        loop.exec();
    // Commands are deleted on their own threads; let those go before the process does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CCli::waitForWorkerThreads();
    return failed ? CCli::Failure : CCli::Success;
}
