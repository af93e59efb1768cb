#include "cfakesettingspage.h"
#include "ctestdatadir.h"
#include "foundation/clocalsocketipcclient.h"
#include "foundation/csettings.h"
#include "ui/caddonitemwidget.h"
#include "ui/ccircularprogressbar.h"
#include "ui/cinstanceactivation.h"
#include "ui/cloginview.h"
#include "ui/cmainwindow.h"
#include "ui/cmessagelist.h"
#include "ui/cwaitingwidget.h"
#include "webservices/cnetworkstatus.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDirIterator>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace
{
struct Asked
{
    QString title;
    QString text;
};

AddonItemRecord record(const QString& name, const QString& simulator, int status, int index)
{
    AddonItemRecord item;
    item.addonGuid = QUuid::createUuidV5(QUuid(), name);
    item.mappingGuid = QUuid::createUuidV5(QUuid(), QString::number(index));
    item.name = name;
    item.simulator = simulator;
    item.directory = QStringLiteral("C:\\Sims\\%0").arg(index);
    item.status = status;
    item.currentCycle = 2612;
    item.currentRevision = 3;
    return item;
}

QStringList visibleNames(const CMainWindow& window)
{
    QStringList names;
    for (CAddonItemWidget* item : window.items()) {
        if (!item->isHidden())
            names.append(item->record().name);
    }
    return names;
}

QStringList checkedNames(const CMainWindow& window)
{
    QStringList names;
    for (CAddonItemWidget* item : window.items()) {
        if (item->isChecked())
            names.append(item->record().name);
    }
    return names;
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsOnTheLogInView();
    void toolBarTexts_data();
    void toolBarTexts();
    void statusToolTips_data();
    void statusToolTips();
    void ringIcons_data();
    void ringIcons();
    void resourcesAreWhatTheirNamesSay();
    void leaveGuard_data();
    void leaveGuard();
    void unknownViewLeavesTheWindowAsItWas();
    void messagesExpireExceptErrors();
    void backupMenuListsElevenNewestFirst();
    void deletingABackupAsksFirst_data();
    void deletingABackupAsksFirst();
    void selectMenu_data();
    void selectMenu();
    void keyboard();
    void sorting_data();
    void sorting();
    void sortOrderSurvivesARestartWhenRemembered();
    void bulkButtonsHandTheCheckedItems();
    void activityShowsTheRingAndCancel();
    void scanPrompt_data();
    void scanPrompt();
    void closeAsksWhileTasksRun();
    void closeSendsTheAgentQuitOnlyWithNotificationsOff_data();
    void closeSendsTheAgentQuitOnlyWithNotificationsOff();
    void logInOfflineSaysSo();
    void secondStartRaisesTheWindow();

private:
    void fill();
    CFakeSettingsPage* settingsPage() const;

    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<CMainWindow> m_window;
    QList<Asked> m_asked;
    QList<int> m_answers;
    int m_saves = 0;
    int m_reverts = 0;
    bool m_mappingChanged = false;
    bool m_tasksRunning = false;
    QList<AddonBackupInfo> m_backups;
    QList<AddonBackupInfo> m_removed;
};

void TestMainWindow::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_asked.clear();
    m_answers.clear();
    m_saves = m_reverts = 0;
    m_mappingChanged = m_tasksRunning = false;
    m_backups.clear();
    m_removed.clear();
    m_window = std::make_unique<CMainWindow>();
    m_window->setQuestionAnswerer([this](const QString& title, const QString& text, const QStringList&) {
        m_asked.append({title, text});
        return m_answers.isEmpty() ? -1 : m_answers.takeFirst();
    });
    CMainWindowHooks hooks;
    hooks.queryBackupItems = [this](const QUuid&, const QUuid&) { return m_backups; };
    hooks.removeBackup = [this](const AddonBackupInfo& backup) {
        m_removed.append(backup);
        return true;
    };
    hooks.hasRunningTasks = [this]() { return m_tasksRunning; };
    hooks.isMappingChanged = [this]() { return m_mappingChanged; };
    hooks.saveMapping = [this]() { ++m_saves; };
    hooks.revertMapping = [this]() { ++m_reverts; };
    m_window->setHooks(hooks);
    // The leave guard and the close question against a page whose changes the test decides.
    auto* settings = new CFakeSettingsPage;
    m_window->setSettingsPage(settings, settings);
    m_window->show();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_data.reset();
}

