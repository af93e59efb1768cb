#pragma once

#include <QString>

// The platform layer sits below the program's logger, so it reports what it probes through this hook.
// The logger installs itself as the sink when the program names its log file; until then (and in programs
// without a log) error lines (level 6 and above) go to Qt's warning output and the rest is dropped.
namespace CPlatformLog
{
using Sink = void (*)(int level, const char* function, const char* file, int line, const QString& message);

void setSink(Sink sink);
void write(int level, const char* function, const char* file, int line, const QString& message);
} // namespace CPlatformLog

#define BV_PLATFORM_LOG(level, message) CPlatformLog::write((level), Q_FUNC_INFO, __FILE__, __LINE__, (message))
