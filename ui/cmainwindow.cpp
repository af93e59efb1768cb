#include "cmainwindow.h"

#include "caddnewmappingitem.h"
#include "caddonitemwidget.h"
#include "cdisplaychain.h"
#include "cloginview.h"
#include "cmessagelist.h"
#include "csettingsview.h"
#include "csimulatorfolderspage.h"
#include "cwaitingwidget.h"
#include "foundation/clocalsocketipcclient.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cmainwindowmodel.h"
#include "model/cmappingeditor.h"
#include "webservices/cnetworkaccess.h"
#include "webservices/cnetworkstatus.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
// Where the import and export dialogs open next time.
const QString LastMappingFolderKey = QStringLiteral("window/lastmappingfolder");

QToolButton* toolButton(QWidget* parent, const QString& name, const QString& text, const QString& icon,
                        const QString& toolTip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(18, 18));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setToolTip(toolTip);
    return button;
}
} // namespace

// The images live in this static library: the program that links it must register them.
static void initResources()
{
    Q_INIT_RESOURCE(tessaray);
}

CMainWindow::CMainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_agent(new CLocalSocketIpcClient(this))
{
    initResources();
    qRegisterMetaType<CommandButtonClickedInfo>();
    qRegisterMetaType<CommandInfo>();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Brelvar Tessaray"));
    setWindowIcon(QIcon(QStringLiteral(":/main/images/tessaray.png")));
    BV_LOG(1, QStringLiteral("Setting up UI"));
    setupUi();
    BV_LOG(1, QStringLiteral("Finish setup UI"));
    BV_LOG(1, QStringLiteral("Main Window loaded."));
    registerViewChain();
    applyStyle();
    restoreWindowState();
    // A proxy that wants a user name and password, met by any request of the program, is answered here.
    CNetworkAccess::setProxyCredentialsPrompt(this, [this](const QString& proxy, QString* user, QString* password) {
        return askProxyCredentials(proxy, user, password);
    });
    connect(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged, this, &CMainWindow::showConnectionProblem);
}

CMainWindow::~CMainWindow()
{
    CNetworkAccess::setProxyCredentialsPrompt(nullptr, {});
}

void CMainWindow::initializeModel()
{
    if (m_model)
        return;
    m_model = new CMainWindowModel(this);
    CMainWindowModel* model = m_model;
    CMainWindowHooks hooks;
    hooks.queryBackupItems = [model](const QUuid& addon, const QUuid& mapping) {
        return model->queryBackupItems(addon, mapping);
    };
    hooks.removeBackup = [model](const AddonBackupInfo& backup) { return model->removeBackup(backup); };
    hooks.hasRunningTasks = [model]() { return model->runner().isBusy(); };
    hooks.isMappingChanged = [model]() { return model->isMappingChanged(); };
    hooks.saveMapping = [model]() { model->saveMapping(); };
    hooks.revertMapping = [model]() { model->revertMapping(); };
    hooks.storeCheckedStates = &CMainWindowModel::storeCheckedStates;
    setHooks(hooks);

    connect(this, &CMainWindow::operationButtonClicked, model, &CMainWindowModel::onCommandButtonClicked);
    connect(this, &CMainWindow::cancelRequested, model, &CMainWindowModel::removeCommand);
    connect(this, &CMainWindow::cancelAllRequested, model, [model]() { model->runner().cancelAll(); });
    connect(this, &CMainWindow::scanRequested, model, [model]() { model->onScanAddonClicked(); });
    connect(this, &CMainWindow::refreshRequested, model, &CMainWindowModel::addMappedAddons);
    connect(this, &CMainWindow::importMappingRequested, model, &CMainWindowModel::importMapping);
    connect(this, &CMainWindow::exportMappingRequested, model, &CMainWindowModel::exportMapping);
    connect(this, &CMainWindow::addNewAddon, model, &CMainWindowModel::addNewAddon);
    // The offline message's "retry": the connection is checked now rather than at the next tick.
    connect(this, &CMainWindow::messageLinkActivated, CNetworkStatus::instance(), &CNetworkStatus::check);
    if (CSettingsView* settings = settingsView())
        settings->hooks().redownloadIndex = [model]() { model->redownloadDataIndex(); };
    model->initialize(this);
}

void CMainWindow::setAgentServerName(const QString& name)
{
    m_agent->setServerName(name);
}

