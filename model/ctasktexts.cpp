#include "ctasktexts.h"

#include "commands/commandinfo.h"

QString CTaskTexts::waiting(CommandPhase phase)
{
    switch (phase) {
    case CommandPhase::Backup:
        return tr("Waiting for backup. ");
    case CommandPhase::Restore:
        return tr("Waiting for restore.");
    case CommandPhase::Download:
        return tr("Waiting for download.");
    case CommandPhase::Install:
        return tr("Waiting for decompress.");
    case CommandPhase::Copy:
        return tr("Waiting for copy.");
    case CommandPhase::Other:
        break;
    }
    return QString();
}

QString CTaskTexts::running(CommandPhase phase)
{
    switch (phase) {
    case CommandPhase::Backup:
        return tr("Performing backup. ");
    case CommandPhase::Restore:
        return tr("Restoring.");
    case CommandPhase::Download:
        return tr("Downloading.");
    case CommandPhase::Install:
        return tr("Installing.");
    case CommandPhase::Copy:
        return tr("Copying.");
    case CommandPhase::Other:
        break;
    }
    return QString();
}

QString CTaskTexts::shortName(const QString& name)
{
    return name.size() > 20 ? name.left(20) + QStringLiteral("...") : name;
}

QString CTaskTexts::progressLine(const QString& name, const CommandProgress& progress)
{
    if (progress.preparing) {
        if (progress.phase == CommandPhase::Download)
            return tr("Preparing for download...");
        if (progress.phase == CommandPhase::Install)
            return tr("Preparing for installation... ");
    }
    const QString cut = shortName(name);
    const QString percent = QString::number(progress.percent());
    const QString done = QString::number(progress.done), total = QString::number(progress.total);
    switch (progress.phase) {
    case CommandPhase::Backup:
        return tr("Backing up %0 - %1/%2 files processed (%3%)").arg(cut, done, total, percent);
    case CommandPhase::Restore:
        return tr("Restoring %0 - %1/%2 files processed (%3%)").arg(cut, done, total, percent);
    case CommandPhase::Download: {
        const auto megabytes = [](qint64 bytes) { return QString::number(double(bytes) / 1048576.0, 'f', 2); };
        return tr("Downloading %0 - %1 MB/%2 MB downloaded (%3%)")
            .arg(cut, megabytes(progress.done), megabytes(progress.total), percent);
    }
    case CommandPhase::Install:
        return tr("Installing %0 - %1/%2 files processed (%3%)").arg(cut, done, total, percent);
    case CommandPhase::Copy:
        return tr("Copying %0 - %1/%2 files processed (%3%)").arg(cut, done, total, percent);
    case CommandPhase::Other:
        break;
    }
    return QString();
}

QString CTaskTexts::shortText(const CommandProgress& progress)
{
    const QString percent = QString::number(progress.percent());
    switch (progress.phase) {
    case CommandPhase::Backup:
        return tr("Backup file (%0%)").arg(percent);
    case CommandPhase::Restore:
        return tr("Restoring file (%0%)").arg(percent);
    case CommandPhase::Download:
        return tr("Downloading (%0%)").arg(percent);
    case CommandPhase::Install:
        return tr("Installing (%0%)").arg(percent);
    case CommandPhase::Copy:
        return tr("Copying file (%0%)").arg(percent);
    case CommandPhase::Other:
        break;
    }
    return QString();
}

QString CTaskTexts::taskError(int errorNumber, const QString& message)
{
    if (errorNumber == 8)
        return tr("Task error: Canceled");
    if (errorNumber == 16)
        return tr("Task error: No Internet Connection");
    return tr("Task error: %0").arg(message);
}

CommandPhase CTaskTexts::firstPhase(int commandType)
{
    switch (commandType) {
    case Backup:
        return CommandPhase::Backup;
    case Restore:
        return CommandPhase::Restore;
    case Update:
        return CommandPhase::Download;
    default:
        return CommandPhase::Other;
    }
}
