#include "csettingsview.h"

#include "csettingsinnerwidget.h"
#include "csettingsviewpage.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

CSettingsView::CSettingsView(QWidget* parent)
    : QWidget(parent)
    , m_page(new CSettingsViewPage(this))
    , m_agentProgram(defaultAgentProgram())
{
    setObjectName(QStringLiteral("settingsPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);

    m_hooks.getExistingDirectory = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    m_hooks.getOpenFileName = [this](const QString& title, const QString& start, const QString& filter) {
        return QFileDialog::getOpenFileName(this, title, start, filter);
    };
    m_hooks.openFolder = [](const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    m_hooks.aboutQt = [this]() { QMessageBox::aboutQt(this); };
    m_hooks.exit = [](int code) { QCoreApplication::exit(code); };

    CSettingsInnerWidget* widgets = inner();
    widgets->setAgentAvailable(!m_agentProgram.isEmpty());
    connect(m_page->saveButton(), &QPushButton::clicked, this, &CSettingsView::saveSettings);
    connect(widgets, &CSettingsInnerWidget::unregisterRequested, this, &CSettingsView::unregisterAccount);
    connect(widgets, &CSettingsInnerWidget::redownloadRequested, this, &CSettingsView::redownloadIndex);
    connect(widgets, &CSettingsInnerWidget::openLocationRequested, this, &CSettingsView::openLocation);
    connect(widgets, &CSettingsInnerWidget::backupBrowseRequested, this, &CSettingsView::browseBackup);
    connect(widgets, &CSettingsInnerWidget::simulatorBrowseRequested, this, &CSettingsView::browseSimulator);
    connect(widgets, &CSettingsInnerWidget::aboutQtRequested, this, [this]() {
        if (m_hooks.aboutQt)
            m_hooks.aboutQt();
    });
    m_loaded = widgets->record();
}

CSettingsInnerWidget* CSettingsView::inner() const
{
    return m_page->inner();
}

QString CSettingsView::defaultAgentProgram()
{
    const QString agent = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("BVFMSAgent.exe"));
    return QFileInfo::exists(agent) ? agent : QString();
}

void CSettingsView::setAgentProgram(const QString& path)
{
    m_agentProgram = path;
    inner()->setAgentAvailable(!path.isEmpty());
}

bool CSettingsView::hasUnsavedChanges() const
{
    return inner()->record() != m_loaded;
}

void CSettingsView::loadSettings()
{
    CSettingsInnerWidget* widgets = inner();
    const CSettingsRecord stored = CSettingsRecord::stored();
    widgets->setRegions(CNetworkStatus::instance()->regions());
    widgets->setRecord(stored);
    // What the controls can show (a slider clamps): a value out of their range is no change of the user's.
    m_loaded = widgets->record();

    CUser* user = CUser::instance();
    const bool signedIn = user->userId() != -1;
    widgets->setAccountVisible(signedIn);
    if (signedIn) {
        CDataIndex* index = CDataIndex::instance();
        const auto& information = index->indexInformation();
        QString revision = index->fileRevision();
        if (revision.isEmpty() && information)
            revision = information->internalId;
        widgets->setAccount(user->userName(), revision.isEmpty() ? tr("unknown") : revision,
                            information ? information->description : tr("no data index yet"));
    }
    m_page->scrollToTop();
    if (stored.rememberSorting)
        emit requestSorting(CSettings::sortBy());
}

void CSettingsView::saveSettings()
{
    BV_LOG(1, QStringLiteral("Saving settings"));
    CSettingsRecord written;
    const CSettingsRecord::Outcome outcome =
        CSettingsRecord::store(inner()->record(), m_loaded, m_agentProgram, &written);
    inner()->setRecord(written);
    m_loaded = inner()->record();
    for (const QString& problem : outcome.problems) {
        BV_LOG(6, problem);
        emit saveProblem(problem);
    }
    emit settingSaved();
}

void CSettingsView::unregisterAccount()
{
    const QString title = tr("Unregister Account");
    if (m_hooks.hasRunningTasks && m_hooks.hasRunningTasks()) {
        tell(title, tr("Some tasks are running. Please wait until they have finished, or cancel them, and unregister "
                       "your account then."));
        return;
    }
    const QStringList yesNo{tr("Yes"), tr("No")};
    if (ask(tr("Unregister Brelvar Account"),
            tr("Would you really like to unregister your Brelvar account from this computer?\n\n") +
                tr("You will not be able to download or restore data.\n\n") + tr("Would you like to continue?"),
            yesNo) != 0)
        return;
    if (ask(title,
            tr("The current Brelvar account is about to be unregistered from this computer. You will be asked to login "
               "at next startup. The program will now quit to finish the process. \n\nWould you like to continue?"),
            yesNo) != 0)
        return;

    // The settings hold the log-in: they go first, so that a file that cannot be removed leaves the others
    // (the user's mapping list among them) in place and the account as it was.
    const QStringList files{CDataLocations::settingsFilePath(), CDataLocations::dataIndexFilePath(),
                            CDataLocations::mappingListFilePath()};
    for (const QString& path : files) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            const QString problem = tr("%0 could not be removed (%1). Your account stays registered on this computer.")
                                        .arg(QDir::toNativeSeparators(path), file.errorString());
            BV_LOG(6, problem);
            tell(title, problem);
            return;
        }
    }
    BV_LOG(6, QStringLiteral("Account unregistered from this computer; quitting."));
    if (m_hooks.exit)
        m_hooks.exit(0);
}

