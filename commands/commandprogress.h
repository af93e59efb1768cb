#pragma once

#include "foundation/exception.h"

#include <QMetaType>
#include <QString>

// The step a command is in. The values are the activity codes the window shows (a command that only waits
// in the queue adds 1024 to them): don't reorder.
enum class CommandPhase
{
    Backup = 0,
    Restore = 1,
    Download = 2,
    Install = 3,
    Copy = 4,
    Other = 5,
};

// "backing up", "restoring", "downloading", "installing", "copying"; empty for any other step.
QString phaseVerb(CommandPhase phase);

// How far a command has come in its step: `done` of `total` files, or of bytes while it downloads. A step
// that can't count yet (the download address is asked for, the package is checked) is only `preparing`.
struct CommandProgress
{
    CommandPhase phase = CommandPhase::Other;
    qint64 done = 0;
    qint64 total = 0;
    bool preparing = false;

    bool inBytes() const { return phase == CommandPhase::Download; }
    // 0 to 100; 0 while the total is unknown.
    int percent() const { return total > 0 ? int(qBound<qint64>(0, done * 100 / total, 100)) : 0; }
};

// How a command ended: the one answer to "did it work?", set by the command itself. A command that was
// never made (already current, nothing to back up) is skipped, with the reason.
struct CommandResult
{
    enum Outcome
    {
        Succeeded,
        Failed,
        Canceled,
        Skipped,
    };

    Outcome outcome = Succeeded;
    Exception error;    // why it failed or was canceled
    QString skipReason; // why it was skipped

    bool succeeded() const { return outcome == Succeeded; }
    // "succeeded", "failed", "canceled", "skipped".
    static QString outcomeText(Outcome outcome);
};

Q_DECLARE_METATYPE(CommandProgress)
Q_DECLARE_METATYPE(CommandResult)
