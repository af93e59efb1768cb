#include "ccrashdump.h"

// dbghelp.h uses the types of windows.h, which ccrashdump.h includes, without including it itself.
#include <dbghelp.h>

namespace
{
using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
// Full memory, handle data, unloaded modules, full memory info and thread info.
constexpr DWORD dumpType = 0x1826;
} // namespace

void CCrashDump::install()
{
    SetUnhandledExceptionFilter(&CCrashDump::unhandledExceptionFilter);
}

LONG WINAPI CCrashDump::unhandledExceptionFilter(EXCEPTION_POINTERS* exceptionPointers)
{
    HMODULE dbghelp = LoadLibraryA("dbghelp");
    if (!dbghelp)
        return 0;
    auto writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(GetProcAddress(dbghelp, "MiniDumpWriteDump"));
    if (!writeDump)
        return 0;

    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, MAX_PATH);
    if (length < 4)
        return 0;
    SYSTEMTIME now;
    GetSystemTime(&now);
    // "<program>_yyyyMMdd_HHmmss.dmp" beside the executable, over its ".exe".
    char* suffix = path + length - 4;
    if (static_cast<size_t>(MAX_PATH - (suffix - path)) < 24)
        return 0;
    wsprintfA(suffix, "_%4d%02d%02d_%02d%02d%02d.dmp", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond);

    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;

    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exceptionPointers;
    information.ClientPointers = FALSE;
    writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, static_cast<MINIDUMP_TYPE>(dumpType),
              exceptionPointers ? &information : nullptr, nullptr, nullptr);
    CloseHandle(file);
    return 0;
}
