#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Steam's record of where games are installed: the Steam folders of this user, the libraries listed in
// their "libraryfolders.vdf", and the app manifests ("appmanifest_<id>.acf") in each library's "steamapps".
// Every probe of the disk is logged.
class CSteamLibraries
{
public:
    // The Steam folders that exist for this user (home folder from CStandardLocations, so that tests can
    // lay them out in a scratch home).
    static QStringList steamRoots();

    // Every library folder that exists: the Steam folders themselves and each library their
    // "libraryfolders.vdf" lists; each folder once, however many links lead to it.
    static QStringList libraries();

    // The install folder of a Steam app in one of the libraries: the "installdir" of its manifest, below
    // "steamapps/common"; an empty text when no library has the app installed.
    static QString appFolder(const QString& appId);

    // A folder below "steamapps/common" of any library, its name matched without regard to case.
    static QString commonFolder(const QString& name);

    // The library paths of a "libraryfolders.vdf" text: numbered blocks with a "path" (current Steam) or
    // numbered values (older Steam). Malformed text gives what was read before the fault.
    static QStringList libraryPathsFromVdf(const QByteArray& text);

    // The "installdir" of an "appmanifest_<id>.acf" text; empty when missing.
    static QString installDirFromManifest(const QByteArray& text);
};
