#pragma once

#include "commands/caddonstatus.h"

#include <QList>
#include <QString>

class QCommandLineOption;
class QCommandLineParser;

// What the add-on subcommands do before their work: complete interrupted installs, reach the web service
// when the work needs it, read the data index and the mapping list, and find the locations the arguments
// name. Each step prints its own error; false (or an empty result) then means the subcommand ends with 1.
namespace CCliSession
{
// How long an interactive subcommand waits for the web service before it says so.
constexpr int ServiceTimeoutSeconds = 45;

// Completes what a crash left pending in the mapped folders, before anything else (the network included);
// where it can't, the location reads "interrupted" and a warning says why.
void recoverFirst();
// Whether the web service answers, as the window's timer asks.
bool isServiceReachable();
// The account signed in: through the web service (`online`), or from the stored log-in alone.
bool signIn(bool online);
// The data index (brought up to date first when `refresh`, else the local copy) and the mapping list.
bool loadIndex(bool refresh);

// Parses a subcommand that takes `--all` or ADDON [MAPPING]; false when it ends here, with `status` set
// (help shown, or a usage error).
bool parseAddonArguments(QCommandLineParser& parser, const QStringList& arguments, const QCommandLineOption& all,
                         int* status);

enum class Select
{
    Any,       // every location the arguments name
    OneAtMost, // the arguments must name one location
};
// The mapped locations `--all` or ADDON [MAPPING] name. An unknown or ambiguous name prints the candidates
// and sets `status` to the usage error (2); no location sets it to 1.
QList<AddonStatus> selectTargets(bool all, const QStringList& positional, Select select, int* status);

// "Name (SIM)".
QString label(const AddonStatus& location);
// A note on stderr.
void note(const QString& text);
} // namespace CCliSession
