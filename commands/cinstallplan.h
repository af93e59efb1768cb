#pragma once

#include "dataindex/filemappingitem.h"

#include <QList>
#include <QString>
#include <QStringList>

// One file of a package's file mapping, placed below an add-on folder.
struct PlannedFile
{
    QString entryName;  // its name inside a data or backup package: the record's source, "/" separated
    QString targetPath; // where it belongs: add-on folder + the record's parent + its destination
};

// Turns a package's file mapping into the files that an install, a backup or a restore handles below an
// add-on folder. A record whose parent, source or destination would reach outside the folder (absolute, a
// drive letter, "..") is refused, whatever the reader of the mapping let through: a package or a backup
// must never write elsewhere. So is a mapping that puts two files in one place, where one would silently
// replace the other.
//
// The mapping spells paths as the add-on's makers did on Windows; a folder copied onto a file system that
// tells letter case apart may spell them otherwise ("Nav" for "nav"). Each target path takes the disk's
// spelling of every element that exists in another case, so that an install replaces, and a backup finds,
// the files that are there.
class CInstallPlan
{
public:
    // Folder records are skipped (a folder is made with the first file in it). False with `problem` at the
    // first record that leaves the add-on folder, names no file, or goes where another one goes. With an
    // empty `addonFolder` the targets are relative, as they are spelled.
    static bool build(const QList<FileMappingItem*>& items, const QString& addonFolder, QList<PlannedFile>* files,
                      QString* problem);

    // The first entry name that two files of the plan share; empty when every name is its own. A backup
    // stores each file under its entry name, so such a plan would lose one of the two.
    static QString sharedEntryName(const QList<PlannedFile>& files);

    // The first name that `names` (a package's entries) holds twice, "\\" and "/" taken as one separator and
    // letter case ignored, as the files would collide on Windows; empty when every name is its own. Which of
    // two such entries a reader takes is anybody's guess, so such a package is refused.
    static QString duplicateName(const QStringList& names);
};
