#include "ctestdatadir.h"
#include "ctinyproxy.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "platform/cregistry.h"
#include "ui/cmainwindow.h"
#include "ui/cmessagelist.h"
#include "ui/cproxycredentialsdialog.h"
#include "ui/csettingsinnerwidget.h"
#include "ui/csettingsview.h"
#include "ui/csimulatorfolderspage.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cnetworkstatus.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <memory>

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sliderLabels_data();
    void sliderLabels();
    void withoutAgentNothingRunsInTheBackground();
    void unsavedChanges_data();
    void unsavedChanges();
    void backupPath_data();
    void backupPath();
    void startWithTheComputer_data();
    void startWithTheComputer();
    void proxyCredentialsSurviveARestartEnciphered();
    void simulatorFolders();
    void browsingForASimulator_data();
    void browsingForASimulator();
    void sortingIsRequestedWhenRemembered();
    void leavingWithUnsavedSettings_data();
    void leavingWithUnsavedSettings();
    void unregistering_data();
    void unregistering();
    void diagnosticsFromTheHelpMenu();
    void proxyIsAskedAboutOnce();
    void windowAnswersAProxyThatAsks();
    void simulatorPageSaysHowEachFolderWasFound();

private:
    template <typename T> T* control(const QString& name) const
    {
        T* found = m_view->findChild<T*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QStringList messages() const;

    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<CMainWindow> m_window;
    CSettingsView* m_view = nullptr;
    QStringList m_asked;
    QList<int> m_answers;
    QString m_chosenFile;
    int m_exitCode = -1;
    bool m_tasksRunning = false;
};

void TestSettingsView::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_asked.clear();
    m_answers.clear();
    m_chosenFile.clear();
    m_exitCode = -1;
    m_tasksRunning = false;
    m_window = std::make_unique<CMainWindow>();
    m_window->setQuestionAnswerer([this](const QString& title, const QString&, const QStringList&) {
        m_asked.append(title);
        return m_answers.isEmpty() ? -1 : m_answers.takeFirst();
    });
    m_window->setFileAnswerer([this](const QString&) { return m_chosenFile; });
    CMainWindowHooks hooks;
    hooks.hasRunningTasks = [this]() { return m_tasksRunning; };
    m_window->setHooks(hooks);
    m_view = m_window->settingsView();
    QVERIFY(m_view);
    m_view->hooks().exit = [this](int code) { m_exitCode = code; };
    m_window->show();
    m_window->switchView(3);
    QCOMPARE(m_window->currentView(), 3);
    // Nobody has signed in: no account to show or unregister.
    QVERIFY(control<QWidget>("accountSection")->isHidden());
}

void TestSettingsView::cleanup()
{
    m_window.reset();
    m_data.reset();
}

QStringList TestSettingsView::messages() const
{
    QStringList texts;
    for (CMessageItem* item : m_window->messageList()->items())
        texts << item->text();
    return texts;
}

void TestSettingsView::sliderLabels_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::newRow("smallest chunk") << "chunkSlider" << 0 << "Chunk size is set to 512 KB";
    QTest::newRow("just below 1 MB") << "chunkSlider" << 7 << "Chunk size is set to 960 KB";
    QTest::newRow("1 MB") << "chunkSlider" << 8 << "Chunk size is set to 1.00 MB (1024 KB)";
    QTest::newRow("just above 1 MB") << "chunkSlider" << 9 << "Chunk size is set to 1.06 MB (1088 KB)";
    QTest::newRow("largest chunk") << "chunkSlider" << 40 << "Chunk size is set to 3.00 MB (3072 KB)";
    QTest::newRow("every hour") << "notificationSlider" << 0
                                << "You will receive a notification every hour if new update is available. <br /> "
                                   "The Tessaray will start with your computer in order to <br />check for updates.";
    QTest::newRow("every 6 hours") << "notificationSlider" << 2 << "every 6 hours";
    QTest::newRow("every month") << "notificationSlider" << 8 << "every month";
    QTest::newRow("never") << "notificationSlider" << 9 << "Update notification is disabled.";
}

