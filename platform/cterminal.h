#pragma once

// The console the command line runs in: whether its streams are a terminal, and hiding what is typed.
namespace CTerminal
{
// Whether standard input, or standard error, is a terminal (and not a pipe or a file).
bool stdinIsTerminal();
bool stderrIsTerminal();

// Switches the echo of typed characters on standard input on or off (off while a password is typed).
// False when standard input is no terminal, and nothing changes.
bool setInputEcho(bool enabled);
} // namespace CTerminal
