#include "commandprogress.h"

QString phaseVerb(CommandPhase phase)
{
    switch (phase) {
    case CommandPhase::Backup:
        return QStringLiteral("backing up");
    case CommandPhase::Restore:
        return QStringLiteral("restoring");
    case CommandPhase::Download:
        return QStringLiteral("downloading");
    case CommandPhase::Install:
        return QStringLiteral("installing");
    case CommandPhase::Copy:
        return QStringLiteral("copying");
    case CommandPhase::Other:
        break;
    }
    return QString();
}

QString CommandResult::outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Succeeded:
        return QStringLiteral("succeeded");
    case Failed:
        return QStringLiteral("failed");
    case Canceled:
        return QStringLiteral("canceled");
    case Skipped:
        return QStringLiteral("skipped");
    }
    return QString();
}