void CMainWindow::setupUi()
{
    resize(1024, 720);
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(12, 10, 12, 6);
    layout->setSpacing(8);
    layout->addWidget(buildHeader());

    m_messages = new CMessageList(central);
    layout->addWidget(m_messages);

    m_stack = new QStackedWidget(central);
    m_stack->setObjectName(QStringLiteral("contentStack"));
    QWidget* list = buildListPage();
    list->setProperty("displayChain", 0);
    m_stack->addWidget(list);
    auto* settings = new CSettingsView(m_stack);
    settings->setProperty("displayChain", 1);
    m_stack->addWidget(settings);
    m_settings = settings;
    m_settingsWidget = settings;
    setUpSettingsView(settings);
    m_loginView = new CLoginView(m_stack);
    m_loginView->setProperty("displayChain", 2);
    m_stack->addWidget(m_loginView);
    auto* simulators = new CSimulatorFoldersPage(m_stack);
    simulators->setProperty("displayChain", 3);
    connect(simulators, &CSimulatorFoldersPage::settingsRequested, this, [this]() { switchView(3); });
    m_stack->addWidget(simulators);
    layout->addWidget(m_stack, 1);
    setCentralWidget(central);

    connect(m_loginView, &CLoginView::validatingUser, this, [this]() {
        BV_LOG(1, QStringLiteral("Begin validating user."));
        displayWaitingMessage(tr("Determining account status..."));
    });
    connect(m_loginView, &CLoginView::userAuthFailed, this, &CMainWindow::hideWaitingScreen);

    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    m_credit = new QLabel(tr("Navigation data provided by Brelvar"), this);
    m_credit->setObjectName(QStringLiteral("creditLabel"));
    m_credit->setStyleSheet(QStringLiteral("QLabel { color: #777777; }"));
    statusBar()->addWidget(m_statusText, 1);
    statusBar()->addPermanentWidget(m_credit);

    m_waiting = new CWaitingWidget(central);
    m_backupMenu = new QMenu(this);
    m_backupMenu->setObjectName(QStringLiteral("backupMenu"));
    buildShortcuts();
    buildHelpMenu();
}

QWidget* CMainWindow::buildHeader()
{
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    header->setAttribute(Qt::WA_StyledBackground, true);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);
    m_logo = new QLabel(header);
    m_logo->setObjectName(QStringLiteral("logoLabel"));
    layout->addWidget(m_logo);
    m_welcome = new QLabel(header);
    m_welcome->setObjectName(QStringLiteral("welcomeLabel"));
    m_welcome->setTextFormat(Qt::RichText);
    layout->addWidget(m_welcome);
    layout->addStretch(1);

    struct ViewButton
    {
        int role;
        const char* name;
        QString text;
        QString toolTip;
    };
    const ViewButton buttons[] = {
        {1, "addonsViewButton", tr("A&ddons"), tr("Show your addons and their status")},
        {2, "mappingsViewButton", tr("Addon &Mappings"), tr("Show where your addons are installed and change it")},
        {3, "settingsViewButton", tr(" Se&ttings"), tr("Change the program's settings")},
        {5, "simulatorsViewButton", tr("Simulator Pat&hs"), tr("Show the folders of your simulators")},
        {4, "loginViewButton", tr("Sign &In"), tr("Sign in with your Brelvar account")},
    };
    auto* group = new QButtonGroup(header);
    group->setExclusive(true);
    for (const ViewButton& entry : buttons) {
        auto* button = new QPushButton(entry.text, header);
        button->setObjectName(QLatin1String(entry.name));
        button->setCheckable(true);
        button->setToolTip(entry.toolTip);
        button->setProperty("Role", entry.role);
        button->setProperty("normalToolTip", entry.toolTip);
        button->setProperty("mappingToolTip", entry.toolTip);
        group->addButton(button);
        layout->addWidget(button);
        m_viewButtons.insert(entry.role, button);
        connect(button, &QPushButton::clicked, this, [this, button]() {
            const int role = button->property("Role").toInt();
            BV_LOG(1, QStringLiteral("Switch to view: %0").arg(role));
            switchView(role);
        });
    }
    m_viewButtons.value(1)->setProperty("mappingToolTip", tr("Back to your addons and their status"));
    m_viewButtons.value(2)->setProperty("mappingToolTip", tr("You are editing where your addons are installed"));
    m_viewButtons.value(4)->hide();
    return header;
}