void TestMainWindow::fill()
{
    // Statuses chosen so that every sort key gives a different order.
    const AddonItemRecord items[] = {
        record(QStringLiteral("Vireo V700"), QStringLiteral("FSX"), ItemOutdated, 0),
        record(QStringLiteral("halcyon HX-20"), QStringLiteral("FS9"), ItemUpdated, 1),
        record(QStringLiteral("Kestrel Planner"), QStringLiteral("XP11"), ItemError, 2),
        record(QStringLiteral("Pelican Navigator"), QStringLiteral("P34"), ItemNotInstalled, 3),
        record(QStringLiteral("Corvid VIR-90"), QStringLiteral("FSX"), ItemMissing, 4),
    };
    for (const AddonItemRecord& item : items)
        m_window->addMappedAddon(item);
}

CFakeSettingsPage* TestMainWindow::settingsPage() const
{
    return dynamic_cast<CFakeSettingsPage*>(m_window->settingsPage());
}

void TestMainWindow::startsOnTheLogInView()
{
    QCOMPARE(m_window->currentView(), 4);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Brelvar Tessaray"));
    QVERIFY(m_window->viewButton(4)->isChecked());
    QVERIFY(m_window->viewButton(1)->isHidden());
    auto* userName = m_window->findChild<QLineEdit*>(QStringLiteral("userNameEdit"));
    QTRY_VERIFY(userName->hasFocus());
    QCOMPARE(m_window->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->echoMode(), QLineEdit::Password);
    QVERIFY(m_window->findChild<QLabel*>(QStringLiteral("registerLink"))->isVisible());
}

void TestMainWindow::toolBarTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("update") << "bulkUpdateButton"
                            << "&Update"
                            << "Update selected item(s)";
    QTest::newRow("backup") << "bulkBackupButton"
                            << "&Backup"
                            << "Backup selected item(s)";
    QTest::newRow("restore") << "bulkRestoreButton"
                             << "&Restore"
                             << "Restore selected item(s)";
    QTest::newRow("remove") << "bulkRemoveButton"
                            << "&Remove"
                            << "Remove selected item(s) from mapping";
    QTest::newRow("refresh") << "refreshButton"
                             << "Re&fresh"
                             << "Refresh current mapping";
    QTest::newRow("sort") << "sortButton"
                          << "S&ort"
                          << "Sort addon";
    QTest::newRow("scan") << "scanButton"
                          << "Sca&n"
                          << "Scan your hard drive for existing addons";
    QTest::newRow("add") << "addButton"
                         << "&Add"
                         << "Add a mapping";
    QTest::newRow("save") << "saveMappingButton"
                          << "&Save"
                          << "Save your current mapping";
    QTest::newRow("import") << "importButton"
                            << "&Import Mapping"
                            << "Import current mapping";
    QTest::newRow("export") << "exportButton"
                            << "&Export Mapping"
                            << "Export current mapping";
}

void TestMainWindow::toolBarTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    auto* button = m_window->findChild<QToolButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), text);
    QCOMPARE(button->toolTip(), toolTip);
    // The icon resolves from the resources, at twice the size too.
    QVERIFY(!button->icon().isNull());
    QVERIFY(!button->icon().pixmap(QSize(18, 18)).isNull());
}

