#include "csettingsinnerwidget.h"

#include "dataindex/csimulators.h"
#include "version.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSysInfo>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
constexpr int NotificationOff = 9;
constexpr int ChunkPositions = 40;

QString systemName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Windows");
#else
    return QSysInfo::prettyProductName();
#endif
}

QSlider* slider(QWidget* parent, const QString& name, int maximum)
{
    auto* control = new QSlider(Qt::Horizontal, parent);
    control->setObjectName(name);
    control->setRange(0, maximum);
    control->setPageStep(1);
    control->setTickPosition(QSlider::TicksBelow);
    control->setTickInterval(1);
    return control;
}

// [start] ——slider—— [end]
QWidget* sliderRow(QWidget* parent, QSlider* control, const QString& start, const QString& end)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(start, row));
    layout->addWidget(control, 1);
    layout->addWidget(new QLabel(end, row));
    return row;
}

QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

QLineEdit* lineEdit(QWidget* parent, const QString& name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QToolButton* folderButton(QWidget* parent, const QString& name, const QString& accessibleName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon(QStringLiteral(":/main/images/folder.png")));
    button->setToolTip(accessibleName);
    button->setAccessibleName(accessibleName);
    return button;
}
} // namespace

const QList<CSettingsInnerWidget::SimulatorRow>& CSettingsInnerWidget::simulatorRows()
{
    // The page's order: don't reorder.
    static const QList<SimulatorRow> rows{
        {SimFS9, tr("Flight Simulator 9"), tr("Flight Simulator 9 Executable (FS9.exe)")},
        {SimFSX, tr("Flight Simulator X"), tr("Flight Simulator X Executable (FSX.exe)")},
        {SimFSXSteam, tr("FSX Steam"), tr("Flight Simulator X Steam Executable (FSX.exe)")},
        {SimP3D, tr("Prepar3D"), tr("Prepar3D Executable (Prepar3D.exe)")},
        {SimP3Dv2, tr("Prepar3D v2"), tr("Prepar3D v2 Executable (Prepar3D.exe)")},
        {SimP3Dv3, tr("Prepar3D v3"), tr("Prepar3D v3 Executable (Prepar3D.exe)")},
        {SimP3Dv4, tr("Prepar3D v4"), tr("Prepar3D v4 Executable (Prepar3D.exe)")},
        {SimXPlane9, tr("X-Plane 9"), tr("X-Plane 9 Executable (X-Plane.exe)")},
        {SimXPlane10, tr("X-Plane 10"), tr("X-Plane 10 Executable (X-Plane.exe)")},
        {SimXPlane11, tr("X-Plane 11"), tr("X-Plane 11 Executable (X-Plane.exe)")},
    };
    return rows;
}

QString CSettingsInnerWidget::notificationText(int position)
{
    static const char* const intervals[] = {"every hour",     "every 2 hours", "every 6 hours",
                                            "every 12 hours", "every day",     "every 2 days",
                                            "every 7 days",   "every 14 days", "every month"};
    if (position < 0 || position >= NotificationOff)
        return tr("Update notification is disabled.");
    return tr("You will receive a notification %0 if new update is available. <br /> The Tessaray will start with "
              "your computer in order to <br />check for updates.")
        .arg(tr(intervals[position]));
}

QString CSettingsInnerWidget::chunkSizeText(int position)
{
    const int kilobytes = (position + 8) * 64;
    const QString size = kilobytes < 1024 ? tr("%0 KB").arg(kilobytes)
                                          : tr("%0 MB (%1 KB)").arg(kilobytes / 1024.0, 0, 'f', 2).arg(kilobytes);
    return tr("Chunk size is set to %0").arg(size);
}

CSettingsInnerWidget::CSettingsInnerWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsInnerWidget"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 12, 12);
    layout->setSpacing(10);
    buildAccount();
    buildSoftwareAndIndex();
    buildBackup();
    buildNotification();
    buildChunks();
    buildInterface();
    buildPaths();
    buildServer();
    buildProxy();
    layout->addStretch(1);
    // Every row label of every section as wide as the widest, so that the fields of the page line up.
    int width = 0;
    for (const QLabel* label : qAsConst(m_rowLabels))
        width = std::max(width, label->sizeHint().width());
    for (QLabel* label : qAsConst(m_rowLabels))
        label->setMinimumWidth(width);
    setRecord(CSettingsRecord());
}

