#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

// Where the program keeps the files of its commands (backups, downloads, working folders) and the path helpers
// the commands and the window share; the data folder's own files are CDataLocations'. Stateless: nothing is
// cached; every call reads the environment or the settings again.
class CIOUtils : public QObject
{
    Q_OBJECT

public:
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
    // Native separators (a backslash is one on every system: index texts are Windows paths), then "//" and
    // "\\" each replaced by one separator, once over the text.
    static QString normalizePath(const QString& path);
    // The check hash of a package: the MD5 of its first 1024 bytes as 32 lower-case hexadecimal digits; an
    // empty text for a file shorter than 1024 bytes, missing or unreadable. Packages that differ only later
    // have the same hash.
    static QString fileHash(const QString& path);

    // Removes a file a command made and no longer wants (a package it could not finish or record); one that
    // can't be removed is logged, and the location's next command sweeps it.
    static void discard(const QString& path);

    // Deletes one file of the backup folder; false when it could not be deleted, or when `name` would
    // reach outside the backup folder (absolute, drive letter, "..").
    static bool removeBackupFile(const QString& name);

    // Shows the file selected in the system's file browser; a browser that can't be started is ignored.
    static void showInExplorer(const QString& path);

    // The path for display: below a simulator root, the root is shown as its token ("<FSX>" and a
    // separator), found without regard to letter case; always ends with a separator.
    static QString displayPath(const QString& path);
    // displayPath() shortened in the middle to about `maximumLength` characters: the first and last
    // elements stay, and as many elements beside them as fit; the rest becomes `fill` repeated
    // `fillCount` times.
    static QString elidePath(const QString& path, int maximumLength, const QString& fill = QStringLiteral("."),
                             int fillCount = 3);
};