void TestMainWindow::statusToolTips_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("currentCycle");
    QTest::addColumn<QDateTime>("backupDate");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("revision");
    const QDateTime none;
    QTest::newRow("error") << 0 << 2612 << none << "An error occurred. Please try to re-update this addon"
                           << "Error";
    QTest::newRow("outdated") << 1 << 2612 << none << "The most recent revision is cycle 2612 rev 3"
                              << "2611 rev 2";
    QTest::newRow("restored, dated") << 2 << 2612 << QDateTime(QDate(2026, 11, 2), QTime(9, 0))
                                     << QStringLiteral("A backup from %0 is installed")
                                            .arg(QLocale().toString(QDate(2026, 11, 2), QLocale::ShortFormat))
                                     << "2611 rev 2";
    QTest::newRow("restored, invalid date") << 2 << 2612 << none << "This revision is restored from backup"
                                            << "2611 rev 2";
    QTest::newRow("restored, the epoch") << 2 << 2612 << QDateTime::fromMSecsSinceEpoch(0)
                                         << "This revision is restored from backup"
                                         << "2611 rev 2";
    QTest::newRow("updated") << 3 << 2612 << none << "The most recent revision is installed"
                             << "2611 rev 2";
    QTest::newRow("updating") << 4 << 2612 << none << "Your data is being updated. Please stand by..."
                              << "2611 rev 2";
    QTest::newRow("not installed") << 5 << 2612 << none << "This addon has not yet been updated by the Tessaray"
                                   << "2611 rev 2";
    QTest::newRow("cycle unknown") << 5 << 0 << none << "Unable to check cycle against server"
                                   << "2611 rev 2";
}

void TestMainWindow::statusToolTips()
{
    QFETCH(int, status);
    QFETCH(int, currentCycle);
    QFETCH(QDateTime, backupDate);
    QFETCH(QString, toolTip);
    QFETCH(QString, revision);
    AddonItemRecord item = record(QStringLiteral("Vireo"), QStringLiteral("FSX"), status, 0);
    item.currentCycle = currentCycle;
    item.backupDate = backupDate;
    item.cycle = 2611;
    item.revision = 2;
    m_window->addMappedAddon(item);
    CAddonItemWidget* widget = m_window->item(item.addonGuid, item.mappingGuid);
    QCOMPARE(widget->property("normalToolTip").toString(), toolTip);
    QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("revisionLabel"))->text(), revision);
}

void TestMainWindow::ringIcons_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("path");
    const QString base = QStringLiteral(":/circularprogressbar/images/circularprogressbar/");
    QTest::newRow("backing up") << 0 << base + "backuping.png";
    QTest::newRow("downloading") << 2 << base + "downloading.png";
    QTest::newRow("copying") << 4 << base + "copying.png";
    QTest::newRow("waiting restore") << (1 | 0x400) << base + "g_restoring.png";
    QTest::newRow("waiting decompress") << (3 | 0x400) << base + "g_decompressing.png";
    QTest::newRow("unknown phase") << 5 << QString();
}

void TestMainWindow::ringIcons()
{
    QFETCH(int, type);
    QFETCH(QString, path);
    QCOMPARE(CCircularProgressBar::iconPath(type), path);
    if (!path.isEmpty()) {
        QVERIFY(QFile::exists(path));
        QVERIFY(QFile::exists(QString(path).replace(QStringLiteral(".png"), QStringLiteral("@2x.png"))));
    }
}

void TestMainWindow::resourcesAreWhatTheirNamesSay()
{
    // An image whose suffix lies about its format is read by luck, not by design.
    int images = 0;
    QDirIterator resources(QStringLiteral(":/"), QDir::Files, QDirIterator::Subdirectories);
    while (resources.hasNext()) {
        const QString path = resources.next();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("jpg") && suffix != QLatin1String("gif"))
            continue;
        ++images;
        QImageReader reader(path);
        const QByteArray format = reader.format();
        QVERIFY2(format == suffix.toLatin1() || (format == "jpeg" && suffix == QLatin1String("jpg")),
                 qPrintable(QStringLiteral("%1 is %2").arg(path, QString::fromLatin1(format))));
        QVERIFY2(reader.canRead(), qPrintable(path));
    }
    QVERIFY(images > 40);
}

