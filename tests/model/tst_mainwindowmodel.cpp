// The window's model driven through a recording view: the texts and item states a user would see, against
// the job layer, the real queue and commands and the development service.

#include "cclirun.h"
#include "ccommandworld.h"
#include "commands/cbackuplist.h"
#include "commands/clocalindex.h"
#include "commands/clocationlock.h"
#include "crecordingview.h"
#include "cscopedenvironment.h"
#include "ctestdatadir.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cinitializer.h"
#include "model/cmainwindowmodel.h"
#include "model/ctasktexts.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <algorithm>

namespace
{
const QString Name = QStringLiteral("Probe Navigator");
CommandButtonClickedInfo updateClick()
{
    return CommandButtonClickedInfo{CCommandWorld::Addon, CCommandWorld::Mapping, Update, {}};
}
} // namespace

// The world of the command tests with the model started on a recording view and the list shown.
struct CStartedModel
{
    CCommandWorld world;
    CRecordingView view;
    CMainWindowModel model;

    // Empty when the list is shown; otherwise what went wrong.
    QString start()
    {
        Exception error;
        if (!world.isReady() || !CLocalIndex::saveMappings(&error))
            return world.problem() + error.message;
        model.initialize(&view);
        const bool shown = QTest::qWaitFor(
            [this]() {
                return view.items.contains(CCommandWorld::Mapping) && !view.with(QStringLiteral("sort")).isEmpty() &&
                       view.item(CCommandWorld::Mapping).status != ItemChecking;
            },
            30000);
        return shown ? QString() : view.calls.join(QLatin1Char('\n'));
    }
};

