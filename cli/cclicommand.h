#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;

// One subcommand of tessaray-cli ("zip", "scan", "login" ...). Each lives in a file of its own and
// registers itself with a static CCliCommandRegistration, so adding a subcommand touches no other file.
struct CCliCommand
{
    QString name;
    QString summary; // one line for the overview of --help
    // Receives the arguments after the subcommand's name (the first element is "tessaray-cli <name>",
    // so that QCommandLineParser can be used as for a whole program). Returns the exit status.
    std::function<int(const QStringList& arguments)> run;
};

namespace CCli
{
// Exit statuses of every subcommand.
constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int UsageError = 2;

void registerCommand(const CCliCommand& command);
const CCliCommand* findCommand(const QString& name);
QList<CCliCommand> commands();

// "error <code>: <message>" on stderr.
void printError(int code, const QString& message);
// "<lead>: <reason>." for a reason that is a phrase ("Connection refused"); "<lead>. <reason>" for one that
// is a sentence already; "<lead>." without a reason.
QString withReason(const QString& lead, const QString& reason);
// One line on stdout.
void printLine(const QString& line);
// A usage error: the message and the subcommand's help on stderr; returns UsageError.
int usageError(const QCommandLineParser& parser, const QString& message);
// Handles --help for a subcommand's parser; true when the parse failed or help was shown, with `status` set.
bool parseOrExit(QCommandLineParser& parser, const QStringList& arguments, int& status);
// True when stderr is a terminal, so that progress may be drawn there.
bool stderrIsTerminal();
// Lets the worker threads (commands, web-service requests) finish tearing down, at most a few seconds,
// before the process does: a thread still running when the application goes would crash it or cut its
// request off.
void waitForWorkerThreads();
} // namespace CCli

struct CCliCommandRegistration
{
    explicit CCliCommandRegistration(const CCliCommand& command) { CCli::registerCommand(command); }
};
