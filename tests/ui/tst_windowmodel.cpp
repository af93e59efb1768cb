// The real window and its model against the job layer and the development service: what a user sees from
// the log-in page to an update, a cancel and a backup's removal.

#include "ccommandworld.h"
#include "commands/clocalindex.h"
#include "cscopedenvironment.h"
#include "ctinyproxy.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "model/cinitializer.h"
#include "model/cmainwindowmodel.h"
#include "ui/caddonitemwidget.h"
#include "ui/ccircularprogressbar.h"
#include "ui/cloginview.h"
#include "ui/cmainwindow.h"
#include "ui/cmessagelist.h"
#include "ui/cwaitingwidget.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestWindowModel : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void logInByKeyboard();
    void updateFromTheItemButton();
    void updateThroughAProxyThatAsks();
    void cancelARunningUpdate();
    void removeABackup();
    void editorRowRefusesADuplicate();
    void leavingUnsavedMappings_data();
    void leavingUnsavedMappings();
    void bulkUpdateTakesOnlyTheCheckedItems();
    void sampleLocations_data();
    void sampleLocations();
    void indexRedownloadWaitsForTheRunningUpdate();

private:
    // The window on its model, the world's location listed.
    bool start(CMainWindow& window);
    CAddonItemWidget* item(CMainWindow& window) { return window.item(CCommandWorld::Addon, CCommandWorld::Mapping); }
    QString statusText(CMainWindow& window)
    {
        return item(window)->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
    }

    static void slowDownThePackage(CCommandWorld& world, int bytesPerSecond)
    {
        CDevServerFault slow;
        slow.bytesPerSecond = bytesPerSecond;
        world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
    }
    void pressUpdate(CMainWindow& window)
    {
        QTest::mouseClick(item(window)->findChild<QToolButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
    }

    // Maps the world's add-on to a second, empty folder through the mappings page's editor row.
    bool addSecondMapping(CMainWindow& window, CCommandWorld& world);
    QString secondFolder(CCommandWorld& world) const { return world.addonFolder() + QStringLiteral("-second"); }

    QStringList m_asked;
    QList<int> m_answers;
};

void TestWindowModel::cleanup()
{
    CInitializer::resetInstance();
    CDataCycle::resetInstance();
}

bool TestWindowModel::start(CMainWindow& window)
{
    m_asked.clear();
    window.setQuestionAnswerer([this](const QString& title, const QString&, const QStringList&) {
        m_asked.append(title);
        return m_answers.isEmpty() ? -1 : m_answers.takeFirst();
    });
    Exception error;
    if (!CLocalIndex::saveMappings(&error))
        return false;
    window.show();
    window.initializeModel();
    return QTest::qWaitFor([&]() { return item(window) && window.currentView() == 1; }, 30000);
}