void TestMainWindow::leaveGuard_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedView");
    QTest::addColumn<int>("saves");
    QTest::addColumn<int>("reverts");
    QTest::newRow("mappings, save") << 2 << 0 << 1 << 1 << 0;
    QTest::newRow("mappings, discard") << 2 << 1 << 1 << 0 << 1;
    QTest::newRow("mappings, cancel") << 2 << 2 << 2 << 0 << 0;
    QTest::newRow("mappings, box closed") << 2 << -1 << 2 << 0 << 0;
    QTest::newRow("settings, save") << 3 << 0 << 1 << 1 << 0;
    QTest::newRow("settings, discard") << 3 << 1 << 1 << 0 << 0;
    QTest::newRow("settings, cancel") << 3 << 2 << 3 << 0 << 0;
}

void TestMainWindow::leaveGuard()
{
    QFETCH(int, from);
    QFETCH(int, answer);
    QFETCH(int, expectedView);
    QFETCH(int, saves);
    QFETCH(int, reverts);
    fill();
    m_window->switchView(from);
    QCOMPARE(m_window->currentView(), from);
    // Asking for the view that is shown passes without a question.
    m_mappingChanged = true;
    settingsPage()->setChanged(true);
    m_window->switchView(from);
    QVERIFY(m_asked.isEmpty());

    m_answers = {answer};
    QTest::mouseClick(m_window->viewButton(1), Qt::LeftButton);
    QCOMPARE(m_asked.size(), 1);
    QCOMPARE(m_asked.first().title, from == 2 ? QStringLiteral("Save changes?") : QStringLiteral("Save changes"));
    QCOMPARE(m_asked.first().text, from == 2 ? QStringLiteral("Would you like to save your changes?")
                                             : QStringLiteral("Would you like save your current settings?"));
    QCOMPARE(m_window->currentView(), expectedView);
    QVERIFY(m_window->viewButton(expectedView)->isChecked());
    QCOMPARE(from == 2 ? m_saves : settingsPage()->saveCount(), saves);
    QCOMPARE(m_reverts, reverts);
}

void TestMainWindow::unknownViewLeavesTheWindowAsItWas()
{
    fill();
    m_window->switchView(2);
    m_window->switchView(42);
    QCOMPARE(m_window->currentView(), 2);
    QVERIFY(m_window->viewButton(2)->isChecked());
    QVERIFY(m_window->findChild<QWidget*>(QStringLiteral("mappingToolBar"))->isVisible());
}