QGroupBox* CSettingsInnerWidget::section(const QString& name, const QString& title)
{
    auto* box = new QGroupBox(title, this);
    box->setObjectName(name);
    auto* form = new QFormLayout(box);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(6);
    form->setContentsMargins(10, 8, 10, 10);
    layout()->addWidget(box);
    return box;
}

QFormLayout* CSettingsInnerWidget::formOf(QGroupBox* box)
{
    return static_cast<QFormLayout*>(box->layout());
}

QLabel* CSettingsInnerWidget::rowLabel(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, this);
    m_rowLabels.append(label);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(buddy);
    return label;
}

void CSettingsInnerWidget::buildAccount()
{
    m_account = section(QStringLiteral("accountSection"), tr("Account"));
    m_welcome = new QLabel(m_account);
    m_welcome->setObjectName(QStringLiteral("accountWelcomeLabel"));
    m_revision = new QLabel(m_account);
    m_revision->setObjectName(QStringLiteral("dataRevisionLabel"));
    auto* unregister = new QPushButton(tr("Unregister Account"), m_account);
    unregister->setObjectName(QStringLiteral("unregisterButton"));
    unregister->setToolTip(tr("Unregister your account from this computer"));
    connect(unregister, &QPushButton::clicked, this, &CSettingsInnerWidget::unregisterRequested);
    QFormLayout* form = formOf(m_account);
    form->addRow(rowLabel(QString(), nullptr), m_welcome);
    form->addRow(rowLabel(QString(), nullptr), m_revision);
    form->addRow(rowLabel(QString(), nullptr), unregister);
    form->setAlignment(unregister, Qt::AlignLeft);
}

void CSettingsInnerWidget::buildSoftwareAndIndex()
{
    QGroupBox* software = section(QStringLiteral("softwareSection"), tr("Software"));
    auto* version = new QLabel(
        tr("You are running Brelvar Tessaray v %0 for %1.").arg(QStringLiteral(TESSARAY_VERSION), systemName()),
        software);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* aboutQt = new QPushButton(tr("About Qt"), software);
    aboutQt->setObjectName(QStringLiteral("aboutQtButton"));
    connect(aboutQt, &QPushButton::clicked, this, &CSettingsInnerWidget::aboutQtRequested);
    formOf(software)->addRow(rowLabel(QString(), nullptr), version);
    formOf(software)->addRow(rowLabel(tr("This software uses Qt"), aboutQt), aboutQt);
    formOf(software)->setAlignment(aboutQt, Qt::AlignLeft);

    QGroupBox* index = section(QStringLiteral("indexSection"), tr("Index"));
    auto* redownload = new QPushButton(tr("Redownload Data Index"), index);
    redownload->setObjectName(QStringLiteral("redownloadIndexButton"));
    redownload->setToolTip(tr("Re-download data index"));
    connect(redownload, &QPushButton::clicked, this, &CSettingsInnerWidget::redownloadRequested);
    formOf(index)->addRow(rowLabel(QString(), nullptr), redownload);
    formOf(index)->setAlignment(redownload, Qt::AlignLeft);
}

void CSettingsInnerWidget::buildBackup()
{
    QGroupBox* box = section(QStringLiteral("backupSection"), tr("Backup"));
    m_autoBackup = checkBox(box, QStringLiteral("autoBackupCheck"), tr("Always backup before update"));
    m_removeOldBackup = checkBox(box, QStringLiteral("removeOldBackupCheck"),
                                 tr("Automatic backup cleanup - keep 5 latest backups per addon"));
    m_backupPath = lineEdit(box, QStringLiteral("backupPathEdit"));
    auto* browse = folderButton(box, QStringLiteral("backupBrowseButton"), tr("Select a folder"));
    connect(browse, &QToolButton::clicked, this, &CSettingsInnerWidget::backupBrowseRequested);
    auto* open = new QPushButton(tr("Open location"), box);
    open->setObjectName(QStringLiteral("openLocationButton"));
    connect(open, &QPushButton::clicked, this, &CSettingsInnerWidget::openLocationRequested);

    auto* pathRow = new QWidget(box);
    auto* pathLayout = new QHBoxLayout(pathRow);
    pathLayout->setContentsMargins(0, 0, 0, 0);
    pathLayout->addWidget(m_backupPath, 1);
    pathLayout->addWidget(browse);
    pathLayout->addWidget(open);
    QFormLayout* form = formOf(box);
    form->addRow(rowLabel(QString(), nullptr), m_autoBackup);
    form->addRow(rowLabel(QString(), nullptr), m_removeOldBackup);
    form->addRow(rowLabel(tr("Path"), m_backupPath), pathRow);
}

