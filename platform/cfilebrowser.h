#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Shows a file selected in the system's file browser: Explorer's "/select," on Windows, Finder's reveal on
// macOS, and elsewhere the desktop's file manager through the freedesktop FileManager1 interface, falling
// back to opening the file's folder.
class CFileBrowser
{
public:
    struct Launch
    {
        QString program;
        QStringList arguments;
    };

    // The program to start for `path` (a native or Windows-form path). One launch per system; on Linux a
    // small shell line that tries the file manager interface and then the folder.
    static Launch launchFor(const QString& path);

    // Starts the launch detached; false when the program could not be started. The browser's own success
    // is not awaited.
    static bool showFile(const QString& path);
};