void TestWindowModel::logInByKeyboard()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    Exception error;
    QVERIFY(CLocalIndex::saveMappings(&error));
    CUser::forgetStoredCredentials();
    CUser::resetInstance();
    CMainWindow window;
    window.show();
    window.initializeModel();
    QTRY_VERIFY_WITH_TIMEOUT(CNetworkStatus::instance()->isConnected(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(window.waitingWidget()->isHidden(), 15000);
    QCOMPARE(window.currentView(), 4);

    auto* userName = window.findChild<QLineEdit*>(QStringLiteral("userNameEdit"));
    auto* password = window.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    QTest::keyClicks(userName, QStringLiteral("demo"));
    QTest::keyClicks(password, QStringLiteral("not-the-password"));
    QTest::keyClick(password, Qt::Key_Return);
    CLoginViewPage* page = window.loginView()->page();
    QTRY_VERIFY_WITH_TIMEOUT(page->message().contains(QStringLiteral("/register.aspx")), 15000);
    QVERIFY(page->message().contains(QStringLiteral("/AccountRetrieval.aspx")));
    QVERIFY(window.waitingWidget()->isHidden());
    QCOMPARE(window.currentView(), 4);

    password->clear();
    QTest::keyClicks(password, QStringLiteral("demo-pass-2612"));
    QTest::keyClick(password, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(item(window), 30000);
    QCOMPARE(window.currentView(), 1);
    QTRY_COMPARE(item(window)->record().status, int(ItemOutdated));
}

void TestWindowModel::updateFromTheItemButton()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    slowDownThePackage(world, 256 * 1024); // slow enough for the ring to be seen
    CMainWindow window;
    QVERIFY(start(window));
    QTRY_COMPARE(statusText(window), QStringLiteral("Outdated"));

    pressUpdate(window);
    QTRY_VERIFY_WITH_TIMEOUT(item(window)->ring() && !item(window)->ring()->isHidden(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(item(window)->ring()->isHidden(), 60000);
    QTRY_COMPARE(statusText(window), QStringLiteral("Up to date")); // read from the disk on a worker thread
    QCOMPARE(world.differenceFrom(world.newFiles()), QString());
}

void TestWindowModel::updateThroughAProxyThatAsks()
{
    if (CTinyProxy::program().isEmpty())
        QSKIP("tinyproxy is not installed (scripts/setup installs it)");
    // The program sends nothing for a loopback address through a proxy: the service listens on another one.
    const QHostAddress address = CTinyProxy::nonLoopbackAddress();
    QVERIFY2(!address.isNull(), "this machine has no address other than loopback ones");
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    world.service().server().stop();
    QVERIFY(world.service().server().start(0, address));
    const QString base = QStringLiteral("http://%1:%2").arg(address.toString()).arg(world.service().server().port());
    CSettings::setValue(SettingsKey::ServerAddress, base);
    CTinyProxy proxy;
    QString error;
    QVERIFY2(proxy.start(address, QStringLiteral("alice"), QStringLiteral("pa55-word"), &error), qPrintable(error));
    CSettings::setValue(SettingsKey::EnableProxy, true);
    CSettings::setValue(SettingsKey::ProxyAddress, proxy.host());
    CSettings::setValue(SettingsKey::ProxyPort, proxy.port());

    CMainWindow window;
    int asked = 0;
    window.setProxyCredentialsAnswerer([&asked](const QString&, QString* user, QString* password) {
        ++asked;
        *user = QStringLiteral("alice");
        *password = QStringLiteral("pa55-word");
        return true;
    });
    QVERIFY(start(window));
    pressUpdate(window);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), QStringLiteral("Up to date"), 60000);
    QCOMPARE(world.differenceFrom(world.newFiles()), QString());
    QCOMPARE(asked, 1);
    // The stored log-in, the data index and the package all went through the proxy.
    const QString carried = proxy.requests().join(QLatin1Char('\n'));
    for (const QString& request :
         {QStringLiteral("GET %0/API/1/users/").arg(base), QStringLiteral("GET %0/data.index").arg(base),
          QStringLiteral("GET %0/packages/probe.zip").arg(base)})
        QVERIFY2(carried.contains(request, Qt::CaseInsensitive),
                 qPrintable(request + QStringLiteral(" not in:\n") + carried));
}

void TestWindowModel::cancelARunningUpdate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    slowDownThePackage(world, 16 * 1024);
    CMainWindow window;
    QVERIFY(start(window));
    pressUpdate(window);
    QTRY_VERIFY_WITH_TIMEOUT(item(window)->cancelButton() && !item(window)->cancelButton()->isHidden(), 10000);
    QToolButton* cancel = item(window)->cancelButton();
    QTRY_VERIFY_WITH_TIMEOUT(item(window)->ring()->iconType() == 2, 10000);

    // Closing asks first; No keeps the download going.
    m_answers = {1};
    QVERIFY(!window.close());
    QCOMPARE(m_asked, QStringList{QStringLiteral("Quit Program")});
    QVERIFY(window.model()->runner().isBusy());

    QTest::mouseClick(cancel, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(window), QStringLiteral("Task error: Canceled"), 20000);
    QVERIFY(cancel->isHidden());
    QCOMPARE(world.differenceFrom(world.oldFiles()), QString());
}