void CSettingsInnerWidget::buildNotification()
{
    QGroupBox* box = section(QStringLiteral("notificationSection"), tr("Notification"));
    m_notification = slider(box, QStringLiteral("notificationSlider"), NotificationOff);
    m_notification->setAccessibleName(tr("Update notification interval"));
    m_notificationText = new QLabel(box);
    m_notificationText->setObjectName(QStringLiteral("notificationLabel"));
    m_notificationText->setTextFormat(Qt::RichText);
    m_notificationText->setWordWrap(true);
    m_autoStart = checkBox(box, QStringLiteral("autoStartCheck"), tr("Start with your computer to check for updates"));
    m_agentNote = new QLabel(tr("On this system the Tessaray does not run in the background: updates are scheduled by "
                                "the system timer instead (tessaray-update.timer, see the README)."),
                             box);
    m_agentNote->setObjectName(QStringLiteral("agentNoteLabel"));
    m_agentNote->setWordWrap(true);
    m_agentNote->hide();
    connect(m_notification, &QSlider::valueChanged, this, &CSettingsInnerWidget::updateNotificationText);
    // One row, so that the text or the note that is hidden leaves no gap.
    auto* below = new QWidget(box);
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->setSpacing(6);
    for (QWidget* widget : {static_cast<QWidget*>(m_notificationText), static_cast<QWidget*>(m_agentNote),
                            static_cast<QWidget*>(m_autoStart)})
        belowLayout->addWidget(widget);
    QFormLayout* form = formOf(box);
    form->addRow(rowLabel(tr("Interval"), m_notification), sliderRow(box, m_notification, tr(" Often"), tr(" Never")));
    form->addRow(rowLabel(QString(), nullptr), below);
}

void CSettingsInnerWidget::buildChunks()
{
    QGroupBox* box = section(QStringLiteral("chunkSection"), tr("Download Chunks"));
    m_chunks = slider(box, QStringLiteral("chunkSlider"), ChunkPositions);
    m_chunks->setTickInterval(4);
    m_chunks->setAccessibleName(tr("Download chunk size"));
    m_chunkText = new QLabel(box);
    m_chunkText->setObjectName(QStringLiteral("chunkLabel"));
    connect(m_chunks, &QSlider::valueChanged, this,
            [this](int position) { m_chunkText->setText(chunkSizeText(position)); });
    QFormLayout* form = formOf(box);
    form->addRow(rowLabel(tr("Size"), m_chunks), sliderRow(box, m_chunks, tr(" 512 KB"), tr(" 3 MB")));
    form->addRow(rowLabel(QString(), nullptr), m_chunkText);
}

void CSettingsInnerWidget::buildInterface()
{
    QGroupBox* box = section(QStringLiteral("interfaceSection"), tr("Interface"));
    m_language = new QComboBox(box);
    m_language->setObjectName(QStringLiteral("languageCombo"));
    m_language->addItem(tr("English"));
    m_useTheme = checkBox(box, QStringLiteral("useThemeCheck"), tr("Enable Cockpit visual theme"));
    m_rememberSorting = checkBox(box, QStringLiteral("rememberSortingCheck"), tr("Remember addon sorting"));
    QFormLayout* form = formOf(box);
    form->addRow(rowLabel(tr("Language"), m_language), m_language);
    form->setAlignment(m_language, Qt::AlignLeft);
    form->addRow(rowLabel(QString(), nullptr), m_useTheme);
    form->addRow(rowLabel(QString(), nullptr), m_rememberSorting);
}

void CSettingsInnerWidget::buildPaths()
{
    QGroupBox* box = section(QStringLiteral("pathsSection"), tr("Paths"));
    QFormLayout* form = formOf(box);
    for (const SimulatorRow& row : simulatorRows()) {
        const QString name = CSimulators::shortName(row.simulator);
        QLineEdit* edit = lineEdit(box, QStringLiteral("simulatorPathEdit_") + name);
        auto* browse = folderButton(box, QStringLiteral("simulatorBrowseButton_") + name,
                                    tr("Select the executable of %0").arg(row.label));
        connect(browse, &QToolButton::clicked, this,
                [this, simulator = row.simulator]() { emit simulatorBrowseRequested(simulator); });
        QCheckBox* search = checkBox(box, QStringLiteral("simulatorSearchCheck_") + name,
                                     tr("&Enable automatic search for this simulator"));
        search->setAccessibleName(tr("Enable automatic search for %0").arg(row.label));
        m_simulatorPaths.insert(row.simulator, edit);
        m_simulatorSearch.insert(row.simulator, search);

        auto* field = new QWidget(box);
        auto* fieldLayout = new QGridLayout(field);
        fieldLayout->setContentsMargins(0, 0, 0, 0);
        fieldLayout->setVerticalSpacing(2);
        fieldLayout->addWidget(edit, 0, 0);
        fieldLayout->addWidget(browse, 0, 1);
        fieldLayout->addWidget(search, 1, 0, 1, 2);
        QLabel* label = rowLabel(row.label, edit);
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        label->setContentsMargins(0, 4, 0, 0);
        form->addRow(label, field);
    }
}