void TestMainWindow::messagesExpireExceptErrors()
{
    CMessageList* list = m_window->messageList();
    for (int type : {1, 3, 6, 7, 8})
        m_window->addMessage(type, QStringLiteral("message %0").arg(type));
    QCOMPARE(list->items().size(), 5);
    for (CMessageItem* item : list->items()) {
        auto* close = item->findChild<QToolButton*>(QStringLiteral("closeButton"));
        QCOMPARE(!close->isHidden(), item->type() != 8);
    }
    QCOMPARE(list->items().at(3)->findChild<QLabel*>(QStringLiteral("backgroundLabel"))->styleSheet(),
             QStringLiteral("QLabel#backgroundLabel { font-size:10px; background-color: #ddf2dede; border: 1px solid "
                            "#eed3d7; border-radius: 5px; color: #b94a48; }"));

    QTest::qWait(CMessageItem::ExpiryMs - 1500);
    QCOMPARE(list->items().size(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(list->items().size(), 2, 4000);
    QCOMPARE(list->items().at(0)->type(), 7);
    QCOMPARE(list->items().at(1)->type(), 8);

    // Type 7 closes by its button; type 8 only when the program removes it.
    QTest::mouseClick(list->items().at(0)->findChild<QToolButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QTRY_COMPARE(list->items().size(), 1);
    m_window->removeMessage(QStringLiteral("message 8"));
    QTRY_VERIFY(list->items().isEmpty());
    QVERIFY(list->isHidden());
}

void TestMainWindow::backupMenuListsElevenNewestFirst()
{
    fill();
    m_window->switchView(1);
    const AddonItemRecord first = m_window->items().first()->record();
    QMenu* menu = m_window->backupMenu();
    m_window->generateBackupMenu(first.addonGuid, first.mappingGuid);
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("No backup found"));

    const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
    for (int i = 0; i < 12; ++i)
        m_backups.append({first.addonGuid, first.mappingGuid, QString(), QStringLiteral("/b/%0.bak").arg(i), QString(),
                          start.addDays(i), 2600 + i, i});
    m_window->generateBackupMenu(first.addonGuid, first.mappingGuid);
    const QList<QAction*> entries = menu->actions();
    QCOMPARE(entries.size(), 11);
    QCOMPARE(entries.first()->text(),
             QStringLiteral("2611 rev 11 - %0").arg(QLocale().toString(start.addDays(11), QLocale::ShortFormat)));
    // The oldest is the one left out.
    QCOMPARE(entries.last()->data().toString(), QStringLiteral("/b/1.bak"));
    QStringList subEntries;
    for (QAction* action : entries.first()->menu()->actions())
        subEntries.append(action->text());
    QCOMPARE(subEntries, (QStringList{"&Restore", "&View", "&Delete"}));

    // Restore puts the package back in place (mode 1); View extracts it into a new folder (mode 2).
    QSignalSpy clicked(m_window.get(), &CMainWindow::operationButtonClicked);
    entries.at(2)->menu()->actions().at(0)->trigger();
    entries.at(2)->menu()->actions().at(1)->trigger();
    QCOMPARE(clicked.size(), 2);
    for (int mode = 1; mode <= 2; ++mode) {
        const auto info = clicked.at(mode - 1).first().value<CommandButtonClickedInfo>();
        QCOMPARE(info.type, int(Restore));
        QCOMPARE(info.restoreMode, mode);
        QCOMPARE(info.backup.path, QStringLiteral("/b/9.bak"));
    }
}

void TestMainWindow::deletingABackupAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("removed");
    QTest::newRow("yes") << 0 << 1;
    QTest::newRow("no") << 1 << 0;
}

void TestMainWindow::deletingABackupAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(int, removed);
    fill();
    const AddonItemRecord first = m_window->items().first()->record();
    const QDateTime date(QDate(2026, 3, 4), QTime(5, 6));
    m_backups.append(
        {first.addonGuid, first.mappingGuid, QString(), QStringLiteral("/b/x.bak"), QString(), date, 2603, 2});
    m_window->generateBackupMenu(first.addonGuid, first.mappingGuid);
    m_answers = {answer};
    m_window->backupMenu()->actions().first()->menu()->actions().at(2)->trigger();
    QCOMPARE(m_asked.size(), 1);
    QCOMPARE(m_asked.first().title, QStringLiteral("Remove backup"));
    QCOMPARE(m_asked.first().text,
             QStringLiteral("You are about to remove the backup from %0, cycle 2603 rev 2.\n\nThis operation cannot be "
                            "undone. Would you like to proceed?")
                 .arg(QLocale().toString(date, QLocale::ShortFormat)));
    QCOMPARE(m_removed.size(), removed);
}

void TestMainWindow::selectMenu_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("outdated: outdated and never updated")
        << "Select Outdated" << QStringList{"Vireo V700", "Pelican Navigator"};
    QTest::newRow("erroneous: error and missing folder")
        << "Select Erroneous" << QStringList{"Kestrel Planner", "Corvid VIR-90"};
    QTest::newRow("inverse of the first")
        << "Select Inverse" << QStringList{"halcyon HX-20", "Kestrel Planner", "Pelican Navigator", "Corvid VIR-90"};
    QTest::newRow("none") << "Select None" << QStringList();
}

void TestMainWindow::selectMenu()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, checked);
    fill();
    m_window->switchView(1);
    m_window->items().first()->setChecked(true);
    QMenu* menu = m_window->findChild<QMenu*>(QStringLiteral("selectMenu"));
    for (QAction* action : menu->actions()) {
        if (action->text() == entry)
            action->trigger();
    }
    QCOMPARE(checkedNames(*m_window), checked);
}