QWidget* CMainWindow::buildListPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("listPage"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_listToolBar = buildListToolBar();
    m_mappingToolBar = buildMappingToolBar();
    layout->addWidget(m_listToolBar);
    layout->addWidget(m_mappingToolBar);

    m_scroll = new QScrollArea(page);
    m_scroll->setObjectName(QStringLiteral("itemScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    auto* container = new QWidget(m_scroll);
    container->setObjectName(QStringLiteral("itemList"));
    m_itemLayout = new QVBoxLayout(container);
    m_itemLayout->setContentsMargins(0, 0, 4, 0);
    m_itemLayout->setSpacing(6);
    m_emptyLabel = new QLabel(container);
    m_emptyLabel->setObjectName(QStringLiteral("emptyListLabel"));
    m_emptyLabel->setWordWrap(true);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setTextFormat(Qt::RichText);
    m_emptyLabel->setContentsMargins(20, 40, 20, 40);
    m_itemLayout->addWidget(m_emptyLabel);
    m_itemLayout->addStretch(1);
    m_scroll->setWidget(container);
    layout->addWidget(m_scroll, 1);
    return page;
}

QWidget* CMainWindow::buildListToolBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("listToolBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* select = toolButton(bar, QStringLiteral("selectButton"), tr("Select"),
                              QStringLiteral(":/main/images/select.png"), tr("Select items"));
    auto* selectMenu = new QMenu(select);
    selectMenu->setObjectName(QStringLiteral("selectMenu"));
    selectMenu->addAction(tr("Select All"), this, &CMainWindow::onSelectAllMenuItemClicked);
    selectMenu->addAction(tr("Select None"), this, &CMainWindow::onSelectNoneMenuItemClicked);
    selectMenu->addAction(tr("Select Inverse"), this, &CMainWindow::onSelectInverseMenuItemClicked);
    selectMenu->addAction(tr("Select Outdated"), this, &CMainWindow::onSelectOutdatedMenuItemClicked);
    selectMenu->addAction(tr("Select Erroneous"), this, &CMainWindow::onSelectErroneousMenuItemClicked);
    select->setMenu(selectMenu);
    select->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(select);

    m_selectAll = new QCheckBox(tr("Select all"), bar);
    m_selectAll->setObjectName(QStringLiteral("selectAllCheck"));
    connect(m_selectAll, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked)
            onSelectAllMenuItemClicked();
        else
            onSelectNoneMenuItemClicked();
    });
    layout->addWidget(m_selectAll);

    auto* update = toolButton(bar, QStringLiteral("bulkUpdateButton"), tr("&Update"),
                              QStringLiteral(":/main/images/update.png"), tr("Update selected item(s)"));
    connect(update, &QToolButton::clicked, this, [this]() { emitForChecked(Update); });
    auto* backup = toolButton(bar, QStringLiteral("bulkBackupButton"), tr("&Backup"),
                              QStringLiteral(":/main/images/backup.png"), tr("Backup selected item(s)"));
    connect(backup, &QToolButton::clicked, this, [this]() { emitForChecked(Backup); });
    auto* restore = toolButton(bar, QStringLiteral("bulkRestoreButton"), tr("&Restore"),
                               QStringLiteral(":/main/images/restore.png"), tr("Restore selected item(s)"));
    connect(restore, &QToolButton::clicked, this, &CMainWindow::onRestoreItemButtonClicked);
    auto* remove = toolButton(bar, QStringLiteral("bulkRemoveButton"), tr("&Remove"),
                              QStringLiteral(":/main/images/remove.png"), tr("Remove selected item(s) from mapping"));
    connect(remove, &QToolButton::clicked, this, [this]() { emitForChecked(Remove); });
    auto* refresh = toolButton(bar, QStringLiteral("refreshButton"), tr("Re&fresh"),
                               QStringLiteral(":/main/images/refresh.png"), tr("Refresh current mapping"));
    connect(refresh, &QToolButton::clicked, this, &CMainWindow::onRefreshItemButtonClicked);
    auto* cancelAll =
        toolButton(bar, QStringLiteral("cancelAllButton"), tr("Cancel a&ll"),
                   QStringLiteral(":/main/images/cancel.png"), tr("Cancel every waiting or running task"));
    connect(cancelAll, &QToolButton::clicked, this, &CMainWindow::cancelAllRequested);
    for (QToolButton* button : {update, backup, restore, remove, refresh, cancelAll})
        layout->addWidget(button);

    m_sortButton = toolButton(bar, QStringLiteral("sortButton"), tr("S&ort"),
                              QStringLiteral(":/main/images/sortascending.png"), tr("Sort addon"));
    m_sortMenu = new QMenu(m_sortButton);
    m_sortMenu->setObjectName(QStringLiteral("sortMenu"));
    const QString sortNames[] = {tr("Sort by Name"), tr("Sort by Simulator"), tr("Sort by Status")};
    for (int field = 0; field < 3; ++field)
        m_sortMenu->addAction(sortNames[field])->setData(field);
    connect(m_sortMenu, &QMenu::triggered, this, &CMainWindow::onSortingItemTriggered);
    m_sortButton->setMenu(m_sortMenu);
    m_sortButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_sortButton);

    layout->addStretch(1);
    m_filter = new QLineEdit(bar);
    m_filter->setObjectName(QStringLiteral("filterEdit"));
    m_filter->setPlaceholderText(tr("Type to filter by name..."));
    m_filter->setAccessibleName(tr("Filter by name"));
    m_filter->setClearButtonEnabled(true);
    // The whole placeholder, beside the clear button and the frame, whatever the font.
    m_filter->setMinimumWidth(m_filter->fontMetrics().horizontalAdvance(m_filter->placeholderText()) +
                              m_filter->fontMetrics().height() * 3);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        applyFilter();
        emit setFilter(text);
    });
    layout->addWidget(m_filter);
    return bar;
}