void TestWindowModel::removeABackup()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CMainWindow window;
    QVERIFY(start(window));
    QTest::mouseClick(item(window)->findChild<QToolButton*>(QStringLiteral("backupButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.model()->runner().isBusy(), 30000);
    // The model reads the backups on a worker thread after the command.
    QTRY_COMPARE_WITH_TIMEOUT(window.model()->queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping).size(), 1,
                              10000);
    const QList<AddonBackupInfo> backups =
        window.model()->queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping);
    QVERIFY(QFile::exists(backups.first().path));

    window.generateBackupMenu(CCommandWorld::Addon, CCommandWorld::Mapping);
    QMenu* entry = window.backupMenu()->actions().first()->menu();
    QVERIFY(entry);
    m_answers = {0};
    entry->actions().at(2)->trigger();
    QCOMPARE(m_asked, QStringList{QStringLiteral("Remove backup")});
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(backups.first().path), 10000);
    QTRY_VERIFY(window.model()->queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping).isEmpty());
    window.generateBackupMenu(CCommandWorld::Addon, CCommandWorld::Mapping);
    QCOMPARE(window.backupMenu()->actions().first()->text(), QStringLiteral("No backup found"));
}

bool TestWindowModel::addSecondMapping(CMainWindow& window, CCommandWorld& world)
{
    const QString second = secondFolder(world);
    if (!QDir().mkpath(second))
        return false;
    window.setFileAnswerer([second](const QString&) { return second; });
    window.switchView(2);
    QTest::mouseClick(window.findChild<QToolButton*>(QStringLiteral("addButton")), Qt::LeftButton);
    auto* row = window.findChild<QWidget*>(QStringLiteral("addNewMappingItem"));
    if (!row || row->isHidden())
        return false;
    auto* addons = row->findChild<QComboBox*>(QStringLiteral("addonCombo"));
    auto* simulators = row->findChild<QComboBox*>(QStringLiteral("simulatorCombo"));
    const int addon = addons->findData(CCommandWorld::Addon);
    if (addon <= 0)
        return false;
    addons->setCurrentIndex(addon);
    emit addons->activated(addon);
    simulators->setCurrentIndex(simulators->count() - 1);
    emit simulators->activated(simulators->count() - 1);
    return true;
}

void TestWindowModel::editorRowRefusesADuplicate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CMainWindow window;
    QVERIFY(start(window));
    // The add-on into a folder of the user's choice: added the first time, refused the second.
    QVERIFY(addSecondMapping(window, world));
    QTRY_COMPARE(window.items().size(), 2);
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("addNewMappingItem"))->isHidden());
    QVERIFY(window.model()->isMappingChanged());

    QVERIFY(addSecondMapping(window, world));
    QTRY_VERIFY(!window.messageList()->items().isEmpty());
    QVERIFY(window.messageList()->items().last()->text().startsWith(QStringLiteral("Duplicated mapping found.")));
    QCOMPARE(window.items().size(), 2);
    auto* row = window.findChild<QWidget*>(QStringLiteral("addNewMappingItem"));
    QTest::keyClick(row->findChild<QComboBox*>(QStringLiteral("addonCombo")), Qt::Key_Escape);
    QVERIFY(row->isHidden());
}

void TestWindowModel::leavingUnsavedMappings_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("items");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("stored");
    QTest::newRow("save") << 0 << 1 << 2 << false << true;
    QTest::newRow("discard") << 1 << 1 << 1 << false << false;
    QTest::newRow("cancel") << 2 << 2 << 2 << true << false;
}