void TestSettingsView::sliderLabels()
{
    QFETCH(QString, slider);
    QFETCH(int, position);
    QFETCH(QString, label);
    m_view->setAgentProgram(QStringLiteral("/opt/tessaray/BVFMSAgent.exe"));
    // From the other end first, so that the label must follow the move.
    control<QSlider>(slider)->setValue(position ? 0 : 5);
    control<QSlider>(slider)->setValue(position);
    const QString shown =
        control<QLabel>(slider == QLatin1String("chunkSlider") ? "chunkLabel" : "notificationLabel")->text();
    if (label.startsWith(QLatin1String("every")))
        QVERIFY2(shown.contains(QStringLiteral("notification %0 if").arg(label)), qPrintable(shown));
    else
        QCOMPARE(shown, label);
}

void TestSettingsView::withoutAgentNothingRunsInTheBackground()
{
    m_view->setAgentProgram(QString());
    QVERIFY(!control<QSlider>("notificationSlider")->isEnabled());
    QVERIFY(!control<QCheckBox>("autoStartCheck")->isEnabled());
    QVERIFY(control<QLabel>("agentNoteLabel")->isVisible());
    QVERIFY(control<QLabel>("agentNoteLabel")->text().contains(QLatin1String("tessaray-update.timer")));
    // Saving leaves the registry alone then.
    control<QCheckBox>("autoStartCheck")->setChecked(false);
    m_view->saveSettings();
    QVERIFY(!QFile::exists(m_data->registryFile()));
}

void TestSettingsView::unsavedChanges_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"autoBackupCheck", "removeOldBackupCheck", "backupPathEdit", "notificationSlider",
                             "chunkSlider", "useThemeCheck", "rememberSortingCheck", "simulatorPathEdit_FSX",
                             "simulatorSearchCheck_XP11", "enableProxyCheck", "proxyAddressEdit", "proxyPortSpin",
                             "proxyAuthCheck", "proxyUserNameEdit", "proxyPasswordEdit", "proxyDomainEdit"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestSettingsView::unsavedChanges()
{
    QFETCH(QString, name);
    m_view->setAgentProgram(QStringLiteral("/opt/tessaray/BVFMSAgent.exe"));
    m_view->loadSettings();
    QVERIFY(!m_view->hasUnsavedChanges());
    QObject* changed = control<QWidget>(name);
    if (auto* box = qobject_cast<QCheckBox*>(changed))
        box->toggle();
    else if (auto* edit = qobject_cast<QLineEdit*>(changed))
        edit->setText(m_data->path());
    else if (auto* slider = qobject_cast<QSlider*>(changed))
        slider->setValue(slider->value() + 1);
    else
        qobject_cast<QSpinBox*>(changed)->setValue(3128);
    QVERIFY(m_view->hasUnsavedChanges());
    const CSettingsRecord entered = m_view->inner()->record();
    QSignalSpy saved(m_view, &CSettingsView::settingSaved);
    QTest::mouseClick(control<QPushButton>("saveSettingsButton"), Qt::LeftButton);
    QCOMPARE(saved.size(), 1);
    QVERIFY(!m_view->hasUnsavedChanges());
    QVERIFY(messages().contains(QStringLiteral("Your settings have been saved.")));
    // What was saved is what a new filling shows.
    m_view->loadSettings();
    QVERIFY(m_view->inner()->record() == entered);
}

void TestSettingsView::backupPath_data()
{
    QTest::addColumn<QString>("entered"); // relative to the data folder; "-" for an empty field, "./" as it is
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("problem");
    QTest::newRow("empty keeps the stored one") << "-"
                                                << "kept" << false;
    QTest::newRow("a new one is created with its parents") << "new/deep/backups"
                                                           << "new/deep/backups" << false;
    QTest::newRow("one that cannot be created is emptied") << "blocker/backups"
                                                           << "" << true;
}

