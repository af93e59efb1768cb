#include "cterminal.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include <cstdio>

bool CTerminal::stdinIsTerminal()
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(fileno(stdin)) != 0;
#endif
}

bool CTerminal::stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

bool CTerminal::setInputEcho(bool enabled)
{
#ifdef Q_OS_WIN
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode))
        return false;
    return SetConsoleMode(input, enabled ? (mode | ENABLE_ECHO_INPUT) : (mode & ~DWORD(ENABLE_ECHO_INPUT))) != 0;
#else
    termios settings{};
    if (tcgetattr(STDIN_FILENO, &settings) != 0)
        return false;
    if (enabled)
        settings.c_lflag |= tcflag_t(ECHO);
    else
        settings.c_lflag &= ~tcflag_t(ECHO);
    return tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings) == 0;
#endif
}