QWidget* CMainWindow::buildMappingToolBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("mappingToolBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* scan = toolButton(bar, QStringLiteral("scanButton"), tr("Sca&n"), QStringLiteral(":/main/images/scan.png"),
                            tr("Scan your hard drive for existing addons"));
    connect(scan, &QToolButton::clicked, this, &CMainWindow::scanRequested);
    auto* add = toolButton(bar, QStringLiteral("addButton"), tr("&Add"), QStringLiteral(":/main/images/add.png"),
                           tr("Add a mapping"));
    connect(add, &QToolButton::clicked, this, &CMainWindow::onAddClicked);
    auto* save = toolButton(bar, QStringLiteral("saveMappingButton"), tr("&Save"),
                            QStringLiteral(":/main/images/save.png"), tr("Save your current mapping"));
    connect(save, &QToolButton::clicked, this, &CMainWindow::saveMappings);
    auto* import = toolButton(bar, QStringLiteral("importButton"), tr("&Import Mapping"),
                              QStringLiteral(":/main/images/import.png"), tr("Import current mapping"));
    connect(import, &QToolButton::clicked, this, &CMainWindow::onImportClicked);
    auto* exportButton = toolButton(bar, QStringLiteral("exportButton"), tr("&Export Mapping"),
                                    QStringLiteral(":/main/images/export.png"), tr("Export current mapping"));
    connect(exportButton, &QToolButton::clicked, this, &CMainWindow::onExportClicked);
    for (QToolButton* button : {scan, add, save, import, exportButton})
        layout->addWidget(button);
    layout->addStretch(1);
    m_modeLabel = new QLabel(bar);
    m_modeLabel->setObjectName(QStringLiteral("mappingModeLabel"));
    layout->addWidget(m_modeLabel);
    bar->hide();
    return bar;
}

void CMainWindow::buildShortcuts()
{
    auto* selectAll = new QAction(tr("Select all items"), this);
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(selectAll, &QAction::triggered, this, [this]() {
        if (m_currentView == 1 || m_currentView == 2)
            onSelectAllMenuItemClicked();
    });
    auto* find = new QAction(tr("Filter by name"), this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this]() {
        if (m_currentView != 1)
            switchView(1);
        if (m_currentView == 1) {
            m_filter->setFocus(Qt::ShortcutFocusReason);
            m_filter->selectAll();
        }
    });
    auto* closeRow = new QAction(tr("Close the editor row"), this);
    closeRow->setShortcut(QKeySequence(Qt::Key_Escape));
    closeRow->setShortcutContext(Qt::WindowShortcut);
    connect(closeRow, &QAction::triggered, this, &CMainWindow::closeEditorRow);
    addAction(closeRow);
    auto* refresh = new QAction(tr("Refresh"), this);
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, this, [this]() {
        if (m_currentView == 1 || m_currentView == 2)
            onRefreshItemButtonClicked();
    });
    addActions({selectAll, find, refresh});
}