void TestSettingsView::backupPath()
{
    QFETCH(QString, entered);
    QFETCH(QString, stored);
    QFETCH(bool, problem);
    const QDir data(m_data->path());
    m_data->writeFile(QStringLiteral("blocker"), "a file where a folder is asked for");
    CSettings::setValue(SettingsKey::BackupPath, data.filePath(QStringLiteral("kept")));
    m_view->loadSettings();
    QSignalSpy problems(m_view, &CSettingsView::saveProblem);
    control<QLineEdit>("backupPathEdit")
        ->setText(entered == QLatin1String("-")             ? QString()
                  : entered.startsWith(QLatin1String("./")) ? entered
                                                            : data.filePath(entered));
    m_view->saveSettings();
    QCOMPARE(CSettings::stringValue(SettingsKey::BackupPath), stored.isEmpty() ? QString() : data.filePath(stored));
    QCOMPARE(problems.size(), problem ? 1 : 0);
    if (!stored.isEmpty() && stored != QLatin1String("kept"))
        QVERIFY(QFileInfo(data.filePath(stored)).isDir());
    QVERIFY(!m_view->hasUnsavedChanges());
}

void TestSettingsView::startWithTheComputer_data()
{
    QTest::addColumn<bool>("start");
    QTest::newRow("on writes the Run value") << true;
    QTest::newRow("off removes it") << false;
}

void TestSettingsView::startWithTheComputer()
{
    QFETCH(bool, start);
    const QString agent = QDir(m_data->path()).filePath(QStringLiteral("program/BVFMSAgent.exe"));
    QVERIFY(CRegistry::writeValue(CSettingsRecord::RunKey, CSettingsRecord::RunValueName, QStringLiteral("old")));
    CSettings::setValue(SettingsKey::AutoStart, !start);
    m_view->setAgentProgram(agent);
    m_view->loadSettings();
    control<QCheckBox>("autoStartCheck")->setChecked(start);
    m_view->saveSettings();
    QCOMPARE(CSettings::boolValue(SettingsKey::AutoStart), start);
    QCOMPARE(CRegistry::readValue(CSettingsRecord::RunKey, CSettingsRecord::RunValueName),
             start ? QDir::toNativeSeparators(agent) + QStringLiteral(" -autostart") : QString());
}

void TestSettingsView::proxyCredentialsSurviveARestartEnciphered()
{
    const QString password = QStringLiteral("s3cret pässword");
    control<QCheckBox>("enableProxyCheck")->setChecked(true);
    control<QLineEdit>("proxyAddressEdit")->setText(QStringLiteral("192.0.2.7"));
    control<QSpinBox>("proxyPortSpin")->setValue(3128);
    control<QCheckBox>("proxyAuthCheck")->setChecked(true);
    control<QLineEdit>("proxyUserNameEdit")->setText(QStringLiteral("pilot"));
    control<QLineEdit>("proxyPasswordEdit")->setText(password);
    QCOMPARE(control<QLineEdit>("proxyPasswordEdit")->echoMode(), QLineEdit::Password);
    m_view->saveSettings();

    const QString raw = CSettings::stringValue(SettingsKey::ProxyPassword);
    QVERIFY(!raw.isEmpty());
    QVERIFY(!CTestDataDir::readFile(CDataLocations::settingsFilePath()).contains(password.toUtf8()));
    QCOMPARE(CDownloadLogUtils::decryptText(raw), password);

    m_window.reset();
    m_window = std::make_unique<CMainWindow>();
    m_view = m_window->settingsView();
    m_view->loadSettings();
    QVERIFY(control<QCheckBox>("proxyAuthCheck")->isChecked());
    QCOMPARE(control<QLineEdit>("proxyUserNameEdit")->text(), QStringLiteral("pilot"));
    QCOMPARE(control<QLineEdit>("proxyPasswordEdit")->text(), password);
    QCOMPARE(control<QSpinBox>("proxyPortSpin")->value(), 3128);
}

