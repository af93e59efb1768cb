#pragma once

#include <QList>
#include <QString>
#include <QUuid>

// Where a mapped add-on location stands against the data index: what the window shows on each item and
// `tessaray-cli status` prints, worked out once, here, for both. It is also the copy of the location's
// records that a command takes when it is made.
struct AddonStatus
{
    enum State
    {
        Updated,      // the installed package is the index's cycle and revision
        Outdated,     // anything else that is installed
        Restored,     // the installed package came from a backup
        NotInstalled, // no package installed in the folder yet
        Missing,      // the folder itself is gone (a moved or uninstalled simulator)
        Interrupted,  // an install or restore waits to be completed; the files may be mixed
        Unsupported,  // the data index no longer lists the add-on: nothing to update it with
    };

    QUuid addonGuid;
    QUuid mappingGuid;
    QString name;
    QString simulator; // short name
    QString folder;    // empty when there is no such mapped location
    int installedCycle = 0;
    int installedRevision = 0;
    int currentCycle = 0; // the data index's, for this simulator
    int currentRevision = 0;
    bool supported = false; // the data index lists the add-on
    QString masterfile;     // the index's package file name, and its internal id: what an update asks for
    QString internalId;
    State state = NotInstalled;
    QString reason; // why an interrupted install is still pending

    // "updated", "outdated", "restored", "not installed", "missing", "interrupted", "unsupported".
    static QString stateText(State state);
    QString stateText() const { return stateText(state); }
    bool isMapped() const { return !folder.isEmpty(); }
    // Whether an update has something to install: the index lists the add-on, and what is installed is not it.
    bool needsUpdate() const
    {
        return supported && (state == Outdated || state == NotInstalled || state == Interrupted);
    }
    // Whether there may be installed files to back up (an interrupted install is completed first).
    bool canBackUp() const { return state != NotInstalled && state != Missing; }
};

class CAddonStatus
{
public:
    // The status of one mapped location of the data index (a default record when there is no such mapping),
    // read from the disk: a pending install journal makes it "interrupted", whatever the mapping file says.
    static AddonStatus of(const QUuid& addonGuid, const QUuid& mappingGuid);
    // The two halves of of(): what the data index says (on its thread; the state is not known yet and reads
    // NotInstalled), and what the disk says, which may wait on a slow or network drive and so may run on any
    // thread. A record without a location is left as it is.
    static AddonStatus fromIndex(const QUuid& addonGuid, const QUuid& mappingGuid);
    static void readDisk(AddonStatus* status);
    // Every mapped location, in the order of the add-on and mapping GUIDs.
    static QList<AddonStatus> all();
};
