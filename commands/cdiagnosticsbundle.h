#pragma once

#include "foundation/exception.h"

#include <QList>
#include <QString>

// One zip for a support request, written by `tessaray-cli diagnostics` and the window's "Save
// Diagnostics...". It holds, and nothing else of the user's:
//   about.txt           the program's version, the system, the data folder, what was left out;
//   logs/               the log files, newest first up to LogBytesLimit in all;
//   settings.conf       the settings, every credential and token removed;
//   simulators.txt      each simulator's folder and how it was found;
//   data-index.txt      the header of the local data index;
//   mapping.index       the mapping list;
//   locations.txt       the state of every mapped location;
//   journals/           the install journals that wait to be completed, listed in journals.txt.
// The token, the proxy password and the stored user id are removed from every entry in their clear,
// enciphered, Base64 and URL-encoded forms.
//
// Reads the disk only (the window calls it off its thread); the program's files are not changed. The zip
// is written beside `path` and takes its place only when complete, so a file already there stays until then.
class CDiagnosticsBundle
{
public:
    static constexpr qint64 LogBytesLimit = 64LL * 1024 * 1024;
    // The error number of a bundle that could not be written (the shared one of file errors).
    static constexpr int WriteFailed = 3;

    // `loadLocalIndex`: read the local data index and mapping list into the data index first (tessaray-cli);
    // the window, whose data index holds them already, passes false. False with `error` when the zip could
    // not be written.
    static bool write(const QString& path, bool loadLocalIndex, Exception* error);

    // Where each simulator with a root folder is, and how that was found: what simulators.txt lists and
    // the window's simulator page shows. Reads the settings, the registry and X-Plane's records (no
    // caching of what detection finds); off the window's thread.
    struct SimulatorFolder
    {
        int simulator;
        QString folder; // native separators; empty when not found
        QString how;    // "found by detection", "entered in the settings (simulators/FSX)" ...
        bool exists;
    };
    static QList<SimulatorFolder> simulatorFolders();

    // The texts that must not leave the machine, in every form in which they may stand in a file.
    static QStringList secretForms();
    // `text` with every one of `secrets` replaced by "<removed>".
    static QString scrubbed(QString text, const QStringList& secrets);
};