void TestSettingsView::simulatorFolders()
{
    const QString installed = QDir(m_data->path()).filePath(QStringLiteral("FSX"));
    QVERIFY(QDir().mkpath(installed));
    CSettings::setValue(SettingsKey::SimulatorRootPrefix + QStringLiteral("XP11"), m_data->path());
    m_view->loadSettings();
    QCOMPARE(control<QLineEdit>("simulatorPathEdit_XP11")->text(), QDir::toNativeSeparators(m_data->path()));
    QSignalSpy problems(m_view, &CSettingsView::saveProblem);
    control<QLineEdit>("simulatorPathEdit_FSX")->setText(installed);
    control<QLineEdit>("simulatorPathEdit_P3D")->setText(installed + QStringLiteral("/missing"));
    control<QLineEdit>("simulatorPathEdit_XP11")->clear();
    m_view->saveSettings();
    QCOMPARE(CSettings::stringValue(SettingsKey::SimulatorRootPrefix + QStringLiteral("FSX")),
             QDir::toNativeSeparators(installed));
    QVERIFY(!CSettings::contains(SettingsKey::SimulatorRootPrefix + QStringLiteral("P3D")));
    QVERIFY(!CSettings::contains(SettingsKey::SimulatorRootPrefix + QStringLiteral("XP11")));
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.first().first().toString().contains(QLatin1String("Prepar3D")));
}

void TestSettingsView::browsingForASimulator_data()
{
    QTest::addColumn<QString>("simulator");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("searchChecked");
    QTest::newRow("Flight Simulator X switches its search on") << "FSX"
                                                               << "/sims/FSX/fsx.exe" << true;
    QTest::newRow("Prepar3D v4 switches its search on") << "P34"
                                                        << "/sims/P3D/Prepar3D.exe" << true;
    QTest::newRow("X-Plane leaves it") << "XP11"
                                       << "/sims/XP11/X-Plane.exe" << false;
    QTest::newRow("cancelled changes nothing") << "FSX"
                                               << "" << false;
}

void TestSettingsView::browsingForASimulator()
{
    QFETCH(QString, simulator);
    QFETCH(QString, chosen);
    QFETCH(bool, searchChecked);
    auto* search = control<QCheckBox>(QStringLiteral("simulatorSearchCheck_") + simulator);
    auto* path = control<QLineEdit>(QStringLiteral("simulatorPathEdit_") + simulator);
    search->setChecked(false);
    path->setText(QStringLiteral("before"));
    m_chosenFile = chosen;
    QTest::mouseClick(control<QWidget>(QStringLiteral("simulatorBrowseButton_") + simulator), Qt::LeftButton);
    QCOMPARE(path->text(),
             chosen.isEmpty() ? QStringLiteral("before") : QDir::toNativeSeparators(QFileInfo(chosen).absolutePath()));
    QCOMPARE(search->isChecked(), searchChecked);
}

void TestSettingsView::sortingIsRequestedWhenRemembered()
{
    QSignalSpy sorting(m_view, &CSettingsView::requestSorting);
    CSettings::setValue(SettingsKey::SortBy, 3);
    m_view->loadSettings(); // remembered when the key is absent
    CSettings::setValue(SettingsKey::RememberSorting, false);
    m_view->loadSettings();
    QCOMPARE(sorting.size(), 1);
    QCOMPARE(sorting.first().first().toInt(), 3);
    QCOMPARE(m_window->sortOrder(), 3);
}

void TestSettingsView::leavingWithUnsavedSettings_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("view");
    QTest::addColumn<bool>("saved");
    QTest::newRow("Save") << 0 << 1 << true;
    QTest::newRow("Discard") << 1 << 1 << false;
    QTest::newRow("Cancel") << 2 << 3 << false;
}

void TestSettingsView::leavingWithUnsavedSettings()
{
    QFETCH(int, answer);
    QFETCH(int, view);
    QFETCH(bool, saved);
    control<QSlider>("chunkSlider")->setValue(0);
    m_answers = {answer};
    QTest::mouseClick(m_window->viewButton(1), Qt::LeftButton);
    QCOMPARE(m_asked, QStringList{QStringLiteral("Save changes")});
    QCOMPARE(m_window->currentView(), view);
    QVERIFY(m_window->viewButton(view)->isChecked());
    QCOMPARE(CSettings::contains(SettingsKey::ChunkSize), saved);
}

