#pragma once

#include "dataindex/filemappingitem.h"

#include <QList>
#include <QString>

// One file of a package's file mapping, placed below an add-on folder.
struct PlannedFile
{
    QString entryName;  // its name inside a data or backup package: the record's source, "/" separated
    QString targetPath; // where it belongs: add-on folder + the record's parent + its destination
};

// Turns a package's file mapping into the files that an install, a backup or a restore handles below an
// add-on folder. A record whose parent, source or destination would reach outside the folder (absolute, a
// drive letter, "..") is refused, whatever the reader of the mapping let through: a package or a backup
// must never write elsewhere.
class CInstallPlan
{
public:
    // Folder records are skipped (a folder is made with the first file in it). False with `problem` at the
    // first record that leaves the add-on folder or names no file.
    static bool build(const QList<FileMappingItem*>& items, const QString& addonFolder, QList<PlannedFile>* files,
                      QString* problem);

    // The first entry name that two files of the plan share; empty when every name is its own. A backup
    // stores each file under its entry name, so such a plan would lose one of the two.
    static QString sharedEntryName(const QList<PlannedFile>& files);
};