void CMainWindow::registerViewChain()
{
    BV_LOG(1, QStringLiteral("Registering view response chain..."));
    auto* normal = new CNormalDisplay(this, nullptr);
    auto* mapping = new CMappingDisplay(this, normal);
    auto* settings = new CSettingsDisplay(this, mapping);
    auto* simulators = new CSimulatorMappingDisplay(this, settings);
    auto* login = new CLoginDisplay(this, simulators);
    m_handlers = {normal, mapping, settings, simulators, login};
    m_chain = new CDisplayChain(this, login);
    BV_LOG(1, QStringLiteral("Registering view response chain completed. Switch to login view"));
    m_chain->handle(4);
}

void CMainWindow::applyStyle()
{
    const bool theme = CSettings::useTheme();
    const QString logo =
        theme ? QStringLiteral(":/images/images/logo_white.png") : QStringLiteral(":/images/images/logo_black.png");
    m_logo->setPixmap(QIcon(logo).pixmap(QSize(150, 36)));
    m_logo->setAccessibleName(QStringLiteral("Brelvar Tessaray"));
    // The themed header is a dark band: its texts and view buttons turn light.
    QWidget* header = centralWidget()->findChild<QWidget*>(QStringLiteral("header"));
    if (theme) {
        header->setStyleSheet(QStringLiteral(
            "QWidget#header { border-image: url(:/images/images/background.jpg) 0 0 0 0 stretch stretch; "
            "border-radius: 6px; } QLabel#welcomeLabel { color: #ffffff; } "
            "QPushButton { color: #ffffff; background: transparent; border: 1px solid transparent; "
            "border-radius: 4px; padding: 5px 10px; } QPushButton:hover { border-color: rgba(255,255,255,120); } "
            "QPushButton:checked { background: rgba(255,255,255,60); border-color: rgba(255,255,255,160); } "
            "QPushButton:focus { border-color: #ffffff; }"));
    } else {
        header->setStyleSheet(QString());
    }
}