void TestMainWindow::keyboard()
{
    fill();
    m_window->switchView(1);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    QTest::keyClick(m_window.get(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(checkedNames(*m_window).size(), 5);
    QCOMPARE(m_window->findChild<QCheckBox*>(QStringLiteral("selectAllCheck"))->text(), QStringLiteral("Unselect all"));

    CAddonItemWidget* second = m_window->items().at(1);
    second->setFocus();
    QTest::keyClick(second, Qt::Key_Space);
    QVERIFY(!second->isChecked());
    QCOMPARE(m_window->findChild<QCheckBox*>(QStringLiteral("selectAllCheck"))->text(), QStringLiteral("Select all"));

    QSignalSpy refresh(m_window.get(), &CMainWindow::refreshRequested);
    QTest::keyClick(second, Qt::Key_F5);
    QCOMPARE(refresh.size(), 1);

    m_window->switchView(2);
    QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(m_window->currentView(), 1);
    QTRY_VERIFY(m_window->findChild<QLineEdit*>(QStringLiteral("filterEdit"))->hasFocus());
}

void TestMainWindow::sorting_data()
{
    // Name and simulator orders are proven on the real model's sample locations, whose statuses are all alike.
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("names");
    const QStringList byStatus{"Kestrel Planner", "Vireo V700", "halcyon HX-20", "Pelican Navigator", "Corvid VIR-90"};
    QStringList reversed = byStatus;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("status, ascending") << 4 << byStatus;
    QTest::newRow("status, descending") << 5 << reversed;
}

void TestMainWindow::sorting()
{
    QFETCH(int, order);
    QFETCH(QStringList, names);
    fill();
    m_window->switchView(1);
    // Through the menu: the field, and the same field again for descending.
    QMenu* menu = m_window->findChild<QMenu*>(QStringLiteral("sortMenu"));
    QAction* field = menu->actions().at(order / 2);
    m_window->sortItem(order ^ 1);
    field->trigger();
    QCOMPARE(m_window->sortOrder(), order);
    QCOMPARE(visibleNames(*m_window), names);
}

void TestMainWindow::sortOrderSurvivesARestartWhenRemembered()
{
    CSettings::setValue(SettingsKey::RememberSorting, true);
    fill();
    m_window->findChild<QMenu*>(QStringLiteral("sortMenu"))->actions().at(0)->trigger();
    QCOMPARE(m_window->sortOrder(), 0);
    QCOMPARE(CSettings::sortBy(), 0);
    m_window = std::make_unique<CMainWindow>();
    QCOMPARE(m_window->sortOrder(), 0);

    CSettings::setValue(SettingsKey::RememberSorting, false);
    m_window = std::make_unique<CMainWindow>();
    QCOMPARE(m_window->sortOrder(), int(CMainWindow::SortStatusAscending));
}

void TestMainWindow::bulkButtonsHandTheCheckedItems()
{
    fill();
    m_window->switchView(1);
    m_window->items().at(1)->setChecked(true);
    m_window->items().at(3)->setChecked(true);
    QSignalSpy clicked(m_window.get(), &CMainWindow::operationButtonClicked);
    QTest::mouseClick(m_window->findChild<QToolButton*>(QStringLiteral("bulkBackupButton")), Qt::LeftButton);
    QCOMPARE(clicked.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto info = clicked.at(i).first().value<CommandButtonClickedInfo>();
        QCOMPARE(info.type, int(Backup));
        QCOMPARE(info.mappingGuid, m_window->items().at(i == 0 ? 1 : 3)->record().mappingGuid);
    }

    // A bulk restore takes each item's newest backup, and says which items have none.
    clicked.clear();
    const AddonItemRecord second = m_window->items().at(1)->record();
    m_backups = {{second.addonGuid, second.mappingGuid, QString(), QStringLiteral("/old.bak"), QString(),
                  QDateTime(QDate(2026, 1, 1), QTime()), 2601, 1},
                 {second.addonGuid, second.mappingGuid, QString(), QStringLiteral("/new.bak"), QString(),
                  QDateTime(QDate(2026, 2, 1), QTime()), 2602, 1}};
    m_window->items().at(3)->setChecked(false);
    QTest::mouseClick(m_window->findChild<QToolButton*>(QStringLiteral("bulkRestoreButton")), Qt::LeftButton);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().value<CommandButtonClickedInfo>().backup.path, QStringLiteral("/new.bak"));
}

void TestMainWindow::activityShowsTheRingAndCancel()
{
    fill();
    m_window->switchView(1);
    // The item whose last run failed: its error gives way to the new task's activity.
    CAddonItemWidget* item = m_window->items().at(2);
    const AddonItemRecord r = item->record();
    QCOMPARE(r.status, int(ItemError));
    auto shownTexts = [item]() {
        QStringList texts;
        for (QLabel* label : item->findChildren<QLabel*>()) {
            if (!label->isHidden())
                texts.append(label->text());
        }
        return texts;
    };
    QVERIFY(shownTexts().contains(QStringLiteral("Error")));
    QVERIFY(!item->ring() || item->ring()->isHidden());

    m_window->setLoadingIconVisible(
        {r.addonGuid, r.mappingGuid, QStringLiteral("Waiting for download."), true, 2 + 1024, 0});
    CCircularProgressBar* ring = item->ring();
    QToolButton* cancel = item->cancelButton();
    QVERIFY(ring && ring->isVisible());
    QCOMPARE(ring->iconType(), 2 + 1024);
    QVERIFY(cancel->isVisible());
    QVERIFY(!item->findChild<QToolButton*>(QStringLiteral("updateButton"))->isEnabled());

    m_window->setItemProgress(r.addonGuid, r.mappingGuid, QStringLiteral("Downloading Kestrel - 1.00 MB/2.00 MB"),
                              QStringLiteral("Downloading (50%)"), 50);
    QCOMPARE(ring->value(), 50);
    QVERIFY(shownTexts().contains(QStringLiteral("Downloading (50%)")));
    QVERIFY(!shownTexts().contains(QStringLiteral("Error")));
    QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("statusText"))->text(),
             QStringLiteral("Downloading Kestrel - 1.00 MB/2.00 MB"));

    QSignalSpy cancelled(m_window.get(), &CMainWindow::cancelRequested);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(cancelled.first().first().value<CommandInfo>().mappingGuid, r.mappingGuid);

    m_window->setLoadingIconVisible({r.addonGuid, r.mappingGuid, QStringLiteral("Processing"), false, 2, 0});
    QVERIFY(ring->isHidden());
    QVERIFY(cancel->isHidden());
    QVERIFY(shownTexts().contains(QStringLiteral("Error")));
    QVERIFY(!shownTexts().contains(QStringLiteral("Downloading (50%)")));
    QVERIFY(item->findChild<QToolButton*>(QStringLiteral("updateButton"))->isEnabled());
}

