#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The values the settings view shows and stores, as read from "settings.conf" when the view was filled.
// The defaults are the view's own where they differ from the rest of the program's (remember sorting is on,
// the notification interval is "every 2 hours" when the keys are absent).
struct CSettingsRecord
{
    bool autoBackup = true;
    bool removeOldBackup = false;
    QString backupPath;
    bool autoStart = true;
    bool rememberSorting = true;
    int updateInterval = 1;
    QString serverAddress;
    bool enableProxy = false;
    QString proxyAddress;
    int proxyPort = 80;
    bool proxyUseAuth = false;
    bool useTheme = true;
    QString proxyUserName;
    QString proxyPassword; // clear text here; enciphered in the file
    QString proxyDomain;
    int disabledSimulators = 0;
    int chunkSize = 16;
    QString downloadRegion;
    // Simulator flag → root folder, as stored or detected (empty when neither).
    QMap<int, QString> simulatorPaths;

    bool operator==(const CSettingsRecord& other) const;
    bool operator!=(const CSettingsRecord& other) const { return !(*this == other); }

    // Every key of the record from the settings file; the roots of the simulators that have one. The
    // download region is the stored one, else the signed-in user's, else the first region the service
    // named.
    static CSettingsRecord stored();

    // What store() could not do, for the user to read ("The folder ... does not exist ...").
    struct Outcome
    {
        QStringList problems;
    };

    // Writes `record` to the settings file. Only the values that differ from `shown` (what the view was
    // filled with) are written, so that what another part of the program stored meanwhile (the proxy
    // prompt's answer, a scan's roots) is not put back to what the view happened to show.
    // - An empty or relative backup path keeps the stored one; another is created with its parents, and
    //   stored as empty (the default folder) when that fails.
    // - A simulator folder is stored only when it names something on disk; an emptied one goes back to
    //   detection.
    // - The agent's start with the system is written to or removed from the registry at every save when
    //   `agentProgram` names the agent (empty: no agent on this system, the registry is left alone).
    // `*written` is the record as the file now holds it (the kept backup path, the folders not stored).
    static Outcome store(const CSettingsRecord& record, const CSettingsRecord& shown, const QString& agentProgram,
                         CSettingsRecord* written);

    // The registry key and value of the agent's start with the system.
    static const QString RunKey;
    static const QString RunValueName;
};
