#pragma once

#include <QStandardPaths>
#include <QString>

// The user's folders as the system reports them, with the overrides that tests and the demo use to point
// the program at a scratch home: $HOME is honoured on every system, and %LOCALAPPDATA% on Windows.
class CStandardLocations
{
public:
    // $HOME when it is set, else QDir::homePath(). No trailing separator.
    static QString homePath();

    // Windows: %LOCALAPPDATA%, or "AppData/Local" below the home folder when that is unset.
    // Elsewhere an empty text: the system has no such folder.
    static QString localAppDataPath();

    // The first of QStandardPaths::standardLocations(type); an empty text when the list is empty.
    static QString firstLocation(QStandardPaths::StandardLocation type);

    // An environment variable looked up without regard to the letter case of its name, as Windows does,
    // so that "CommonProgramFiles" and "commonprogramfiles" name the same value everywhere.
    static QString environmentValue(const QString& name);
};