void CMainWindow::restoreWindowState()
{
    setGeometry(CSettings::windowGeometry(geometry()));
    const int state = CSettings::windowState();
    if (state & Qt::WindowMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    if (CSettings::rememberSorting())
        m_sortOrder = std::clamp(CSettings::sortBy(), 0, 5);
    m_sortButton->setIcon(QIcon((m_sortOrder % 2) ? QStringLiteral(":/main/images/sortdescending.png")
                                                  : QStringLiteral(":/main/images/sortascending.png")));
}

void CMainWindow::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// --- Views ---------------------------------------------------------------------------------------------

void CMainWindow::switchView(int view)
{
    m_chain->handle(view);
}

void CMainWindow::setCurrentView(int view)
{
    m_currentView = view;
    if (QAbstractButton* button = viewButton(view))
        button->setChecked(true);
    const bool signedIn = view != 4;
    for (int role : {1, 2, 3, 5})
        m_viewButtons.value(role)->setVisible(signedIn);
    m_viewButtons.value(4)->setVisible(!signedIn);
    m_welcome->setVisible(signedIn);
    if (view == 4)
        m_loginView->page()->focusUserName();
}

QAbstractButton* CMainWindow::viewButton(int view) const
{
    return m_viewButtons.value(view);
}

void CMainWindow::setSettingsPage(ISettingsPage* page, QWidget* widget)
{
    const int index = m_stack->indexOf(m_settingsWidget);
    m_stack->removeWidget(m_settingsWidget);
    m_settingsWidget->deleteLater();
    widget->setProperty("displayChain", 1);
    m_stack->insertWidget(index, widget);
    m_settings = page;
    m_settingsWidget = widget;
}

void CMainWindow::onAddClicked()
{
    emit addRequested();
    if (!m_editorRow) {
        m_editorRow = new CAddNewMappingItem(this, m_listToolBar->parentWidget());
        auto* layout = qobject_cast<QVBoxLayout*>(m_listToolBar->parentWidget()->layout());
        layout->insertWidget(layout->indexOf(m_mappingToolBar) + 1, m_editorRow);
        connect(m_editorRow, &CAddNewMappingItem::closeRequested, this, &CMainWindow::closeEditorRow);
        connect(m_editorRow->editor(), &CMappingEditor::onAddonSelected, this, [this](const AddonInsertInfo& info) {
            emit addNewAddon(info);
            closeEditorRow();
        });
        connect(m_editorRow->editor(), &CMappingEditor::onAddonAddError, this,
                [this](const Exception& error) { addMessage(error.errorLevel ? error.errorLevel : 7, error.message); });
    }
    m_editorRow->reset();
    m_editorRow->show();
    m_editorRow->findChild<QWidget*>(QStringLiteral("addonCombo"))->setFocus(Qt::OtherFocusReason);
}

void CMainWindow::closeEditorRow()
{
    if (m_editorRow)
        m_editorRow->hide();
}

void CMainWindow::resetCommonWidgets()
{
    closeEditorRow();
    m_listToolBar->hide();
    m_mappingToolBar->hide();
    m_statusText->clear();
}

void CMainWindow::showListPage(bool mapping)
{
    m_mappingMode = mapping;
    m_listToolBar->setVisible(!mapping);
    m_mappingToolBar->setVisible(mapping);
    for (CAddonItemWidget* item : items())
        item->setMappingMode(mapping);
    QAbstractButton* button = viewButton(mapping ? 2 : 1);
    button->setToolTip(button->property(mapping ? "mappingToolTip" : "normalToolTip").toString());
    updateEmptyText();
    applyFilter();
}

bool CMainWindow::hasUnsavedMappings() const
{
    return m_hooks.isMappingChanged && m_hooks.isMappingChanged();
}

void CMainWindow::saveMappings()
{
    if (m_hooks.saveMapping)
        m_hooks.saveMapping();
}

void CMainWindow::revertMappings()
{
    if (m_hooks.revertMapping)
        m_hooks.revertMapping();
}

void CMainWindow::setUserStatus(const QString& userName, const QString& cycle)
{
    QString text = tr("Welcome <b>%0</b>.").arg(userName.toHtmlEscaped());
    if (!cycle.isEmpty())
        text += tr("%0The current AIRAC cycle is <b>%1</b>.").arg(QStringLiteral(" "), cycle.toHtmlEscaped());
    m_welcome->setText(text);
}

// --- Mapping files and the scan prompt -----------------------------------------------------------------

void CMainWindow::onImportClicked()
{
    if (question(tr("Replace file"), tr("Your current mapping will be replaced.\nWould you like to continue?"),
                 {tr("Yes"), tr("No")}) != 0)
        return;
    const QString file = getOpenFileName(tr("Import mapping from.."), tr("Index Files (*.index);;All Files (*)"));
    if (file.isEmpty())
        return;
    emit importMappingRequested(file);
}

void CMainWindow::onExportClicked()
{
    if (hasUnsavedMappings()) {
        const int answer =
            question(tr("Save changes?"), tr("Would you like to save your current changes before export this mapping?"),
                     {tr("Save"), tr("Discard"), tr("Cancel")});
        if (answer == 0) {
            saveMappings();
        } else if (answer != 1) {
            BV_LOG(1, QStringLiteral("Before exporting save canceled: user canceled."));
            return;
        }
    }
    const QString folder = CSettings::value(LastMappingFolderKey, QDir::homePath()).toString();
    const QString proposed =
        QStringLiteral("%0%1addonmapping_%2.index")
            .arg(folder, QDir::separator(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    const QString file = getSaveFileName(tr("Export to.."), proposed, tr("Index Files (*.index);;All Files (*)"));
    if (file.isEmpty()) {
        BV_LOG(1, QStringLiteral("Export canceled: user canceled."));
        return;
    }
    emit exportMappingRequested(file);
}

void CMainWindow::checkForScannignAddons()
{
    if (!CSettings::askScanIfNoAddonMapped() || !m_items.isEmpty())
        return;
    const int answer = question(
        tr("Scan for addons"), tr("No addons have been mapped. Would you like to scan your hard drive for addons now?"),
        {tr("Yes"), tr("No"), tr("Never")});
    if (answer == 0) {
        switchView(2);
        emit scanRequested();
        return;
    }
    information(tr("Automatic Scan Canceled"),
                tr("You have chosen not to do an automatic scan. \n\nYou may manually map addons or start a scan in "
                   "the Addon Mappings section (see button above)."));
    if (answer == 2)
        CSettings::setAskScanIfNoAddonMapped(false);
}

// --- Messages, waiting screen and dialogs --------------------------------------------------------------

void CMainWindow::addMessage(int type, const QString& text)
{
    m_messages->addMessage(type, text);
    const QList<CMessageItem*> shown = m_messages->items();
    if (!shown.isEmpty()) {
        if (auto* label = shown.last()->findChild<QLabel*>(QStringLiteral("backgroundLabel")))
            connect(label, &QLabel::linkActivated, this, &CMainWindow::messageLinkActivated, Qt::UniqueConnection);
    }
}

void CMainWindow::removeMessage(const QString& text)
{
    m_messages->removeMessage(text);
}

void CMainWindow::showLoginMessage(const QString& text)
{
    // A refused log-in is told with the account retrieval and registration links.
    const QString failure = CLoginView::failureMessage();
    m_loginView->page()->setMessage(!text.isEmpty() && failure.startsWith(text) ? failure : text);
}

void CMainWindow::displayWaitingMessage(const QString& text)
{
    m_waiting->showMessage(text);
}

void CMainWindow::hideWaitingScreen()
{
    m_waiting->hide();
}

QString CMainWindow::getExistingDirectory(const QString& title, const QString& start)
{
    if (m_fileAnswerer)
        return m_fileAnswerer(title);
    return QFileDialog::getExistingDirectory(this, title, start);
}

QString CMainWindow::getOpenFileName(const QString& title, const QString& filter)
{
    if (m_fileAnswerer)
        return m_fileAnswerer(title);
    const QString folder = CSettings::value(LastMappingFolderKey, QDir::homePath()).toString();
    const QString file = QFileDialog::getOpenFileName(this, title, folder, filter);
    if (!file.isEmpty())
        CSettings::setValue(LastMappingFolderKey, QFileInfo(file).absolutePath());
    return file;
}

QString CMainWindow::getSaveFileName(const QString& title, const QString& proposed, const QString& filter)
{
    if (m_fileAnswerer)
        return m_fileAnswerer(title);
    const QString file = QFileDialog::getSaveFileName(this, title, proposed, filter);
    if (!file.isEmpty())
        CSettings::setValue(LastMappingFolderKey, QFileInfo(file).absolutePath());
    return file;
}

int CMainWindow::question(const QString& title, const QString& text, const QStringList& buttons)
{
    if (m_answerer)
        return m_answerer(title, text, buttons);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, this);
    QList<QAbstractButton*> added;
    for (const QString& label : buttons)
        added.append(box.addButton(label, QMessageBox::ActionRole));
    if (!added.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(added.first()));
        // Esc answers with the last button: No or Cancel.
        box.setEscapeButton(added.last());
    }
    box.exec();
    return added.indexOf(box.clickedButton());
}

void CMainWindow::information(const QString& title, const QString& text)
{
    if (m_answerer) {
        m_answerer(title, text, {tr("OK")});
        return;
    }
    QMessageBox::information(this, title, text);
}

// --- Closing -------------------------------------------------------------------------------------------

void CMainWindow::closeEvent(QCloseEvent* event)
{
    BV_LOG(1, QStringLiteral("Preparing to quit program"));
    if (m_hooks.hasRunningTasks && m_hooks.hasRunningTasks()) {
        const int answer = question(tr("Quit Program"),
                                    tr("Some tasks are currently running. Exiting now will terminate these tasks and "
                                       "may lead to data errors. Are you sure you want to exit?"),
                                    {tr("Yes"), tr("No")});
        if (answer != 0) {
            BV_LOG(1, QStringLiteral("Quit canceled: User canceled"));
            event->ignore();
            return;
        }
    }
    if (m_settings && m_settings->hasUnsavedChanges()) {
        const int answer = question(tr("Save changes"), tr("You have unsaved settings. Would you like to save now?"),
                                    {tr("Save"), tr("Discard"), tr("Cancel")});
        if (answer != 0 && answer != 1) {
            BV_LOG(1, QStringLiteral("Return to interface"));
            event->ignore();
            return;
        }
        if (answer == 0)
            m_settings->saveSettings();
    }

    CSettings::setWindowState(static_cast<int>(windowState()));
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        CSettings::setWindowGeometry(geometry());
    if (m_hooks.storeCheckedStates)
        m_hooks.storeCheckedStates(checkedStates());

    BV_LOG(1, QStringLiteral("Ask agent to quit"));
    // 9 is "never": with notifications off the agent has nothing left to do.
    if (CSettings::intValue(SettingsKey::UpdateInterval) == 9)
        m_agent->sendQuit();
    event->accept();
}
