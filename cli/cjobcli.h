#pragma once

#include "commands/cjobrunner.h"

#include <QList>

namespace CJobCli
{
// Runs the jobs one at a time through the job runner, drawing their progress on stderr and printing one
// result line each on stdout: name, simulator, result, GUIDs. A failure prints its "error <code>:" line.
// Ctrl-C cancels the running job and the waiting ones; a second Ctrl-C ends the program at once (the next
// run completes or undoes what it left). Returns the exit status: 0 when every job succeeded.
int run(const QList<Job>& jobs);
} // namespace CJobCli
