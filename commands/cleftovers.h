#pragma once

#include <QList>
#include <QString>
#include <QUuid>

// What runs that were killed, failed or abandoned leave behind, and its removal: the program's own files
// only, recognised by their names, and folders removed without following links (CSafeFolder).
class CLeftovers
{
public:
    // Removes what earlier runs for the location left: write probes in the add-on folder, the mapping's
    // download folder unless it holds a download to resume (then only the probes in it), backup packages that were
    // never finished (".<mapping>_*.part") and the file mapping copies made for them ("<mapping>_*.mapping") in
    // `backupFolder`, and the mapping's working folders in the temporary folder. Only for a command that holds the
    // location's lock, so that nothing of a running command is touched; probes in the backup folder, which every
    // location shares, only once they are a minute old.
    static void sweepLocation(const QUuid& mappingGuid, const QString& addonFolder, const QString& backupFolder);

    // Removes the download and working folders of mappings that are no longer mapped (`mapped` holds those
    // that are); at start, once the mapping list has been read.
    static void sweepAbandoned(const QList<QUuid>& mapped);
};