void TestMainWindow::scanPrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("scans");
    QTest::addColumn<int>("view");
    QTest::addColumn<bool>("askAgain");
    QTest::newRow("yes") << 0 << 1 << 2 << true;
    QTest::newRow("no") << 1 << 0 << 1 << true;
    QTest::newRow("never") << 2 << 0 << 1 << false;
}

void TestMainWindow::scanPrompt()
{
    QFETCH(int, answer);
    QFETCH(int, scans);
    QFETCH(int, view);
    QFETCH(bool, askAgain);
    m_window->switchView(1);
    QSignalSpy scan(m_window.get(), &CMainWindow::scanRequested);
    m_answers = {answer, 0};
    m_window->checkForScannignAddons();
    QCOMPARE(m_asked.first().title, QStringLiteral("Scan for addons"));
    QCOMPARE(scan.size(), scans);
    QCOMPARE(m_window->currentView(), view);
    QCOMPARE(m_asked.size(), answer == 0 ? 1 : 2);
    if (answer != 0)
        QCOMPARE(m_asked.last().title, QStringLiteral("Automatic Scan Canceled"));
    QCOMPARE(CSettings::askScanIfNoAddonMapped(), askAgain);

    // Turned off, nothing is asked.
    CSettings::setAskScanIfNoAddonMapped(false);
    m_asked.clear();
    m_window->checkForScannignAddons();
    QVERIFY(m_asked.isEmpty());
}