void CSettingsView::redownloadIndex()
{
    BV_LOG(1, QStringLiteral("Data index download asked for from the settings"));
    if (m_hooks.redownloadIndex)
        m_hooks.redownloadIndex();
}

void CSettingsView::openLocation()
{
    const QString folder = inner()->backupFolder().isEmpty() ? m_loaded.backupPath : inner()->backupFolder();
    if (!QFileInfo(folder).isDir()) {
        tell(tr("Open location"), tr("The folder %0 does not exist yet. It is made by the first backup, or when you "
                                     "save the settings with it.")
                                      .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    if (m_hooks.openFolder && !m_hooks.openFolder(folder))
        tell(tr("Open location"),
             tr("The folder %0 could not be shown in a file browser.").arg(QDir::toNativeSeparators(folder)));
}

void CSettingsView::browseBackup()
{
    if (!m_hooks.getExistingDirectory)
        return;
    const QString folder = m_hooks.getExistingDirectory(tr("Select a folder"), inner()->backupFolder());
    if (!folder.isEmpty())
        inner()->setBackupFolder(QDir::toNativeSeparators(folder));
}

void CSettingsView::browseSimulator(int simulator)
{
    if (!m_hooks.getOpenFileName)
        return;
    QString filter;
    for (const CSettingsInnerWidget::SimulatorRow& row : CSettingsInnerWidget::simulatorRows()) {
        if (row.simulator == simulator)
            filter = row.fileFilter;
    }
#ifndef Q_OS_WIN
    // The executables have other names here (X-Plane-x86_64).
    filter += tr(";;All Files (*)");
#endif
    const QString start = inner()->record().simulatorPaths.value(simulator);
    const QString file =
        m_hooks.getOpenFileName(tr("Please select a location for your flight simulator..."), start, filter);
    if (!file.isEmpty())
        inner()->setSimulatorFolder(simulator, QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
}

int CSettingsView::ask(const QString& title, const QString& text, const QStringList& buttons)
{
    if (m_hooks.question)
        return m_hooks.question(title, text, buttons);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, this);
    QList<QAbstractButton*> added;
    for (const QString& label : buttons)
        added.append(box.addButton(label, QMessageBox::ActionRole));
    if (!added.isEmpty())
        box.setEscapeButton(added.last());
    box.exec();
    return added.indexOf(box.clickedButton());
}

void CSettingsView::tell(const QString& title, const QString& text)
{
    if (m_hooks.information)
        m_hooks.information(title, text);
    else
        QMessageBox::information(this, title, text);
}
