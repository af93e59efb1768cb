#pragma once

#include "commands/commandprogress.h"

#include <QCoreApplication>
#include <QString>

// The texts a command's item shows while it waits, runs and progresses, and when it failed.
class CTaskTexts
{
    Q_DECLARE_TR_FUNCTIONS(CTaskTexts)

public:
    // Empty for a phase without texts.
    static QString waiting(CommandPhase phase);
    static QString running(CommandPhase phase);
    // The window's progress line: the (cut) name, what is done of the total and the percentage; downloads
    // count in megabytes with two decimals. "Preparing ..." while the step can't count yet.
    static QString progressLine(const QString& name, const CommandProgress& progress);
    // The item's own short text with the percentage.
    static QString shortText(const CommandProgress& progress);
    // A name longer than 20 characters is cut to 20 and followed by "...".
    static QString shortName(const QString& name);
    // The item's text after a command failed with `errorNumber`.
    static QString taskError(int errorNumber, const QString& message);
    // The phase a command is in before it reports one: backups and restores have one, updates download first.
    static CommandPhase firstPhase(int commandType);
};
