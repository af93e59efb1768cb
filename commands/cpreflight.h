#pragma once

#include "commands/cinstallplan.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

// What must hold before a command touches any file. Each check says, when it fails, what is missing and how
// much, so that the user can act before anything has changed.
class CPreflight
{
public:
    // The add-on's mapped folder exists (a moved or uninstalled simulator takes it away) and can be written.
    static bool addonFolder(const QString& folder, QString* problem);
    // `folder` exists or can be made, and a file can be written in it; `purpose` names it ("backup folder").
    static bool writableFolder(const QString& folder, const QString& purpose, QString* problem);
    // writableFolder() for a folder below the user's private folder (CIOUtils::privateRoot()): it and every
    // folder above it up to that root are made by the program itself, private to the user, and refused when
    // one is a link.
    static bool privateFolder(const QString& folder, const QString& purpose, QString* problem);
    // The volume that holds (or will hold) `folder` has `bytes` free, with a small margin.
    static bool freeSpace(const QString& folder, qint64 bytes, const QString& purpose, QString* problem);

    // Before the files of `files` go in place below `addonFolder`: no installed file that they replace is
    // marked read-only (named as such: the install would fail on it), and every folder they go to is on the
    // add-on folder's volume, where the install's staging is (a sub-folder on another volume is refused
    // here rather than failing the install after the download).
    static bool replaceable(const QString& addonFolder, const QList<PlannedFile>& files, QString* problem);
    // replaceable() for the files the installed package of the add-on names (nothing when none is
    // installed): what is known before a download.
    static bool installedReplaceable(const QString& addonFolder, const QUuid& addonGuid, const QString& simulator,
                                     QString* problem);

    // Everything that must hold before the files of an opened package go in place below `addonFolder`: every
    // file replaceable(); room on each volume for the new files, the copies the install keeps, and (when
    // `backupFolder` is given) the `backupBytes` of a backup, counted once where the folders share a volume.
    static bool beforeInstall(const class CPackage& package, const QString& addonFolder, const QString& backupFolder,
                              qint64 backupBytes, QString* problem);

    // What a command will write, folder by folder; the folders that share a volume share its free space.
    class Budget
    {
    public:
        void add(const QString& folder, qint64 bytes, const QString& purpose);
        // Each volume has room for the sum of what goes onto it, with the margin. False with `problem` naming
        // the volume, what goes there and how much is missing.
        bool check(QString* problem) const;

    private:
        struct Need
        {
            QString folder;
            qint64 bytes;
            QString purpose;
        };
        QList<Need> m_needs;
    };

    // What installing `files` below `addonFolder` takes on its volume: each new file (`sizes`, by entry name)
    // rounded up to the volume's cluster, and, where the volume has no hard links (FAT, exFAT, many network
    // shares), a full copy of every file it replaces, which the install keeps until it is done.
    static qint64 installSpace(const QString& addonFolder, const QList<PlannedFile>& files,
                               const QHash<QString, qint64>& sizes);

    // Whether the volume of `folder` keeps a second name for a file without copying it (tried for real).
    static bool hasHardLinks(const QString& folder);

    // The name pattern of the probe files; the next command for a location removes the ones a killed run left.
    static QString probePattern();

    // "12.3 MB": sizes as the messages show them (1 MB = 10^6 bytes).
    static QString sizeText(qint64 bytes);
};