class TestMainWindowModel : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        CInitializer::resetInstance();
        CDataCycle::resetInstance();
    }

    // What the item shows in each phase while the command waits, runs and counts.
    void phaseTexts_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("texts"); // waiting, running, progress line, short text

        const QString twenty = QStringLiteral("Twenty characters ok");
        QTest::newRow("backup") << 0 << qint64(3) << qint64(4) << twenty
                                << QStringList{"Waiting for backup. ", "Performing backup. ",
                                               "Backing up Twenty characters ok - 3/4 files processed (75%)",
                                               "Backup file (75%)"};
        QTest::newRow("restore, 21 characters") << 1 << qint64(1) << qint64(3) << twenty + "!"
                                                << QStringList{"Waiting for restore.", "Restoring.",
                                                               "Restoring Twenty characters ok... - 1/3 files "
                                                               "processed (33%)",
                                                               "Restoring file (33%)"};
        QTest::newRow("download in megabytes")
            << 2 << qint64(1048576) << qint64(2097152) << Name
            << QStringList{"Waiting for download.", "Downloading.",
                           "Downloading Probe Navigator - 1.00 MB/2.00 MB downloaded (50%)", "Downloading (50%)"};
        QTest::newRow("download, odd bytes")
            << 2 << qint64(1500000) << qint64(3000001) << Name
            << QStringList{"Waiting for download.", "Downloading.",
                           "Downloading Probe Navigator - 1.43 MB/2.86 MB downloaded (49%)", "Downloading (49%)"};
        QTest::newRow("install") << 3 << qint64(2) << qint64(2) << Name
                                 << QStringList{"Waiting for decompress.", "Installing.",
                                                "Installing Probe Navigator - 2/2 files processed (100%)",
                                                "Installing (100%)"};
        QTest::newRow("copy") << 4 << qint64(0) << qint64(5) << Name
                              << QStringList{"Waiting for copy.", "Copying.",
                                             "Copying Probe Navigator - 0/5 files processed (0%)", "Copying file (0%)"};
        QTest::newRow("other") << 5 << qint64(1) << qint64(2) << Name << QStringList{"", "", "", ""};
    }
    void phaseTexts()
    {
        QFETCH(int, phase);
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(QString, name);
        QFETCH(QStringList, texts);
        const CommandProgress progress{CommandPhase(phase), done, total, false};
        QCOMPARE(CTaskTexts::waiting(progress.phase), texts.at(0));
        QCOMPARE(CTaskTexts::running(progress.phase), texts.at(1));
        QCOMPARE(CTaskTexts::progressLine(name, progress), texts.at(2));
        QCOMPARE(CTaskTexts::shortText(progress), texts.at(3));
    }

    void endTexts_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("preparing download") << 2 << 0 << "Preparing for download...";
        QTest::newRow("preparing install") << 3 << 0 << "Preparing for installation... ";
        QTest::newRow("canceled") << -1 << 8 << "Task error: Canceled";
        QTest::newRow("no connection") << -1 << 16 << "Task error: No Internet Connection";
        QTest::newRow("any other") << -1 << 22 << "Task error: the message";
    }
    void endTexts()
    {
        QFETCH(int, phase);
        QFETCH(int, error);
        QFETCH(QString, text);
        if (phase >= 0)
            QCOMPARE(CTaskTexts::progressLine(Name, CommandProgress{CommandPhase(phase), 0, 0, true}), text);
        else
            QCOMPARE(CTaskTexts::taskError(error, QStringLiteral("the message")), text);
    }

    // The model's construction keeps the 5 newest logs.
    void clearLog()
    {
        CTestDataDir data;
        const QString folder = QFileInfo(CDataLocations::logFilePath(QStringLiteral("x.log"))).absolutePath();
        const QDateTime now = QDateTime::currentDateTime();
        for (int age = 0; age < 7; ++age) {
            QFile log(folder + QStringLiteral("/run%0.log").arg(age));
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write("line\n");
            log.close();
            QVERIFY(log.open(QIODevice::ReadWrite));
            QVERIFY(log.setFileTime(now.addSecs(-60 * age), QFileDevice::FileModificationTime));
        }
        data.writeFile(QFileInfo(folder).fileName() + QStringLiteral("/notes.txt"), "kept");
        CMainWindowModel model;
        QStringList left = QDir(folder).entryList(QDir::Files, QDir::Name);
        left.removeAll(CLogger::logFileName());
        QCOMPARE(left, (QStringList{"notes.txt", "run0.log", "run1.log", "run2.log", "run3.log", "run4.log"}));
    }

    // The first view and the list: signed in, not signed in, and signed in while the service can't be reached.
    void startUp_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("statusText");
        QTest::newRow("stored log-in") << "stored" << 1 << int(ItemOutdated) << "";
        QTest::newRow("no stored log-in") << "none" << 4 << -1 << "";
        QTest::newRow("offline, stored log-in")
            << "offline" << 1 << int(ItemOutdated) << "Unable to check cycle against server";
        QTest::newRow("folder gone") << "missing" << 1 << int(ItemMissing)
                                     << "The folder of this addon was not found. If the addon or the simulator "
                                        "moved, please scan again.";
        QTest::newRow("install interrupted, can't be completed")
            << "interrupted" << 1 << int(ItemInterrupted) << "An install could not be completed (";
    }
    void startUp()
    {
        QFETCH(QString, situation);
        QFETCH(int, view);
        QFETCH(int, status);
        QFETCH(QString, statusText);
        CCommandWorld world;
        QVERIFY2(world.isReady(), qPrintable(world.problem()));
        const QUuid unknownMapping = QUuid::createUuid(); // an add-on the data index doesn't list
        auto* unknown = new IndexInfo;
        unknown->guid = QUuid::createUuid();
        unknown->name = QStringLiteral("Retired Navigator");
        auto* location = new IndexPathInfo;
        location->mappingGuid = unknownMapping;
        location->simulator = 0x8000;
        location->directory = QDir::toNativeSeparators(world.addonFolder() + QStringLiteral("-retired"));
        unknown->insertPath(location);
        QVERIFY(QDir().mkpath(location->directory));
        QFile installed(CDataLocations::installedIndexPath(location->directory, unknown->guid));
        QVERIFY(installed.open(QIODevice::WriteOnly) && installed.write(CCommandWorld::mappingXml(2)) > 0);
        installed.close();
        CDataIndex::instance()->addMappedAddon(unknown);
        Exception error;
        QVERIFY(CLocalIndex::saveMappings(&error));
        QTcpServer closed;
        if (situation == QLatin1String("none")) {
            CUser::forgetStoredCredentials();
            CUser::resetInstance();
        } else if (situation == QLatin1String("offline")) {
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            CSettings::setValue(SettingsKey::ServerAddress,
                                QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
            closed.close();
            CUser::resetInstance();
            // What an earlier run downloaded.
            QVERIFY(QFile::copy(world.service().rootPath() + QStringLiteral("/data.index"),
                                CDataLocations::dataIndexFilePath()));
        } else if (situation == QLatin1String("interrupted")) {
            QFile journal(world.addonFolder() + QStringLiteral("/.tessaray-install-1.journal"));
            QVERIFY(journal.open(QIODevice::WriteOnly) && journal.write("{ torn") > 0);
        } else if (situation == QLatin1String("missing")) {
            QVERIFY(QDir(world.addonFolder()).removeRecursively());
        }
        CRecordingView shown;
        CMainWindowModel model;
        model.initialize(&shown);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.with(QStringLiteral("view")).isEmpty(), 30000);
        QCOMPARE(shown.with(QStringLiteral("view")), QStringList{QStringLiteral("view %0").arg(view)});
        if (status < 0) {
            QTest::qWait(200);
            QVERIFY(shown.items.isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(shown.items.contains(CCommandWorld::Mapping), 30000);
        // The items come at once; what the disk says follows from a worker thread.
        QTRY_VERIFY_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).status != ItemChecking, 10000);
        const AddonItemRecord item = shown.item(CCommandWorld::Mapping);
        QCOMPARE(item.name, Name);
        QCOMPARE(item.status, status);
        if (statusText.endsWith(QLatin1Char('('))) // the rest is the recovery's reason
            QVERIFY2(item.statusText.startsWith(statusText), qPrintable(item.statusText));
        else
            QCOMPARE(item.statusText, statusText);
        QCOMPARE(model.isOffline(), situation == QLatin1String("offline"));
        QCOMPARE(shown.item(unknownMapping).status, int(ItemUnsupported));
        QCOMPARE(shown.item(unknownMapping).statusText, QStringLiteral("This addon is no longer in the data index."));
        model.updateSupportedItemList(); // the data index is started and connected once
        QTest::qWait(200);
        QCOMPARE(shown.with(QStringLiteral("waiting Updating your data index...")).size(), int(!model.isOffline()));
        QCOMPARE(shown.with(QStringLiteral("add Probe Navigator")).size(), 1);
        if (model.isOffline()) {
            QVERIFY(shown.calls.contains(QStringLiteral("message 6 Unable to check cycle against server")));
            model.onCommandButtonClicked(updateClick()); // needs the service: says so, queues nothing
            QCOMPARE(model.runner().pending(), 0);
            QVERIFY(shown.with(QStringLiteral("message 6 Updating needs the Brelvar web service")).size() == 1);
        }
    }

    // A click queues an update whose course reaches the item; a second click on it is refused.
    void update()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        shown.calls.clear();
        CDevServerFault slow; // slow enough for the download to report on its way
        slow.bytesPerSecond = 64 * 1024;
        world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
        model.onCommandButtonClicked(updateClick());
        model.onCommandButtonClicked(updateClick());
        QCOMPARE(model.runner().pending(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(model.runner().pending() == 0, 60000);

        const QStringList activity = shown.with(QStringLiteral("activity"));
        QCOMPARE(activity.first(), QStringLiteral("activity 1026 1 Waiting for download."));
        QCOMPARE(activity.count(QStringLiteral("activity 1026 1 Waiting for download.")), 1);
        QVERIFY2(activity.contains(QStringLiteral("activity 2 1 Downloading. (TOOL, %0)")
                                       .arg(QDir::toNativeSeparators(world.addonFolder()))),
                 qPrintable(activity.join(QLatin1Char('\n'))));
        QCOMPARE(activity.last(), QStringLiteral("activity 0 0 Processing Probe Navigator"));
        const QStringList progress = shown.with(QStringLiteral("progress"));
        QVERIFY(progress.contains(QStringLiteral("progress Preparing for download... | ")));
        // Megabytes with two decimals of the package's size, and the same percentage on the line and the item.
        const QString total = QString::number(world.packageBytes().size() / 1048576.0, 'f', 2);
        const QRegularExpression downloading(
            QStringLiteral(
                "^progress Downloading Probe Navigator - (\\d+\\.\\d\\d) MB/%0 MB downloaded \\((\\d+)%\\) \\| "
                "Downloading \\(\\2%\\)$")
                .arg(QRegularExpression::escape(total)));
        QVERIFY2(!progress.filter(downloading).isEmpty(), qPrintable(progress.join(QLatin1Char('\n'))));
        QTRY_COMPARE_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).status, int(ItemUpdated), 10000);
        QCOMPARE(world.differenceFrom(world.newFiles()), QString());
    }

    // A run of another copy of the program (here: its last step, the installed edition) reaches the item.
    void changedElsewhere()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        QCOMPARE(shown.item(CCommandWorld::Mapping).status, int(ItemOutdated));
        QSaveFile installed(world.installedIndex());
        QVERIFY(installed.open(QIODevice::WriteOnly) && installed.write(CCommandWorld::mappingXml(4)) > 0);
        QVERIFY(installed.commit());
        QTRY_COMPARE_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).status, int(ItemUpdated), 10000);
    }

    // A command whose location the command line is updating waits for it, and may be canceled meanwhile.
    void waitingAndCanceled()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        CDevServerFault slow;
        slow.bytesPerSecond = 4 * 1024;
        world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
        QProcess otherCopy;
        otherCopy.start(CCliRun::program(), {QStringLiteral("update"), CCommandWorld::Addon.toString(),
                                             CCommandWorld::Mapping.toString(), QStringLiteral("--no-backup")});
        QVERIFY(otherCopy.waitForStarted());
        // Downloading, it holds the location (and its lock file is there).
        const auto downloading = [&started]() {
            const QList<CDevServerRequest> requests = started.world.service().server().requests();
            return std::any_of(requests.cbegin(), requests.cend(),
                               [](const CDevServerRequest& r) { return r.path.endsWith("probe.zip"); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(downloading(), 20000);
        QVERIFY(QFileInfo::exists(CLocationLock(world.addonFolder()).lockFilePath()));
        model.onCommandButtonClicked(updateClick());
        QTRY_VERIFY2_WITH_TIMEOUT(
            shown.calls.contains(QStringLiteral("activity 1026 1 Waiting for another copy of the program...")),
            qPrintable(shown.calls.join(QLatin1Char('\n'))), 10000);
        QCOMPARE(otherCopy.state(), QProcess::Running);
        model.removeCommand(CommandInfo(CCommandWorld::Addon, CCommandWorld::Mapping, Update));
        QTRY_COMPARE(shown.item(CCommandWorld::Mapping).statusText, QStringLiteral("Task error: Canceled"));
        QCOMPARE(shown.item(CCommandWorld::Mapping).status, int(ItemError));
        QCOMPARE(model.runner().pending(), 0);
        CCliRun::end(otherCopy);
        QCOMPARE(world.differenceFrom(world.oldFiles()), QString());
    }

    // When the automatic backup can't be made (its record can't be written), the user may install without one.
    void backupFailed()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        QVERIFY(QDir().mkpath(
            CDataLocations::joinPath(CDataLocations::dataDirectory(), QStringLiteral("backup/backup.index"))));
        shown.answers = QList<int>{0}; // Yes
        model.onCommandButtonClicked(updateClick());
        QTRY_VERIFY2_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).status == ItemUpdated,
                                  qPrintable(shown.calls.join(QLatin1Char('\n'))), 60000);
        QCOMPARE(shown.asked, QStringList{"Backup failed"});
        QCOMPARE(shown
                     .with(QStringLiteral("item Probe Navigator 0 Task error: Nothing was updated, because the "
                                          "backup failed."))
                     .size(),
                 1);
        QCOMPARE(world.differenceFrom(world.newFiles()), QString());
    }

    // The backup menu's list comes at once from what was read last; a backup, a "View" and a deletion each
    // reach it, read on a worker, and the menu is built again. "View" extracts into a new folder of its own.
    void backups()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        QCOMPARE(model.queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping).size(), 0);
        model.onCommandButtonClicked({CCommandWorld::Addon, CCommandWorld::Mapping, Backup, {}});
        QTRY_VERIFY_WITH_TIMEOUT(shown.calls.contains(QStringLiteral("backup menu")), 30000);
        const QList<AddonBackupInfo> backups = model.queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping);
        QCOMPARE(backups.size(), 1);

        model.onCommandButtonClicked({CCommandWorld::Addon, CCommandWorld::Mapping, Restore, backups.first(), 2});
        QTRY_VERIFY_WITH_TIMEOUT(model.runner().pending() == 0, 30000);
        const QStringList said =
            shown.with(QStringLiteral("message 3 The backup of Probe Navigator has been extracted to "));
        QCOMPARE(said.size(), 1);
        const QString folder = QDir::fromNativeSeparators(said.first().section(QStringLiteral(" to "), 1).chopped(1));
        for (auto it = world.oldFiles().cbegin(); it != world.oldFiles().cend(); ++it)
            QCOMPARE(CTestDataDir::readFile(folder + QLatin1Char('/') + it.key()), it.value());
        QCOMPARE(world.differenceFrom(world.oldFiles()), QString());
        QCOMPARE(shown.item(CCommandWorld::Mapping).status, int(ItemOutdated));

        shown.calls.clear();
        QVERIFY(model.removeBackup(backups.first()));
        QTRY_VERIFY_WITH_TIMEOUT(shown.calls.contains(QStringLiteral("backup menu")), 10000);
        QVERIFY(shown.calls.contains(
            QStringLiteral("message 1 <b>Backup removed</b>: Your selected backup has been removed.")));
        QVERIFY(!QFileInfo::exists(backups.first().path));
        QCOMPARE(model.queryBackupItems(CCommandWorld::Addon, CCommandWorld::Mapping).size(), 0);
    }

    // Number 12 is the session's end only when the web service refuses an update its download address;
    // from a restore it says that nothing was restored.
    void sessionExpired_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("httpStatus"); // of the download address request
        QTest::addColumn<bool>("expired");
        QTest::addColumn<QString>("itemText");
        QTest::newRow("update, token refused") << int(Update) << 401 << true << "Task error: The web service gave no";
        QTest::newRow("update, service failing")
            << int(Update) << 500 << false << "Task error: The web service gave no";
        QTest::newRow("restore of a damaged package")
            << int(Restore) << 0 << false << "Task error: Unable to decompress";
    }
    void sessionExpired()
    {
        QFETCH(int, type);
        QFETCH(int, httpStatus);
        QFETCH(bool, expired);
        QFETCH(QString, itemText);
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        CommandButtonClickedInfo click{CCommandWorld::Addon, CCommandWorld::Mapping, type, {}};
        if (type == Update) {
            CDevServerFault refused;
            refused.status = httpStatus;
            refused.method = QStringLiteral("POST");
            world.service().server().setFault(QString(), refused);
        } else {
            QVERIFY(world.backup().result.succeeded());
            QList<AddonBackupInfo> backups;
            Exception error;
            QVERIFY(CBackupList::of(CCommandWorld::Addon, CCommandWorld::Mapping, &backups, &error) &&
                    backups.size() == 1);
            // A byte in the middle of a file's data, where the listed hash of the first 1024 bytes doesn't look.
            QFile package(backups.first().path);
            QVERIFY(package.open(QIODevice::ReadWrite));
            QByteArray bytes = package.readAll();
            const int at = std::max(bytes.indexOf("wpt.dat") + 2000, 2048);
            QVERIFY(at < bytes.size() - 1024);
            bytes[at] = char(bytes.at(at) ^ 0x55);
            QVERIFY(package.seek(0) && package.write(bytes) == bytes.size());
            package.close();
            click.backup = backups.first();
        }
        model.onCommandButtonClicked(click);
        QTRY_VERIFY_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).status == ItemError, 30000);
        QVERIFY2(shown.item(CCommandWorld::Mapping).statusText.startsWith(itemText),
                 qPrintable(shown.item(CCommandWorld::Mapping).statusText));
        QCOMPARE(shown.calls.contains("message 7 Your session is expired. Please quit the program and login again."),
                 expired);
        QCOMPARE(world.differenceFrom(world.oldFiles()), QString());
    }

    // Losing the connection shows the retry message and stops the update; its return starts over.
    void connectionLostAndBack()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        const QString address = CSettings::stringValue(SettingsKey::ServerAddress);
        const QString retry = QStringLiteral("<b>Error</b>: No active Internet connection detected. Would you like "
                                             "to <a href=\"#\">retry</a> now?");
        CDevServerFault slow;
        slow.bytesPerSecond = 8 * 1024;
        world.service().server().setFault(QStringLiteral("/packages/probe.zip"), slow);
        model.onCommandButtonClicked(updateClick());
        QTRY_VERIFY2_WITH_TIMEOUT(!shown.with(QStringLiteral("progress Downloading")).isEmpty(),
                                  qPrintable(shown.calls.join(QLatin1Char('\n'))), 30000);

        CSettings::setValue(SettingsKey::ServerAddress, QStringLiteral("http://no-such-host.invalid"));
        CNetworkStatus::instance()->check();
        QTRY_VERIFY_WITH_TIMEOUT(shown.calls.contains(QStringLiteral("message 8 ") + retry), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(shown.item(CCommandWorld::Mapping).statusText, QStringLiteral("Task error: Canceled"),
                                  30000);
        QCOMPARE(model.runner().pending(), 0);
        QCOMPARE(world.differenceFrom(world.oldFiles()), QString());

        CSettings::setValue(SettingsKey::ServerAddress, address);
        shown.calls.clear();
        CNetworkStatus::instance()->check();
        QTRY_VERIFY_WITH_TIMEOUT(shown.calls.contains(QStringLiteral("unmessage ") + retry), 30000);
        QVERIFY(shown.calls.contains(QStringLiteral("waiting Determining your account status...")));
        QTRY_VERIFY_WITH_TIMEOUT(shown.calls.contains(QStringLiteral("view 1")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.with(QStringLiteral("sort")).isEmpty(), 30000); // the data index, again
        QVERIFY(!model.isOffline());
    }

    // Edits stay in memory until saved; revert drops them; export copies the list; import replaces it only
    // by a file that reads as a mapping list, keeping the old one beside it.
    void mappingFiles()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        QSignalSpy done(&model, &CMainWindowModel::mappingFileDone);
        const QString list = CDataLocations::mappingListFilePath();
        const QByteArray withLocation = CTestDataDir::readFile(list);

        // A second location of the add-on, then the first moved onto it: refused with the modify text.
        const QString other = QDir::toNativeSeparators(world.addonFolder() + QStringLiteral("-other"));
        model.addNewAddon(AddonInsertInfo{CCommandWorld::Addon, Name, 0x8000, other});
        QVERIFY(model.isMappingChanged());
        QCOMPARE(shown.items.size(), 2);
        shown.directories = QStringList{other};
        model.onCommandButtonClicked({CCommandWorld::Addon, CCommandWorld::Mapping, Modify, {}});
        QVERIFY(shown.calls.contains(QStringLiteral("message 1 <b>Duplicated Mapping</b>: Duplicated mapping found. "
                                                    "Your mapping for addon Probe Navigator (TOOL) will not be "
                                                    "saved.")));
        QCOMPARE(shown.item(CCommandWorld::Mapping).directory, QDir::toNativeSeparators(world.addonFolder()));

        model.revertMapping();
        QVERIFY(done.wait(10000));
        QCOMPARE(done.takeFirst().at(0).toBool(), true);
        QCOMPARE(shown.items.keys(), QList<QUuid>{CCommandWorld::Mapping});
        QVERIFY(!model.isMappingChanged());

        model.onCommandButtonClicked({CCommandWorld::Addon, CCommandWorld::Mapping, Remove, {}});
        QVERIFY(shown.items.isEmpty());
        QCOMPARE(CTestDataDir::readFile(list), withLocation); // not saved yet
        model.saveMapping();
        QVERIFY(done.wait(10000));
        QCOMPARE(done.takeFirst().at(0).toBool(), true);
        QVERIFY(shown.calls.contains(QStringLiteral("message 3 Your addon mappings have been saved.")));
        const QByteArray empty = CTestDataDir::readFile(list);
        QVERIFY(!empty.isEmpty() && !empty.contains("0c6e1f0a"));

        const QString exported = world.service().rootPath() + QStringLiteral("/exported.index");
        model.exportMapping(exported);
        QVERIFY(done.wait(10000));
        QCOMPARE(done.takeFirst().at(0).toBool(), true);
        QCOMPARE(CTestDataDir::readFile(exported), empty);
        QVERIFY(
            shown.calls.contains(QStringLiteral("message 3 Your current addon mapping was successfully exported.")));

        const QString damaged = world.service().rootPath() + QStringLiteral("/damaged.index");
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(withLocation.left(withLocation.size() / 2)) > 0);
        file.close();
        model.importMapping(damaged);
        QVERIFY(done.wait(10000));
        QCOMPARE(done.takeFirst().at(0).toBool(), false);
        QVERIFY(!shown.with(QStringLiteral("message 8 %0 is not a mapping list").arg(damaged)).isEmpty());
        QCOMPARE(CTestDataDir::readFile(list), empty);
        QCOMPARE(QDir(QFileInfo(list).absolutePath()).entryList({QStringLiteral("mapping-bak-*")}), QStringList{});

        const QString good = world.service().rootPath() + QStringLiteral("/good.index");
        QFile goodFile(good);
        QVERIFY(goodFile.open(QIODevice::WriteOnly) && goodFile.write(withLocation) == withLocation.size());
        goodFile.close();
        model.importMapping(good);
        QVERIFY(done.wait(10000));
        QVERIFY2(done.takeFirst().at(0).toBool(),
                 qPrintable(shown.with(QStringLiteral("message")).join(QLatin1Char('\n'))));
        QCOMPARE(CTestDataDir::readFile(list), withLocation);
        const QStringList kept =
            QDir(QFileInfo(list).absolutePath()).entryList({QStringLiteral("mapping-bak-*.index")});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(CTestDataDir::readFile(QFileInfo(list).absolutePath() + QLatin1Char('/') + kept.first()), empty);
        QCOMPARE(shown.items.keys(), QList<QUuid>{CCommandWorld::Mapping});
        QVERIFY(shown.calls.contains(
            QStringLiteral("message 1 <b>File imported</b>: The mapping has been imported successfully.")));
    }

    // The sample simulators of samples/make-fake-sims: the scan finds each of the 10 sample locations, says
    // how many, and lists them; "mapping.index" gets them only when the user saves.
    void scanFindsEverySample()
    {
#ifdef Q_OS_WIN
        QSKIP("The sample layout is a POSIX shell script.");
#endif
        CTestDataDir scratch;
        QProcess script;
        script.start(QStringLiteral("/bin/sh"),
                     {qEnvironmentVariable("TESSARAY_SOURCE_DIR") + QStringLiteral("/samples/make-fake-sims"),
                      scratch.filePath(QStringLiteral("layout"))});
        QVERIFY(script.waitForFinished(60000) && script.exitCode() == 0);
        // It prints the environment to use as "export NAME='value'" lines.
        CScopedEnvironment environment;
        static const QRegularExpression exportLine(QStringLiteral("^export ([A-Za-z_]+)='(.*)'$"));
        for (const QString& line : QString::fromUtf8(script.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch match = exportLine.match(line);
            if (match.hasMatch())
                environment.set(match.captured(1).toUtf8().constData(), match.captured(2).toUtf8());
        }
        CDataIndex::resetInstance();
        Exception error;
        QString warning;
        QVERIFY2(CLocalIndex::load(&error, &warning) && warning.isEmpty(), qPrintable(warning));

        CRecordingView shown;
        CMainWindowModel model;
        model.setView(&shown);
        QSignalSpy scanned(&model, &CMainWindowModel::scanFinished);
        model.onScanAddonClicked();
        QVERIFY(scanned.wait(60000));
        QCOMPARE(scanned.first().at(0).toInt(), 10);
        QVERIFY(shown.calls.contains(QStringLiteral("message 3 Scan completed - 10 addons detected.")));
        QCOMPARE(shown.items.size(), 10);
        QVERIFY(model.isMappingChanged());
        QVERIFY(!QFileInfo::exists(CDataLocations::mappingListFilePath()));
        CDataIndex::resetInstance();
    }

    // Unsaved edits are saved before a scan, or the scan doesn't run; the X-Plane question comes once.
    void scanPrompts()
    {
        CStartedModel started;
        QCOMPARE(started.start(), QString());
        auto& [world, shown, model] = started;
        QSignalSpy scanned(&model, &CMainWindowModel::scanFinished);
        model.onCommandButtonClicked({CCommandWorld::Addon, CCommandWorld::Mapping, Remove, {}});
        shown.answers = QList<int>{1}; // Cancel
        model.onScanAddonClicked();
        QCOMPARE(shown.asked, QStringList{"Scan for addons"});
        QVERIFY(!scanned.wait(500));

        shown.asked.clear();
        shown.answers = QList<int>{0}; // Save and Proceed
        model.onScanAddonClicked();
        QVERIFY(scanned.wait(20000));
        QVERIFY(!model.isMappingChanged() || scanned.first().at(0).toInt() > 0);
        QVERIFY(!CTestDataDir::readFile(CDataLocations::mappingListFilePath()).contains("0c6e1f0a"));
        QCOMPARE(shown.asked,
                 (QStringList{"Scan for addons", "Please select a location for your flight simulator..."}));
        QVERIFY(shown.calls.contains(
            QStringLiteral("message 3 Scan completed - %0 addons detected.").arg(scanned.first().at(0).toInt())));

        shown.asked.clear();
        QSignalSpy reverted(&model, &CMainWindowModel::mappingFileDone);
        model.revertMapping();
        QVERIFY(reverted.wait(10000));
        model.onScanAddonClicked();
        QVERIFY(scanned.wait(20000));
        QCOMPARE(shown.asked, QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestMainWindowModel)
#include "tst_mainwindowmodel.moc"