void TestSettingsView::unregistering_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("tasksRunning");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("removed");
    QTest::newRow("Yes, Yes") << QList<int>{0, 0} << false << 2 << true;
    QTest::newRow("No") << QList<int>{1} << false << 1 << false;
    QTest::newRow("Yes, No") << QList<int>{0, 1} << false << 2 << false;
    QTest::newRow("closed") << QList<int>{} << false << 1 << false;
    QTest::newRow("while tasks run") << QList<int>{0, 0} << true << 0 << false;
}

void TestSettingsView::unregistering()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, tasksRunning);
    QFETCH(int, questions);
    QFETCH(bool, removed);
    const QStringList files{CDataLocations::dataIndexFilePath(), CDataLocations::mappingListFilePath(),
                            CDataLocations::settingsFilePath()};
    CSettings::setValue(SettingsKey::ProgramToken, QStringLiteral("enciphered token"));
    for (const QString& file : files.mid(0, 2))
        m_data->writeFile(QFileInfo(file).fileName(), "<addonIndexes/>");
    m_tasksRunning = tasksRunning;
    m_answers = answers;
    QTest::mouseClick(control<QPushButton>("unregisterButton"), Qt::LeftButton);
    QCOMPARE(m_asked.size(), questions + (tasksRunning ? 1 : 0)); // the refusal is told
    for (const QString& file : files)
        QCOMPARE(QFile::exists(file), !removed);
    QCOMPARE(m_exitCode, removed ? 0 : -1);
}

void TestSettingsView::diagnosticsFromTheHelpMenu()
{
    m_chosenFile = QDir(m_data->path()).filePath(QStringLiteral("support/diagnostics.zip"));
    QVERIFY(QDir().mkpath(QFileInfo(m_chosenFile).absolutePath()));
    auto* action = m_window->findChild<QAction*>(QStringLiteral("saveDiagnosticsAction"));
    QVERIFY(action);
    action->trigger();
    QTRY_VERIFY(action->isEnabled());
    QVERIFY(QFileInfo(m_chosenFile).size() > 0);
    QVERIFY(messages().last().contains(QDir::toNativeSeparators(m_chosenFile)));

    // A folder that does not exist: said, and nothing written.
    m_chosenFile = QDir(m_data->path()).filePath(QStringLiteral("missing/diagnostics.zip"));
    action->trigger();
    QTRY_VERIFY(action->isEnabled());
    QVERIFY(!QFile::exists(m_chosenFile));
    QVERIFY(messages().last().startsWith(QLatin1String("The diagnostics could not be written")));
}

void TestSettingsView::proxyIsAskedAboutOnce()
{
    QStringList asked;
    m_window->setProxyCredentialsAnswerer([&asked](const QString& proxy, QString* user, QString* password) {
        asked << proxy;
        *user = QStringLiteral("pilot");
        *password = QStringLiteral("pw");
        return true;
    });
    QString user;
    QString password;
    QVERIFY(m_window->askProxyCredentials(QStringLiteral("192.0.2.7:3128"), &user, &password));
    QCOMPARE(user, QStringLiteral("pilot"));
    QVERIFY(!m_window->askProxyCredentials(QStringLiteral("192.0.2.7:3128"), &user, &password));
    QVERIFY(m_window->askProxyCredentials(QStringLiteral("192.0.2.8:3128"), &user, &password));
    QCOMPARE(asked, (QStringList{QStringLiteral("192.0.2.7:3128"), QStringLiteral("192.0.2.8:3128")}));

    // The dialog itself: the password is not shown, and there is nothing to confirm without a user name.
    CProxyCredentialsDialog dialog(QStringLiteral("192.0.2.7:3128"), QString());
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("proxyPasswordEdit"))->echoMode(), QLineEdit::Password);
    QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QVERIFY(!ok->isEnabled());
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("proxyUserNameEdit")), QStringLiteral("pilot"));
    QVERIFY(ok->isEnabled());
}

