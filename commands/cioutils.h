#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

struct CommandInfo;

// Where the program keeps its files, and the file and path helpers every part shares.
// Stateless: nothing is cached; every call reads the environment, the registry or the settings again.
class CIOUtils : public QObject
{
    Q_OBJECT

public:
    // The program data directory shared by all users; always ends with a separator. Not created here.
    //   1. $TESSARAY_DATA_DIR when set;
    //   2. the registry's "Common AppData" shell folder + "Brelvar/FMSClient/" when that value is present;
    //   3. Windows: the application directory before Vista, else the first drive's "ProgramData" folder;
    //      elsewhere the generic data location + "/Brelvar/FMSClient/".
    static QString dataDirectory();

    // Step 2 and 3 of dataDirectory() as a pure rule, so that the Windows fall-backs can be exercised anywhere.
    // `windowsVersion` is QSysInfo::WinVersion's value (0x80 is Vista); `firstDrive` the first of QDir::drives().
    static QString windowsDataDirectory(const QString& commonAppData, int windowsVersion, const QString& firstDrive,
                                        const QString& applicationDirectory);

    static QString settingsFilePath();
    static QString dataIndexFilePath();
    static QString mappingListFilePath();
    // The log folder is created with its parents by every call.
    static QString logFilePath(const QString& fileName);

    // The web service's base address: the setting "server/address", or the built-in default.
    static QString serverAddress();

    // QDir::cleanPath of a + separator + b.
    static QString joinPath(const QString& a, const QString& b);

    // The setting "program/backuppath", trimmed; when blank, the data directory's "backup" folder. Not
    // created here.
    static QString backupFolder();
    // backupFolder() + "backup.index".
    static QString backupListFilePath();
    // This user's own folder for the program's working files (downloads, temporary files, folders restored
    // for a look): "Brelvar/FMSClient" in the user's local application data on Windows, in the user's cache
    // folder elsewhere; never a folder that other users share. Not created here (see makePrivateFolder()).
    static QString privateRoot();
    // privateRoot() + "downloads": a folder per mapping for its data packages, kept to resume.
    static QString downloadRoot();
    // privateRoot() + "temp": working folders of one run, named after the mapping they serve.
    static QString temporaryRoot();
    // Makes `relative` below privateRoot(), and every folder between, folders of the program's own: created
    // by it, private to the user (mode 700), and refused when one is a link (CSafeFolder). The folder's
    // path, or an empty text with `problem`.
    static QString makePrivateFolder(const QString& relative, QString* problem);
    // The GUID without braces + ".index": the name of an installed package's file mapping.
    static QString packageIndexName(const QUuid& addonGuid);
    // The file mapping of the package installed in `addonFolder`.
    static QString installedIndexPath(const QString& addonFolder, const CommandInfo& info);
    static QString installedIndexPath(const QString& addonFolder, const QUuid& addonGuid);

    // Native separators (a backslash is one on every system: index texts are Windows paths), then "//" and
    // "\\" each replaced by one separator, once over the text.
    static QString normalizePath(const QString& path);
    // Every "/" replaced by "\".
    static QString toBackslashes(const QString& path);
    // Every "[SIMROOT]" replaced by `root` (letter case counts).
    static QString replaceSimRoot(const QString& path, const QString& root);

    // The check hash of a package: the MD5 of its first 1024 bytes as 32 lower-case hexadecimal digits; an
    // empty text for a file shorter than 1024 bytes, missing or unreadable. Packages that differ only later
    // have the same hash.
    static QString fileHash(const QString& path);

    // Deletes one file of the backup folder; false when it could not be deleted, or when `name` would
    // reach outside the backup folder (absolute, drive letter, "..").
    static bool removeBackupFile(const QString& name);

    // Shows the file selected in the system's file browser; a browser that can't be started is ignored.
    static void showInExplorer(const QString& path);

    // The root folder of a simulator (see CSimulatorRoots): the setting "simulators/" + short name, else
    // what the registry and X-Plane's and Steam's records give; empty when disabled (unless
    // `ignoreDisabled`) or not installed.
    static QString simulatorRoot(int simulator, bool ignoreDisabled = false);
    // Stores a user's simulator folder as the setting "simulators/" + short name; a blank folder removes it.
    static void setSimulatorRoot(int simulator, const QString& folder);
    // A registry value, read as the simulator lookups read it (see CRegistry::readRegistryValue).
    static QString readRegistryValue(const QString& keyPath, const QString& subKey, const QString& valueName,
                                     const QString& defaultText = QString(), bool use64BitView = false);
    // The index's path placeholders ("[FSXROOT]", "[APPDATA]" ...) replaced by their values here.
    static QString resolvePlaceholders(const QString& path);

    // The path for display: below a simulator root, the root is shown as its token ("<FSX>" and a
    // separator), found without regard to letter case; always ends with a separator.
    static QString displayPath(const QString& path);
    // displayPath() shortened in the middle to about `maximumLength` characters: the first and last
    // elements stay, and as many elements beside them as fit; the rest becomes `fill` repeated
    // `fillCount` times.
    static QString elidePath(const QString& path, int maximumLength, const QString& fill = QStringLiteral("."),
                             int fillCount = 3);

    // The display token of a simulator root ("<XP11>" and a native separator); empty for flags without one.
    static QString displayToken(int simulator);
};
