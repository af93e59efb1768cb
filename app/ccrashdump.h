#pragma once

// Writes a minidump beside the executable when the program crashes. Windows only; elsewhere the
// operating system's own core dumps serve.
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>

namespace CCrashDump
{
// Registers the unhandled-exception filter.
void install();
LONG WINAPI unhandledExceptionFilter(EXCEPTION_POINTERS* exceptionPointers);
} // namespace CCrashDump
#endif
