#pragma once

#include "commands/addonbackupinfo.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

// What the window hands the model when an item's (or a bulk) button is pressed.
struct CommandButtonClickedInfo
{
    QUuid addonGuid;
    QUuid mappingGuid;
    int type = 0;           // ECommandType
    AddonBackupInfo backup; // restores: the chosen package
    // Restores: 1 puts the package back into the add-on's folder; 2 ("View") extracts it into a new folder of
    // its own and shows that folder, leaving what is installed alone.
    int restoreMode = 1;
};

// The status an item shows. The values pick the window's tool tips: don't renumber.
enum EItemStatus
{
    ItemError = 0,
    ItemOutdated = 1,
    ItemRestored = 2,
    ItemUpdated = 3,
    ItemUpdating = 4,
    ItemNotInstalled = 5,
    ItemMissing = 6,     // the folder is gone: scan again
    ItemInterrupted = 7, // an install waits to be completed
    ItemUnsupported = 8, // the data index no longer lists the add-on
    ItemChecking = 9,    // the installed files are being read; the status follows
};

// One add-on location as its list item shows it.
struct AddonItemRecord
{
    QUuid addonGuid;
    QUuid mappingGuid;
    QString name;
    QString simulator; // short name
    QString platform;
    QString directory;
    bool checked = false;
    bool specified = false; // mapped by hand
    bool backup = false;    // the installed package is a restored backup
    QDateTime backupDate;
    int cycle = 0; // installed
    int revision = 0;
    int currentCycle = 0; // the data index's
    int currentRevision = 0;
    int status = ItemNotInstalled;
    // The item's status line: a task's error, or why the status could not be settled.
    QString statusText;
};

// The progress ring of an item. `code` is the command's phase, + 1024 while it only waits in the queue.
struct ItemActivity
{
    QUuid addonGuid;
    QUuid mappingGuid;
    QString text;
    bool visible = false;
    int code = 0;
    int reserved = 0;
};

// A mapping the editor worked out, for the model to add.
struct AddonInsertInfo
{
    QUuid addonGuid;
    QString name;
    int simulator = 0; // a simulator flag
    QString folder;    // native separators
};

// Everything the model asks of the main window. The model owns no widget and calls only these; a test
// implements it with recorded calls and scripted answers. Every call comes on the GUI thread.
class IMainWindowView
{
public:
    virtual ~IMainWindowView() = default;

    // 1 add-on list, 2 add-on mappings, 3 settings, 4 log-in, 5 simulator mapping.
    virtual void switchView(int view) = 0;
    // The welcome line: the signed-in user and the current cycle (empty while unknown).
    virtual void setUserStatus(const QString& userName, const QString& cycle) = 0;

    // List items, one per mapped location, keyed by the two GUIDs.
    virtual void clearItems() = 0;
    virtual void addMappedAddon(const AddonItemRecord& item) = 0;
    virtual void updateItem(const AddonItemRecord& item) = 0;
    virtual void onAddonRemoved(const QUuid& addonGuid, const QUuid& mappingGuid) = 0;
    virtual void setLoadingIconVisible(const ItemActivity& activity) = 0;
    // A running command's progress: the window's line and the item's short text.
    virtual void setItemProgress(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& line,
                                 const QString& shortText, int percent) = 0;
    virtual void sortItem(int order) = 0;
    // Builds the item's backup menu from the model's queryBackupItems. The model calls it too, when a read of
    // the backups of the item it was last asked about finds another list than it gave.
    virtual void generateBackupMenu(const QUuid& addonGuid, const QUuid& mappingGuid) = 0;
    // Asks whether to scan when nothing is mapped (the window's own prompt and its answers).
    virtual void checkForScannignAddons() = 0;

    // The message list: `type` is the message level (1 information ... 8 error that stays).
    virtual void addMessage(int type, const QString& text) = 0;
    virtual void removeMessage(const QString& text) = 0;
    // The log-in page's own message line.
    virtual void showLoginMessage(const QString& text) = 0;

    // The waiting overlay.
    virtual void displayWaitingMessage(const QString& text) = 0;
    virtual void hideWaitingScreen() = 0;

    // Dialogs. An empty text means the user cancelled.
    virtual QString getExistingDirectory(const QString& title, const QString& start) = 0;
    virtual QString getOpenFileName(const QString& title, const QString& filter) = 0;
    virtual QString getSaveFileName(const QString& title, const QString& proposed, const QString& filter) = 0;
    // The index of the chosen button, -1 when the box was closed.
    virtual int question(const QString& title, const QString& text, const QStringList& buttons) = 0;
    virtual void information(const QString& title, const QString& text) = 0;
};

Q_DECLARE_METATYPE(CommandButtonClickedInfo)
Q_DECLARE_METATYPE(AddonItemRecord)
Q_DECLARE_METATYPE(AddonInsertInfo)