void TestWindowModel::leavingUnsavedMappings()
{
    QFETCH(int, answer);
    QFETCH(int, view);
    QFETCH(int, items);
    QFETCH(bool, changed);
    QFETCH(bool, stored);
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CMainWindow window;
    QVERIFY(start(window));
    QVERIFY(addSecondMapping(window, world));
    QTRY_COMPARE(window.items().size(), 2);

    m_answers = {answer};
    QTest::mouseClick(window.viewButton(1), Qt::LeftButton);
    QCOMPARE(m_asked, QStringList{QStringLiteral("Save changes?")});
    QCOMPARE(window.currentView(), view);
    QTRY_COMPARE(window.items().size(), items);
    QTRY_COMPARE(window.model()->isMappingChanged(), changed);
    // What a restart would list: the stored mapping list.
    auto storedList = []() {
        QFile file(CDataLocations::mappingListFilePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QTRY_COMPARE(storedList().contains(QFileInfo(secondFolder(world)).fileName()), stored);
}

void TestWindowModel::bulkUpdateTakesOnlyTheCheckedItems()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CMainWindow window;
    QVERIFY(start(window));
    QVERIFY(addSecondMapping(window, world));
    QTRY_COMPARE(window.items().size(), 2);
    m_answers = {0};
    window.switchView(1);
    QCOMPARE(window.currentView(), 1);

    CAddonItemWidget* second = nullptr;
    for (CAddonItemWidget* widget : window.items()) {
        if (widget->record().mappingGuid != CCommandWorld::Mapping)
            second = widget;
    }
    QVERIFY(second);
    second->setChecked(true);
    QTest::mouseClick(window.findChild<QToolButton*>(QStringLiteral("bulkUpdateButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(second->ring() && !second->ring()->isHidden(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(second->ring()->isHidden(), 60000);
    QTRY_COMPARE(second->record().status, int(ItemUpdated)); // read from the disk on a worker thread
    QVERIFY(!item(window)->ring() || item(window)->ring()->isHidden());
    QCOMPARE(statusText(window), QStringLiteral("Outdated"));
    QCOMPARE(world.differenceFrom(world.oldFiles()), QString());
    for (auto file = world.newFiles().begin(); file != world.newFiles().end(); ++file)
        QVERIFY2(QFile::exists(secondFolder(world) + QLatin1Char('/') + file.key()), qPrintable(file.key()));
}

void TestWindowModel::sampleLocations_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("shown");
    // Ties on the name fall back on the folder: FSX's before Prepar3D's.
    const QStringList byName{"Corvid C-90",          "Halcyon HX-20",  "Heron Weather Link", "Kestrel Flight Planner",
                             "Nimbus Route Manager", "Osprey Jetprop", "Pelican Navigator",  "Sparrow S-2",
                             "Vireo V700 FSX",       "Vireo V700 P34"};
    QStringList reversed = byName;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("all, name ascending") << QString() << 0 << byName;
    QTest::newRow("all, name descending") << QString() << 1 << reversed;
    const QStringList bySimulator{
        "Halcyon HX-20",        "Vireo V700 FSX",    "Vireo V700 P34", "Heron Weather Link", "Kestrel Flight Planner",
        "Nimbus Route Manager", "Pelican Navigator", "Osprey Jetprop", "Corvid C-90",        "Sparrow S-2"};
    reversed = bySimulator;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("all, simulator ascending") << QString() << 2 << bySimulator;
    QTest::newRow("all, simulator descending") << QString() << 3 << reversed;
    QTest::newRow("inside a word, any case")
        << QStringLiteral("oN") << 0 << QStringList{"Halcyon HX-20", "Heron Weather Link"};
    QTest::newRow("two locations of one add-on")
        << QStringLiteral("vIREO") << 1 << QStringList{"Vireo V700 P34", "Vireo V700 FSX"};
    QTest::newRow("nothing matches") << QStringLiteral("zz") << 0 << QStringList();
}

void TestWindowModel::sampleLocations()
{
    QFETCH(QString, filter);
    QFETCH(int, order);
    QFETCH(QStringList, shown);
    // The sample index's add-ons laid out where a scan finds them, with the scratch data folder that goes with it.
    QTemporaryDir layout;
    QProcess script;
    script.start(QStringLiteral("/bin/sh"),
                 {qEnvironmentVariable("TESSARAY_SOURCE_DIR") + QStringLiteral("/samples/make-fake-sims"),
                  layout.filePath(QStringLiteral("sims"))});
    QVERIFY(script.waitForFinished(60000) && script.exitCode() == 0);
    CScopedEnvironment environment;
    for (const QString& line : QString::fromUtf8(script.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^export ([A-Za-z_]+)='(.*)'$")).match(line);
        if (match.hasMatch())
            environment.set(match.captured(1).toLatin1().constData(), QFile::encodeName(match.captured(2)));
    }
    Exception error;
    CDataIndex::resetInstance();
    QVERIFY(
        CLocalIndex::loadSupported(qEnvironmentVariable("TESSARAY_DATA_DIR") + QStringLiteral("/data.index"), &error));
    CMainWindow window;
    window.setQuestionAnswerer([](const QString&, const QString&, const QStringList&) { return 1; });
    window.show();
    window.switchView(1);
    CMainWindowModel model;
    model.setView(&window);
    model.onScanAddonClicked();
    QTRY_COMPARE_WITH_TIMEOUT(window.items().size(), 10, 30000);
    window.switchView(1);

    auto* filterEdit = window.findChild<QLineEdit*>(QStringLiteral("filterEdit"));
    QTest::keyClicks(filterEdit, filter);
    QMenu* sortMenu = window.findChild<QMenu*>(QStringLiteral("sortMenu"));
    window.sortItem(order ^ 1);
    sortMenu->actions().at(order / 2)->trigger();
    QStringList names;
    for (CAddonItemWidget* widget : window.items()) {
        if (widget->isHidden())
            continue;
        const AddonItemRecord& record = widget->record();
        // The two Vireo locations differ by their simulator only.
        names.append(record.name.startsWith(QStringLiteral("Vireo")) ? record.name + QLatin1Char(' ') + record.simulator
                                                                     : record.name);
    }
    QCOMPARE(names, shown);
    // Select all takes what is shown only.
    window.onSelectAllMenuItemClicked();
    QCOMPARE(window.checkedStates().values().count(true), shown.size());
    // The clear button's fade, started by the typing, ends before the window goes.
    filterEdit->clear();
    QTest::qWait(400);
    CDataIndex::resetInstance();
}

void TestWindowModel::indexRedownloadWaitsForTheRunningUpdate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    slowDownThePackage(world, 64 * 1024);
    CMainWindow window;
    QVERIFY(start(window));
    pressUpdate(window);
    QTRY_VERIFY_WITH_TIMEOUT(window.model()->runner().isBusy(), 10000);

    QSignalSpy started(CDataIndex::instance(), &CDataIndex::initializeDataIndex);
    const QString indexFile = CDataLocations::dataIndexFilePath();
    const QDateTime written = QFileInfo(indexFile).lastModified();
    window.switchView(3);
    // Signed in: the account section shows whose account it is.
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("accountSection"))->isVisible());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("accountWelcomeLabel"))->text(), QStringLiteral("Welcome demo."));
    auto* redownload = window.findChild<QPushButton*>(QStringLiteral("redownloadIndexButton"));
    QTest::mouseClick(redownload, Qt::LeftButton);
    QTest::mouseClick(redownload, Qt::LeftButton); // asked twice: read once
    QCOMPARE(started.size(), 0);
    QVERIFY(window.messageList()->items().last()->text().startsWith(QStringLiteral("The data index will be")));

    QTRY_VERIFY_WITH_TIMEOUT(!window.model()->runner().isBusy(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!CDataIndex::instance()->isChecking(), 30000);
    QTRY_VERIFY(window.waitingWidget()->isHidden());
    QCOMPARE(started.size(), 1);
    // The list is filled anew, with the update's result; the current edition was downloaded all the same.
    QTRY_COMPARE(statusText(window), QStringLiteral("Up to date"));
    QVERIFY(QFileInfo(indexFile).lastModified() > written);
}

QTEST_MAIN(TestWindowModel)
#include "tst_windowmodel.moc"