void CSettingsInnerWidget::buildServer()
{
    QGroupBox* box = section(QStringLiteral("serverSection"), tr("Server"));
    m_region = new QComboBox(box);
    m_region->setObjectName(QStringLiteral("regionCombo"));
    m_region->setMinimumContentsLength(16);
    formOf(box)->addRow(rowLabel(tr("Download Region"), m_region), m_region);
    formOf(box)->setAlignment(m_region, Qt::AlignLeft);
}

void CSettingsInnerWidget::buildProxy()
{
    QGroupBox* box = section(QStringLiteral("proxySection"), tr("Proxy"));
    m_enableProxy = checkBox(box, QStringLiteral("enableProxyCheck"), tr("&Use custom proxy server settings"));
    m_proxyAddress = lineEdit(box, QStringLiteral("proxyAddressEdit"));
    m_proxyAddress->setPlaceholderText(tr("proxy.example.com"));
    m_proxyPort = new QSpinBox(box);
    m_proxyPort->setObjectName(QStringLiteral("proxyPortSpin"));
    m_proxyPort->setRange(1, 65535);
    m_proxyUseAuth = checkBox(box, QStringLiteral("proxyAuthCheck"), tr("Proxy server requires authentication"));
    m_proxyUserName = lineEdit(box, QStringLiteral("proxyUserNameEdit"));
    m_proxyPassword = lineEdit(box, QStringLiteral("proxyPasswordEdit"));
    m_proxyPassword->setEchoMode(QLineEdit::Password);
    m_proxyDomain = lineEdit(box, QStringLiteral("proxyDomainEdit"));

    auto* addressRow = new QWidget(box);
    auto* addressLayout = new QHBoxLayout(addressRow);
    addressLayout->setContentsMargins(0, 0, 0, 0);
    addressLayout->addWidget(m_proxyAddress, 1);
    auto* portLabel = new QLabel(tr("Port"), addressRow);
    portLabel->setBuddy(m_proxyPort);
    addressLayout->addWidget(portLabel);
    addressLayout->addWidget(m_proxyPort);

    QFormLayout* form = formOf(box);
    form->addRow(rowLabel(QString(), nullptr), m_enableProxy);
    form->addRow(rowLabel(tr("Address"), m_proxyAddress), addressRow);
    form->addRow(rowLabel(QString(), nullptr), m_proxyUseAuth);
    form->addRow(rowLabel(tr("Username"), m_proxyUserName), m_proxyUserName);
    form->addRow(rowLabel(tr("Password"), m_proxyPassword), m_proxyPassword);
    form->addRow(rowLabel(tr("Domain"), m_proxyDomain), m_proxyDomain);
    connect(m_enableProxy, &QCheckBox::toggled, this, &CSettingsInnerWidget::updateProxyControls);
    connect(m_proxyUseAuth, &QCheckBox::toggled, this, &CSettingsInnerWidget::updateProxyControls);
}

void CSettingsInnerWidget::updateProxyControls()
{
    const bool proxy = m_enableProxy->isChecked();
    m_proxyAddress->setEnabled(proxy);
    m_proxyPort->setEnabled(proxy);
    m_proxyUseAuth->setEnabled(proxy);
    const bool credentials = proxy && m_proxyUseAuth->isChecked();
    for (QLineEdit* edit : {m_proxyUserName, m_proxyPassword, m_proxyDomain})
        edit->setEnabled(credentials);
}

void CSettingsInnerWidget::updateNotificationText()
{
    m_notificationText->setText(notificationText(m_notification->value()));
}

