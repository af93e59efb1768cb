#pragma once

#include "commands/addonbackupinfo.h"
#include "commands/commandinfo.h"
#include "idisplayhost.h"
#include "model/imainwindowview.h"

#include <QHash>
#include <QMainWindow>
#include <QMap>
#include <QStringList>

#include <functional>

class CAddNewMappingItem;
class CAddonItemWidget;
class CContentDisplayBase;
class CDisplayChain;
class CLocalSocketIpcClient;
class CMainWindowModel;
class CLoginView;
class CMessageList;
class CSettingsView;
class CWaitingWidget;
class ISettingsPage;
class QAbstractButton;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

// What the window asks of its model beyond the view calls: answers it needs at once (backups, busy
// tasks, unsaved mappings) and actions that return nothing. Set by whoever wires the window to its
// model; a test sets its own.
struct CMainWindowHooks
{
    std::function<QList<AddonBackupInfo>(const QUuid&, const QUuid&)> queryBackupItems;
    std::function<bool(const AddonBackupInfo&)> removeBackup;
    std::function<bool()> hasRunningTasks;
    std::function<bool()> isMappingChanged;
    std::function<void()> saveMapping;
    std::function<void()> revertMapping;
    std::function<void(const QMap<QString, bool>&)> storeCheckedStates;
};

// The program's one window: view buttons, the stacked pages (add-on list and mappings, settings, log-in,
// simulator folders), the list items, the message list, the waiting overlay and the status bar. It owns
// no data: the model fills it through the view calls and hears back through signals and hooks.
class CMainWindow : public QMainWindow, public IMainWindowView, public IDisplayHost
{
    Q_OBJECT

public:
    // Sort orders, stored in program/sortby: field × 2, + 1 for descending. Don't renumber.
    enum ESortOrder
    {
        SortNameAscending = 0,
        SortNameDescending = 1,
        SortSimulatorAscending = 2,
        SortSimulatorDescending = 3,
        SortStatusAscending = 4,
        SortStatusDescending = 5,
    };

    explicit CMainWindow(QWidget* parent = nullptr);
    ~CMainWindow() override;

    // Creates the model, connects the window to it and starts it on this window: the start-up sequence, then
    // the list. Called once, after the window is shown.
    void initializeModel();
    CMainWindowModel* model() const { return m_model; }

    void setHooks(const CMainWindowHooks& hooks) { m_hooks = hooks; }
    // Asks `question` through this instead of a message box (tests answer here).
    using QuestionAnswerer = std::function<int(const QString&, const QString&, const QStringList&)>;
    void setQuestionAnswerer(QuestionAnswerer answerer) { m_answerer = std::move(answerer); }
    using FileAnswerer = std::function<QString(const QString& title)>;
    void setFileAnswerer(FileAnswerer answerer) { m_fileAnswerer = std::move(answerer); }
    // Sends the agent's quit message to this server instead (tests).
    void setAgentServerName(const QString& name);
    // Asks for a proxy's user name and password through this instead of the dialog (tests).
    using ProxyCredentialsAnswerer =
        std::function<bool(const QString& proxyName, QString* userName, QString* password)>;
    void setProxyCredentialsAnswerer(ProxyCredentialsAnswerer answerer) { m_proxyAnswerer = std::move(answerer); }
    // What the network layer asks when a proxy wants a user name and password: once per proxy in a run.
    bool askProxyCredentials(const QString& proxyName, QString* userName, QString* password);

    // The view calls.
    void switchView(int view) override;
    void setUserStatus(const QString& userName, const QString& cycle) override;
    void clearItems() override;
    void addMappedAddon(const AddonItemRecord& item) override;
    void updateItem(const AddonItemRecord& item) override;
    void onAddonRemoved(const QUuid& addonGuid, const QUuid& mappingGuid) override;
    void setLoadingIconVisible(const ItemActivity& activity) override;
    void setItemProgress(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& line,
                         const QString& shortText, int percent) override;
    void sortItem(int order) override;
    void generateBackupMenu(const QUuid& addonGuid, const QUuid& mappingGuid) override;
    void checkForScannignAddons() override;
    void addMessage(int type, const QString& text) override;
    void removeMessage(const QString& text) override;
    void showLoginMessage(const QString& text) override;
    void displayWaitingMessage(const QString& text) override;
    void hideWaitingScreen() override;
    QString getExistingDirectory(const QString& title, const QString& start) override;
    QString getOpenFileName(const QString& title, const QString& filter) override;
    QString getSaveFileName(const QString& title, const QString& proposed, const QString& filter) override;
    int question(const QString& title, const QString& text, const QStringList& buttons) override;
    void information(const QString& title, const QString& text) override;

    // What the view chain arranges.
    QWidget* hostWidget() override { return this; }
    int currentView() const override { return m_currentView; }
    void setCurrentView(int view) override;
    QStackedWidget* contentStack() const override { return m_stack; }
    QAbstractButton* viewButton(int view) const override;
    ISettingsPage* settingsPage() const override { return m_settings; }
    void resetCommonWidgets() override;
    void showListPage(bool mapping) override;
    bool hasUnsavedMappings() const override;
    void saveMappings() override;
    void revertMappings() override;