void TestMainWindow::closeAsksWhileTasksRun()
{
    m_tasksRunning = true;
    m_answers = {1};
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_asked.first().title, QStringLiteral("Quit Program"));

    // Unsaved settings: Cancel keeps the window, Save stores them and closes.
    m_tasksRunning = false;
    settingsPage()->setChanged(true);
    m_answers = {2};
    QVERIFY(!m_window->close());
    m_answers = {0};
    m_window->resize(640, 480);
    QVERIFY(m_window->close());
    QCOMPARE(settingsPage()->saveCount(), 1);
    QCOMPARE(CSettings::windowGeometry(QRect()).size(), QSize(640, 480));
}

void TestMainWindow::closeSendsTheAgentQuitOnlyWithNotificationsOff_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("sent");
    QTest::newRow("notifications off") << 9 << true;
    QTest::newRow("notifications on") << 0 << false;
}

void TestMainWindow::closeSendsTheAgentQuitOnlyWithNotificationsOff()
{
    QFETCH(int, interval);
    QFETCH(bool, sent);
    const QString name = QStringLiteral("tessaray-test-agent-%0").arg(QCoreApplication::applicationPid());
    QLocalServer server;
    QLocalServer::removeServer(name);
    QVERIFY(server.listen(name));
    QByteArray received;
    connect(&server, &QLocalServer::newConnection, this, [&]() {
        QLocalSocket* socket = server.nextPendingConnection();
        connect(socket, &QLocalSocket::readyRead, this, [&, socket]() { received += socket->readAll(); });
    });
    CSettings::setValue(SettingsKey::UpdateInterval, interval);
    m_window->setAgentServerName(name);
    QVERIFY(m_window->close());
    if (sent) {
        QTRY_COMPARE(received, CLocalSocketIpcClient::encodeMessage(CLocalSocketIpcClient::QuitMessage));
    } else {
        QTest::qWait(300);
        QVERIFY(received.isEmpty());
    }
}

void TestMainWindow::logInOfflineSaysSo()
{
    CNetworkStatus::resetInstance();
    QVERIFY(!CNetworkStatus::instance()->isConnected());
    QSignalSpy validating(m_window->loginView(), &CLoginView::validatingUser);
    QTest::mouseClick(m_window->findChild<QAbstractButton*>(QStringLiteral("loginButton")), Qt::LeftButton);
    QVERIFY(validating.isEmpty());
    QVERIFY(m_window->waitingWidget()->isHidden());
    QVERIFY(m_window->loginView()->page()->message().contains(QStringLiteral("No Internet connection")));
}

void TestMainWindow::secondStartRaisesTheWindow()
{
    const QString key = QStringLiteral("{tst-mainwindow-%0}").arg(QCoreApplication::applicationPid());
    QVERIFY(!CInstanceActivation::askRunningInstance(key, 200));

    CInstanceActivation activation(key);
    QVERIFY(activation.listen());
    connect(&activation, &CInstanceActivation::activationRequested, m_window.get(), &CMainWindow::bringToFront);
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    QVERIFY(CInstanceActivation::askRunningInstance(key));
    QTRY_VERIFY(!m_window->isMinimized());

    // Another program's bytes on the socket are not a request.
    QSignalSpy requested(&activation, &CInstanceActivation::activationRequested);
    QLocalSocket stranger;
    stranger.connectToServer(CInstanceActivation::serverName(key));
    QVERIFY(stranger.waitForConnected(2000));
    stranger.write("HELLO THERE\n");
    QVERIFY(stranger.waitForBytesWritten(2000));
    QTest::qWait(200);
    QVERIFY(requested.isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
