#pragma once

#include <QStandardPaths>
#include <QString>

// The placeholders of the index's paths ("[FSXROOT]\SimObjects", "[APPDATA]\Vendor") and their values on
// this machine. Placeholders are upper-case words in square brackets, matched with their letter case.
//
// Left alone here: the markers "[PROGRAMROOT]", "[REGPATH]" and "[ADDONROOT]", which the search fills in,
// and "[SIMROOT]", "[SYSTEMDRIVE]", "[PUBLIC]" and "[NONE]", which the installer fills in.
class CPathPlaceholders
{
public:
    struct RootReplacement
    {
        QString path;        // the text with the placeholder replaced
        QString placeholder; // which one was replaced; empty when none
        int simulator = 0;   // its simulator flag, 0 for "[PROGRAMDATA]" and "[COMMONPROGRAMFILES(X86)]"
        QString value;       // what it was replaced by (empty for a missing or disabled simulator)
    };

    // Replaces the first placeholder present of: the ten simulator roots (in table order),
    // "[PROGRAMDATA]", "[COMMONPROGRAMFILES(X86)]". Only one kind is replaced in a path, so a path naming
    // two simulators keeps the second placeholder (and then names nothing). A disabled or missing
    // simulator leaves the separator and the rest of the path.
    static RootReplacement replaceRootPlaceholder(const QString& path);

    // Replaces every placeholder of a standard location present, in ascending order of the placeholder
    // text, normalising the path after each. A location the system doesn't have leaves its placeholder.
    static QString replaceStandardLocations(const QString& path);

    // Both of the above, as the index reader applies them to a location's directory: the result has native
    // separators and no doubled separators.
    static QString resolve(const QString& path);

    // "[PROGRAMDATA]": the registry's "Common AppData" folder with a separator, or the program's own data
    // folder when the registry has no such value.
    static QString programDataFolder();
    // "[COMMONPROGRAMFILES(X86)]": the environment's "CommonProgramFiles(x86)", else "CommonProgramFiles".
    static QString commonProgramFilesFolder();
    // A standard location with the program's own name removed from its end, since the placeholders name the
    // shared folders ("[APPDATA]\Vendor" is the vendor's folder, not one inside ours).
    static QString standardLocation(QStandardPaths::StandardLocation type);

    // Native separators; "\\" and "//" made single until none is left.
    static QString collapseSeparators(const QString& path);
};