    CDisplayChain* displayChain() const { return m_chain; }
    // The settings view, unless a test put another page in its place.
    CSettingsView* settingsView() const;
    // Puts another settings page in the settings view's place (tests).
    void setSettingsPage(ISettingsPage* page, QWidget* widget);
    CLoginView* loginView() const { return m_loginView; }
    CMessageList* messageList() const { return m_messages; }
    CWaitingWidget* waitingWidget() const { return m_waiting; }

    QList<CAddonItemWidget*> items() const;
    CAddonItemWidget* item(const QUuid& addonGuid, const QUuid& mappingGuid) const;
    // The backup menu that the restore buttons open, as generateBackupMenu filled it last.
    QMenu* backupMenu() const { return m_backupMenu; }
    int sortOrder() const { return m_sortOrder; }
    // The checked state of every item, by item key.
    QMap<QString, bool> checkedStates() const;

signals:
    void operationButtonClicked(const CommandButtonClickedInfo& info);
    void setFilter(const QString& text);
    void cancelRequested(const CommandInfo& info);
    void cancelAllRequested();
    void scanRequested();
    void addRequested();
    void refreshRequested();
    void importMappingRequested(const QString& file);
    void exportMappingRequested(const QString& file);
    // The editor row's result: a mapping to add (unsaved until the mappings are saved).
    void addNewAddon(const AddonInsertInfo& info);
    // A link in a message (the offline message's "retry").
    void messageLinkActivated(const QString& link);

public slots:
    // Shows the window in front of the others, restored if it was minimized.
    void bringToFront();
    void onSelectOutdatedMenuItemClicked();
    void onSelectInverseMenuItemClicked();
    void onSelectErroneousMenuItemClicked();
    void onSelectAllMenuItemClicked();
    void onSelectNoneMenuItemClicked();
    void onRestoreItemButtonClicked();
    void onRefreshItemButtonClicked();
    void onSortingItemTriggered(QAction* action);
    void onImportClicked();
    // Opens the editor row above the mappings (the "Add" button).
    void onAddClicked();
    void closeEditorRow();
    void onExportClicked();
    // Help → "Save Diagnostics...": asks where, writes the bundle on a worker thread, says how it went.
    void saveDiagnostics();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupUi();
    QWidget* buildHeader();
    QWidget* buildListPage();
    QWidget* buildListToolBar();
    QWidget* buildMappingToolBar();
    void buildShortcuts();
    void registerViewChain();
    void applyStyle();
    void restoreWindowState();
    CAddonItemWidget* createItem(const AddonItemRecord& record);
    void applyFilter();
    void updateEmptyText();
    void emitForChecked(int type);
    void fillBackupMenu(CAddonItemWidget* item);
    void deleteBackup(const AddonBackupInfo& backup);
    void updateSelectAllBox();
    void setSelectAllBox(bool allChecked);

    // In cmainwindowhelp.cpp: the Help menu, the settings view's wiring, the proxy and connection problems.
    void buildHelpMenu();
    void setUpSettingsView(CSettingsView* view);
    void showConnectionProblem();

    CMainWindowHooks m_hooks;
    QuestionAnswerer m_answerer;
    FileAnswerer m_fileAnswerer;
    ProxyCredentialsAnswerer m_proxyAnswerer;
    QStringList m_proxiesAsked;
    QString m_shownConnectionProblem;
    QAction* m_diagnosticsAction = nullptr;
    CLocalSocketIpcClient* m_agent;
    CMainWindowModel* m_model = nullptr;

    QStackedWidget* m_stack = nullptr;
    QHash<int, QPushButton*> m_viewButtons;
    QLabel* m_logo = nullptr;
    QLabel* m_welcome = nullptr;
    CMessageList* m_messages = nullptr;
    CWaitingWidget* m_waiting = nullptr;
    CLoginView* m_loginView = nullptr;
    ISettingsPage* m_settings = nullptr;
    QWidget* m_settingsWidget = nullptr;

    QWidget* m_listToolBar = nullptr;
    QWidget* m_mappingToolBar = nullptr;
    CAddNewMappingItem* m_editorRow = nullptr;
    QLabel* m_modeLabel = nullptr;
    QCheckBox* m_selectAll = nullptr;
    QToolButton* m_sortButton = nullptr;
    QMenu* m_sortMenu = nullptr;
    QMenu* m_backupMenu = nullptr;
    QLineEdit* m_filter = nullptr;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_itemLayout = nullptr;
    QLabel* m_emptyLabel = nullptr;
    QLabel* m_statusText = nullptr;
    QLabel* m_credit = nullptr;
    QHash<QString, CAddonItemWidget*> m_items;
    bool m_mappingMode = false;
    int m_sortOrder = SortStatusAscending;

    QList<CContentDisplayBase*> m_handlers;
    CDisplayChain* m_chain = nullptr;
    int m_currentView = 0;
};