void TestSettingsView::windowAnswersAProxyThatAsks()
{
    if (CTinyProxy::program().isEmpty())
        QSKIP("tinyproxy is not installed (scripts/setup installs it)");
    const QHostAddress address = CTinyProxy::nonLoopbackAddress();
    QVERIFY2(!address.isNull(), "this machine has no address other than loopback ones");
    CTinyProxy proxy;
    QString error;
    QVERIFY2(proxy.start(address, QStringLiteral("alice"), QStringLiteral("pa55-word"), &error), qPrintable(error));
    CSettings::setValue(SettingsKey::EnableProxy, true);
    CSettings::setValue(SettingsKey::ProxyAddress, proxy.host());
    CSettings::setValue(SettingsKey::ProxyPort, proxy.port());
    // No service behind it: the proxy's answer to the probe is what counts.
    const QString server = QStringLiteral("http://%1:9/").arg(address.toString());
    CSettings::setValue(SettingsKey::ServerAddress, server);
    QStringList asked;
    m_window->setProxyCredentialsAnswerer([&asked](const QString& name, QString* user, QString* password) {
        asked << name;
        *user = QStringLiteral("alice");
        *password = QStringLiteral("pa55-word");
        return true;
    });

    QSignalSpy answered(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged);
    CNetworkStatus::instance()->check();
    QVERIFY(answered.wait(20000));
    QCOMPARE(asked, QStringList{QStringLiteral("%1:%2").arg(proxy.host()).arg(proxy.port())});
    QVERIFY2(proxy.requests().join(QLatin1Char('\n')).contains(server + QStringLiteral("status.txt")),
             qPrintable(proxy.requests().join(QLatin1Char('\n'))));
    QCOMPARE(CSettings::stringValue(SettingsKey::ProxyUserName), QStringLiteral("alice"));
    const QString stored = CSettings::stringValue(SettingsKey::ProxyPassword);
    QVERIFY(stored != QLatin1String("pa55-word"));
    QCOMPARE(CDownloadLogUtils::decryptText(stored), QStringLiteral("pa55-word"));
    QVERIFY(messages().isEmpty());

    // A proxy that cannot be reached is named, not taken for a missing connection.
    proxy.stop();
    answered.clear();
    CNetworkStatus::instance()->check();
    QVERIFY(answered.wait(20000));
    QCOMPARE(
        messages(),
        QStringList{QStringLiteral("The proxy %1:%2 refused the connection.").arg(proxy.host()).arg(proxy.port())});
}

void TestSettingsView::simulatorPageSaysHowEachFolderWasFound()
{
    const QString entered = QDir(m_data->path()).filePath(QStringLiteral("FSX"));
    QVERIFY(QDir().mkpath(entered));
    CSettings::setValue(SettingsKey::SimulatorRootPrefix + QStringLiteral("FSX"), entered);
    CSettings::setValue(SettingsKey::SimulatorRootPrefix + QStringLiteral("XP11"), entered + QStringLiteral("-gone"));
    auto* page = m_window->findChild<CSimulatorFoldersPage*>();
    QSignalSpy refreshed(page, &CSimulatorFoldersPage::refreshed);
    m_window->switchView(5);
    QCOMPARE(m_window->currentView(), 5);
    QVERIFY(refreshed.wait(10000));
    auto* folder = page->findChild<QLabel*>(QStringLiteral("simulatorFolder_FSX"));
    QCOMPARE(folder->text(), QDir::toNativeSeparators(entered));
    const auto howOf = [page](const char* simulator) {
        return page->findChild<QLabel*>(QStringLiteral("simulatorHow_") + QLatin1String(simulator))->text();
    };
    QVERIFY2(howOf("FSX").startsWith(QLatin1String("entered in the settings")), qPrintable(howOf("FSX")));
    QVERIFY(howOf("XP11").endsWith(QLatin1String("the folder does not exist")));
    QCOMPARE(howOf("FS9"), QStringLiteral("not found"));
    QCOMPARE(page->findChild<QLabel*>(QStringLiteral("simulatorFolder_FS9"))->text(), QStringLiteral("(none)"));

    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("changeSimulatorFoldersButton")), Qt::LeftButton);
    QCOMPARE(m_window->currentView(), 3);
}

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