void CSettingsInnerWidget::setRecord(const CSettingsRecord& record)
{
    m_shown = record;
    m_autoBackup->setChecked(record.autoBackup);
    m_removeOldBackup->setChecked(record.removeOldBackup);
    m_backupPath->setText(record.backupPath);
    m_notification->setValue(std::clamp(record.updateInterval, 0, NotificationOff));
    updateNotificationText();
    m_autoStart->setChecked(record.autoStart);
    m_chunks->setValue(std::clamp(record.chunkSize, 0, ChunkPositions));
    m_chunkText->setText(chunkSizeText(m_chunks->value()));
    m_useTheme->setChecked(record.useTheme);
    m_rememberSorting->setChecked(record.rememberSorting);
    for (const SimulatorRow& row : simulatorRows()) {
        m_simulatorPaths.value(row.simulator)->setText(record.simulatorPaths.value(row.simulator));
        m_simulatorSearch.value(row.simulator)->setChecked(!(record.disabledSimulators & row.simulator));
    }
    selectRegion(record.downloadRegion);
    m_enableProxy->setChecked(record.enableProxy);
    m_proxyAddress->setText(record.proxyAddress);
    m_proxyPort->setValue(record.proxyPort);
    m_proxyUseAuth->setChecked(record.proxyUseAuth);
    m_proxyUserName->setText(record.proxyUserName);
    m_proxyPassword->setText(record.proxyPassword);
    m_proxyDomain->setText(record.proxyDomain);
    updateProxyControls();
}

CSettingsRecord CSettingsInnerWidget::record() const
{
    CSettingsRecord record = m_shown;
    record.autoBackup = m_autoBackup->isChecked();
    record.removeOldBackup = m_removeOldBackup->isChecked();
    record.backupPath = m_backupPath->text().trimmed();
    record.updateInterval = m_notification->value();
    record.autoStart = m_autoStart->isChecked();
    record.chunkSize = m_chunks->value();
    record.useTheme = m_useTheme->isChecked();
    record.rememberSorting = m_rememberSorting->isChecked();
    // Bits of simulators without a row stay as they were.
    record.simulatorPaths.clear();
    for (const SimulatorRow& row : simulatorRows()) {
        record.simulatorPaths.insert(row.simulator, m_simulatorPaths.value(row.simulator)->text().trimmed());
        if (m_simulatorSearch.value(row.simulator)->isChecked())
            record.disabledSimulators &= ~row.simulator;
        else
            record.disabledSimulators |= row.simulator;
    }
    record.downloadRegion = m_region->currentData().toString();
    record.enableProxy = m_enableProxy->isChecked();
    record.proxyAddress = m_proxyAddress->text().trimmed();
    record.proxyPort = m_proxyPort->value();
    record.proxyUseAuth = m_proxyUseAuth->isChecked();
    record.proxyUserName = m_proxyUserName->text().trimmed();
    record.proxyPassword = m_proxyPassword->text();
    record.proxyDomain = m_proxyDomain->text().trimmed();
    return record;
}

void CSettingsInnerWidget::setAccount(const QString& userName, const QString& revision, const QString& revisionText)
{
    m_welcome->setText(tr("Welcome %0.").arg(userName));
    m_revision->setText(tr("Current data revision: \n%0 (%1).").arg(revision, revisionText));
}

void CSettingsInnerWidget::setAccountVisible(bool visible)
{
    m_account->setVisible(visible);
}

void CSettingsInnerWidget::setRegions(const QList<ServerRegion>& regions)
{
    const QString current = m_region->currentData().toString();
    m_region->clear();
    for (const ServerRegion& region : regions)
        m_region->addItem(region.regionName.isEmpty() ? region.regionCode : region.regionName, region.regionCode);
    selectRegion(current);
}

void CSettingsInnerWidget::selectRegion(const QString& code)
{
    int index = m_region->findData(code);
    if (index < 0 && !code.isEmpty()) {
        // Not among the regions the service named this run (or not signed in): kept as it is stored.
        m_region->addItem(code, code);
        index = m_region->count() - 1;
    }
    m_region->setCurrentIndex(index);
}

void CSettingsInnerWidget::setAgentAvailable(bool available)
{
    m_notification->setEnabled(available);
    m_autoStart->setEnabled(available);
    m_notificationText->setVisible(available);
    m_agentNote->setVisible(!available);
}

void CSettingsInnerWidget::setSimulatorFolder(int simulator, const QString& folder)
{
    if (QLineEdit* edit = m_simulatorPaths.value(simulator))
        edit->setText(folder);
    // The X-Plane rows leave their search as the user set it.
    if (!CSimulators::isXPlane(simulator)) {
        if (QCheckBox* search = m_simulatorSearch.value(simulator))
            search->setChecked(true);
    }
}

void CSettingsInnerWidget::setBackupFolder(const QString& folder)
{
    m_backupPath->setText(folder);
}

QString CSettingsInnerWidget::backupFolder() const
{
    return m_backupPath->text().trimmed();
}
