// The real window and its model against the job layer and the development service: what a user sees from
// the log-in page to an update, a cancel and a backup's removal.

#include "ccommandworld.h"
#include "commands/clocalindex.h"
#include "dataindex/cdataindex.h"
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
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
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
    void cancelARunningUpdate();
    void removeABackup();
    void editorRowRefusesADuplicate();
    void indexRedownloadWaitsForTheRunningUpdate();

private:
    // The window on its model, the world's location listed.
    bool start(CMainWindow& window);
    CAddonItemWidget* item(CMainWindow& window) { return window.item(CCommandWorld::Addon, CCommandWorld::Mapping); }
    QString statusText(CMainWindow& window)
    {
        return item(window)->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
    }

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
    CDevServerFault slow; // slow enough for the ring to be seen
    slow.bytesPerSecond = 256 * 1024;
    world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
    CMainWindow window;
    QVERIFY(start(window));
    QTRY_COMPARE(statusText(window), QStringLiteral("Outdated"));

    QTest::mouseClick(item(window)->findChild<QToolButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
    auto* ring = item(window)->findChild<CCircularProgressBar*>();
    QTRY_VERIFY_WITH_TIMEOUT(!ring->isHidden(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(ring->isHidden(), 60000);
    QCOMPARE(statusText(window), QStringLiteral("Up to date"));
    QCOMPARE(world.differenceFrom(world.newFiles()), QString());
}

void TestWindowModel::cancelARunningUpdate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CDevServerFault slow;
    slow.bytesPerSecond = 16 * 1024;
    world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
    CMainWindow window;
    QVERIFY(start(window));
    QTest::mouseClick(item(window)->findChild<QToolButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
    auto* cancel = item(window)->findChild<QToolButton*>(QStringLiteral("cancelButton"));
    QTRY_VERIFY_WITH_TIMEOUT(!cancel->isHidden(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(item(window)->findChild<CCircularProgressBar*>()->iconType() == 2, 10000);

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
    const QList<AddonBackupInfo> backups =
        window.model()->queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping);
    QCOMPARE(backups.size(), 1);
    QVERIFY(QFile::exists(backups.first().path));

    window.generateBackupMenu(CCommandWorld::Addon, CCommandWorld::Mapping);
    QMenu* entry = window.backupMenu()->actions().first()->menu();
    QVERIFY(entry);
    m_answers = {0};
    entry->actions().at(2)->trigger();
    QCOMPARE(m_asked, QStringList{QStringLiteral("Remove backup")});
    QVERIFY(!QFile::exists(backups.first().path));
    QVERIFY(window.model()->queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping).isEmpty());
    window.generateBackupMenu(CCommandWorld::Addon, CCommandWorld::Mapping);
    QCOMPARE(window.backupMenu()->actions().first()->text(), QStringLiteral("No backup found"));
}

void TestWindowModel::editorRowRefusesADuplicate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CMainWindow window;
    QVERIFY(start(window));
    const QString second = world.addonFolder() + QStringLiteral("-second");
    QVERIFY(QDir().mkpath(second));
    window.setFileAnswerer([&](const QString&) { return second; });
    window.switchView(2);
    // The add-on into a folder of the user's choice: added the first time, refused the second.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(window.findChild<QToolButton*>(QStringLiteral("addButton")), Qt::LeftButton);
        auto* row = window.findChild<QWidget*>(QStringLiteral("addNewMappingItem"));
        QVERIFY(row && !row->isHidden());
        auto* addons = row->findChild<QComboBox*>(QStringLiteral("addonCombo"));
        auto* simulators = row->findChild<QComboBox*>(QStringLiteral("simulatorCombo"));
        const int addon = addons->findData(CCommandWorld::Addon);
        QVERIFY(addon > 0);
        addons->setCurrentIndex(addon);
        emit addons->activated(addon);
        simulators->setCurrentIndex(simulators->count() - 1);
        emit simulators->activated(simulators->count() - 1);
        if (attempt == 0) {
            QTRY_COMPARE(window.items().size(), 2);
            QVERIFY(row->isHidden());
            QVERIFY(window.model()->isMappingChanged());
        } else {
            QTRY_VERIFY(!window.messageList()->items().isEmpty());
            QVERIFY(
                window.messageList()->items().last()->text().startsWith(QStringLiteral("Duplicated mapping found.")));
            QCOMPARE(window.items().size(), 2);
            QTest::keyClick(addons, Qt::Key_Escape);
            QVERIFY(row->isHidden());
        }
    }
}

void TestWindowModel::indexRedownloadWaitsForTheRunningUpdate()
{
    CCommandWorld world;
    QVERIFY2(world.isReady(), qPrintable(world.problem()));
    CDevServerFault slow;
    slow.bytesPerSecond = 64 * 1024;
    world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
    CMainWindow window;
    QVERIFY(start(window));
    QTest::mouseClick(item(window)->findChild<QToolButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.model()->runner().isBusy(), 10000);

    QSignalSpy started(CDataIndex::instance(), &CDataIndex::initializeDataIndex);
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
    // The list is filled anew, with the update's result.
    QTRY_COMPARE(statusText(window), QStringLiteral("Up to date"));
}

QTEST_MAIN(TestWindowModel)
#include "tst_windowmodel.moc"
