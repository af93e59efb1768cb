#pragma once

#include <QString>

// The machine-wide registry of simulator roots, uninstall entries and shell folders.
//
// Windows reads and writes the native registry. Everywhere else an INI-like text file stands in for it,
// so that every rule that reads the registry runs and is tested the same way on Linux:
//
//     ; comment
//     [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
//     Common AppData=/srv/programdata
//
// Key paths and value names are matched without regard to case, as the registry does. A line of the file
// that is neither a key nor a value is skipped with a log line naming the file and the line, and the rest is
// read (see CRegistryFile). The file is `$TESSARAY_REGISTRY_FILE`, or "registry.ini" in the program's
// configuration folder.
class CRegistry
{
public:
    enum class View
    {
        Default,
        Registry64, // the 64-bit view of a 64-bit Windows; the stand-in has only one view
    };

    // Returns the value's text; an empty text when the key, the value or the store is missing or unreadable.
    static QString readValue(const QString& keyPath, const QString& valueName, View view = View::Default);

    // Returns false when the store could not be written, or (for the stand-in) when the name or data cannot
    // be written as one line. The stand-in keeps every other line of its file as it was, comments and
    // unreadable lines included.
    static bool writeValue(const QString& keyPath, const QString& valueName, const QString& data);
    static bool removeValue(const QString& keyPath, const QString& valueName);

    // The simulator lookups' way of reading a value: the hive is HKEY_CURRENT_USER when `keyPath` names it,
    // else HKEY_LOCAL_MACHINE; the key is `keyPath` + "\" + `subKey`. `defaultText` when the value is
    // missing or empty, or too long for the 1024-byte buffer the program reads into (over 511 characters).
    // Every probe is logged.
    static QString readRegistryValue(const QString& keyPath, const QString& subKey, const QString& valueName,
                                     const QString& defaultText = QString(), bool use64BitView = false);

    // Accepts "HKLM\..." / "HKCU\..." short forms, doubled and trailing backslashes and forward slashes;
    // returns "HKEY_LOCAL_MACHINE\A\B" style text. Normalising twice gives the same text.
    static QString normalizedKeyPath(const QString& keyPath);

    // The stand-in's file; empty on Windows.
    static QString standInFilePath();
};
