#include "ccommandworld.h"
#include "commands/caddonstatus.h"
#include "commands/cbackupconfigserializer.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "commands/cqueueable.h"
#include "commands/cupdatecommand.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QProcess>
#include <QtTest>

#include <thread>

namespace
{
QList<AddonBackupInfo> backups()
{
    MappingGuid which{CCommandWorld::Addon, CCommandWorld::Mapping};
    CBackupConfigSerializer list;
    QList<AddonBackupInfo> result;
    for (AddonBackupInfo* backup : list.deserialize(QVariant::fromValue(&which)).value<QList<AddonBackupInfo*>>()) {
        result.append(*backup);
        delete backup;
    }
    return result;
}

// What Info-ZIP's unzip prints of one entry of a password-protected package.
QByteArray unzipEntry(const QString& package, const QString& entry)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), QStringLiteral("-P"),
                                          packagePassword(CUser::instance()->userId()), package, entry});
    unzip.waitForFinished(30000);
    return unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool anyError(const CCommandWorld::Outcome& outcome)
{
    for (const Exception& error : outcome.errors) {
        if (error.errorLevel >= 6)
            return true;
    }
    return false;
}
} // namespace

// The update, backup and restore commands end to end, against the development service and real files.
Q_DECLARE_METATYPE(CommandPhase)

class TestCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CCommandWorld> m_world;

private slots:
    void init()
    {
        m_world = std::make_unique<CCommandWorld>();
        QVERIFY2(m_world->isReady(), qPrintable(m_world->problem()));
    }
    void cleanup() { m_world.reset(); }

    void updateInstallsByTheMappingAndBacksUp()
    {
        const CCommandWorld::Outcome outcome = m_world->update();
        QCOMPARE(outcome.completions, 1);
        QVERIFY(!anyError(outcome));
        QCOMPARE(m_world->differenceFrom(m_world->newFiles()), QString());
        QCOMPARE(CTestDataDir::readFile(m_world->installedIndex()), CCommandWorld::mappingXml(4));
        QCOMPARE(CAddonStatus::of(CCommandWorld::Addon, CCommandWorld::Mapping).state, AddonStatus::Updated);

        // The backup holds what was installed before, readable by another zip tool with the password.
        const QList<AddonBackupInfo> made = backups();
        QCOMPARE(made.size(), 1);
        QCOMPARE(unzipEntry(made.first().path, QStringLiteral("wpt.dat")),
                 m_world->oldFiles().value(QStringLiteral("waypoints.dat")));
        // Labelled with what the installed file mapping on disk says, not with the location's older record.
        QCOMPARE(made.first().cycle, 2612);
        QCOMPARE(made.first().revision, 3);

        const QList<QJsonObject> statistics = m_world->service()->statisticsUploads();
        QCOMPARE(statistics.size(), 1);
        QCOMPARE(statistics.first().size(), 15);
        QCOMPARE(statistics.first().value(QStringLiteral("size")).toInt(), m_world->packageBytes().size());
    }

    void restoreBringsBackTheBackup_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("into the add-on folder") << 1;
        QTest::newRow("into a new folder") << 2;
    }
    void restoreBringsBackTheBackup()
    {
        QFETCH(int, mode);
        QCOMPARE(m_world->update().completions, 1);
        const QList<AddonBackupInfo> made = backups();
        QCOMPARE(made.size(), 1);
        const CCommandWorld::Outcome outcome = m_world->restore(made.first(), mode);
        QCOMPARE(outcome.completions, 1);
        QVERIFY(!anyError(outcome));
        const AddonStatus status = CAddonStatus::of(CCommandWorld::Addon, CCommandWorld::Mapping);
        if (mode == 1) {
            QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
            QCOMPARE(status.state, AddonStatus::Restored);
        } else {
            QCOMPARE(m_world->differenceFrom(m_world->newFiles()), QString());
            QCOMPARE(status.state, AddonStatus::Updated);
        }
    }

    // Seven packages of a mapping and "remove old backups" on: the two oldest go, files and records.
    void pruningKeepsFive()
    {
        CSettings::setValue(SettingsKey::RemoveOldBackup, true);
        const QString folder = CIOUtils::backupFolder();
        QDir().mkpath(folder);
        QStringList older;
        for (int day = 1; day <= 6; ++day) {
            const QDateTime date(QDate(2026, 1, day), QTime(12, 0));
            const QString name = CBackupConfigSerializer::packageName(CCommandWorld::Mapping, date);
            const QString path = CDataLocations::joinPath(folder, name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(2048, char('a' + day)));
            file.close();
            AddonBackupInfo record{
                CCommandWorld::Addon, CCommandWorld::Mapping, folder, path, CIOUtils::fileHash(path), date, 2611, 1};
            CBackupConfigSerializer list;
            QVERIFY(list.serialize(QVariant::fromValue(&record)).toBool());
            older.append(name);
        }
        QCOMPARE(m_world->backup().completions, 1);
        const QStringList kept = QDir(folder).entryList({QStringLiteral("*.bak")}, QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), CBackupConfigSerializer::KeptPackages);
        QVERIFY(!kept.contains(older.at(0)) && !kept.contains(older.at(1)) && kept.contains(older.at(2)));
        QCOMPARE(CTestDataDir::readFile(CIOUtils::backupListFilePath()).count("<file "),
                 CBackupConfigSerializer::KeptPackages);
        QCOMPARE(backups().size(), CBackupConfigSerializer::KeptPackages);
    }

    // Records added at the same time (two copies of the program) are all kept: the list is changed under
    // its lock, never from a copy read before another's write.
    void simultaneousRecordsAreAllKept()
    {
        constexpr int perWriter = 15;
        const auto write = [](int writer) {
            for (int i = 0; i < perWriter; ++i) {
                AddonBackupInfo record{CCommandWorld::Addon,
                                       CCommandWorld::Mapping,
                                       QString(),
                                       QString(),
                                       QStringLiteral("hash"),
                                       QDateTime(QDate(2026, 1, 1 + writer), QTime(0, 0, i)),
                                       2612,
                                       1};
                CBackupConfigSerializer list;
                list.serialize(QVariant::fromValue(&record));
            }
        };
        std::thread first(write, 0);
        std::thread second(write, 1);
        first.join();
        second.join();
        QCOMPARE(CTestDataDir::readFile(CIOUtils::backupListFilePath()).count("<file "), 2 * perWriter);
    }

    // Whatever goes wrong, the command ends once and the installed files are the old ones, whole.
    void failuresChangeNothing_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("errorNumber"); // 0: any
        QTest::newRow("no network") << "offline" << 16;
        QTest::newRow("address refused (401)") << "address 401" << 12;
        QTest::newRow("server error on the package") << "package 500" << 0;
        QTest::newRow("connection dropped") << "package drop" << 0;
        QTest::newRow("false length") << "package false length" << 0;
        QTest::newRow("range ignored") << "package ignores ranges" << 0;
        QTest::newRow("damaged package") << "damaged" << 0;
        QTest::newRow("mapping reaching out of the folder") << "escaping mapping" << 3;
        QTest::newRow("add-on folder gone") << "folder gone" << 12;
    }
    void failuresChangeNothing()
    {
        QFETCH(QString, failure);
        QFETCH(int, errorNumber);
        CDevServerFault fault;
        const QString package = QStringLiteral("/packages/probe.zip");
        if (failure == QLatin1String("offline")) {
            CSettings::setValue(SettingsKey::ServerAddress, QStringLiteral("http://no-such-host.invalid"));
            QSignalSpy answered(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged);
            CNetworkStatus::instance()->check();
            QTRY_VERIFY_WITH_TIMEOUT(!answered.isEmpty(), 20000);
        } else if (failure == QLatin1String("address 401")) {
            fault.status = 401;
            m_world->service()->setFault(QStringLiteral("/api/1/download/eu/fmsdata/") + CUser::instance()->token(),
                                         fault);
        } else if (failure.startsWith(QLatin1String("package"))) {
            fault.method = QStringLiteral("GET");
            if (failure.endsWith(QLatin1String("500")))
                fault.status = 500;
            else if (failure.endsWith(QLatin1String("drop")))
                fault.dropAfterBytes = 1000;
            else if (failure.endsWith(QLatin1String("length")))
                fault.contentLength = CDevServerFault::ContentLength::False, fault.falseContentLength = 10;
            else
                fault.ignoreRange = true;
            m_world->service()->setFault(package, fault);
        } else if (failure == QLatin1String("damaged")) {
            QByteArray bytes = m_world->packageBytes();
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x55);
            m_world->service().writeFile(QStringLiteral("packages/probe.zip"), bytes);
        } else if (failure == QLatin1String("escaping mapping")) {
            m_world->publishPackage(QByteArrayLiteral("<mapping cycle=\"2612\" revision=\"4\"><sim simulator=\"USER\">"
                                                      "<file source=\"wpt.dat\" destination=\"../../escaped.dat\"/>"
                                                      "</sim></mapping>"),
                                    {{QStringLiteral("wpt.dat"), QByteArray("evil")}});
        } else if (failure == QLatin1String("folder gone")) {
            QVERIFY(QDir(m_world->addonFolder()).removeRecursively());
        }

        const CCommandWorld::Outcome outcome = m_world->update();
        QCOMPARE(outcome.completions, 1);
        QVERIFY2(anyError(outcome) || errorNumber == 16, qPrintable(QString::number(outcome.errors.size())));
        if (errorNumber != 0)
            QVERIFY2(outcome.errorNumbers().contains(errorNumber),
                     qPrintable(outcome.errors.isEmpty() ? QString() : outcome.errors.first().message));
        if (failure != QLatin1String("folder gone")) {
            QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
            QCOMPARE(CTestDataDir::readFile(m_world->installedIndex()), CCommandWorld::mappingXml(3));
        }
        QVERIFY(!QFileInfo::exists(m_world->addonFolder() + QStringLiteral("/../escaped.dat")));
    }

    // A cancel in any phase ends the command once with "User canceled." and leaves the old files whole.
    void cancelLeavesTheOldFiles_data()
    {
        QTest::addColumn<CommandPhase>("phase");
        QTest::addColumn<bool>("preparing");
        QTest::newRow("while downloading") << CommandPhase::Download << false;
        QTest::newRow("before the backup") << CommandPhase::Install << true;
        QTest::newRow("while installing") << CommandPhase::Install << false;
    }
    void cancelLeavesTheOldFiles()
    {
        QFETCH(CommandPhase, phase);
        QFETCH(bool, preparing);
        if (phase == CommandPhase::Download) {
            CDevServerFault slow;
            slow.method = QStringLiteral("GET");
            slow.bytesPerSecond = 20000;
            m_world->service()->setFault(QStringLiteral("/packages/probe.zip"), slow);
        }
        const CCommandWorld::Outcome outcome =
            m_world->update([phase, preparing](CQueueable* command, const CommandProgress& progress) {
                // The first pulse of the step: a download that has begun, an install that has not.
                const bool begun = progress.phase == CommandPhase::Download ? progress.done > 0 : progress.done == 0;
                if (progress.phase == phase && progress.preparing == preparing && (preparing || begun))
                    command->stop();
            });
        QCOMPARE(outcome.completions, 1);
        QCOMPARE(outcome.result.outcome, CommandResult::Canceled);
        QCOMPARE(outcome.errorNumbers(), QList<int>{8});
        QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
        QCOMPARE(CTestDataDir::readFile(m_world->installedIndex()), CCommandWorld::mappingXml(3));
        QVERIFY(QDir(m_world->addonFolder())
                    .entryList({QStringLiteral(".tessaray-install-*")}, QDir::AllEntries | QDir::Hidden)
                    .isEmpty());
    }

    // An add-on never updated by us has no installed file mapping: the first update still keeps what the
    // add-on came with, and that backup puts it back.
    void firstUpdateBacksUpTheShippedFiles()
    {
        QVERIFY(QFile::remove(m_world->installedIndex()));
        CCommandWorld::Outcome outcome = m_world->update();
        QCOMPARE(outcome.completions, 1);
        QVERIFY(!anyError(outcome));
        QCOMPARE(m_world->differenceFrom(m_world->newFiles()), QString());
        const QList<AddonBackupInfo> made = backups();
        QCOMPARE(made.size(), 1);
        outcome = m_world->restore(made.first(), 1);
        QVERIFY(!anyError(outcome));
        QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
    }

    // Packages made within one second, and a name someone else's file already has: every package gets a
    // name of its own that still reads as its time, nothing is overwritten, and each can be restored.
    void backupNamesNeverCollide()
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QString taken = CDataLocations::joinPath(
            CIOUtils::backupFolder(), CBackupConfigSerializer::packageName(CCommandWorld::Mapping, now));
        QVERIFY(writeBytes(taken, QByteArray(2048, 'u')));

        QVERIFY(!anyError(m_world->backup()));
        QVERIFY(!anyError(m_world->backup()));
        QCOMPARE(CTestDataDir::readFile(taken), QByteArray(2048, 'u'));
        const QList<AddonBackupInfo> made = backups();
        QCOMPARE(made.size(), 2);
        QVERIFY(made.at(0).path != taken && made.at(1).path != taken);
        QVERIFY(made.at(0).date.isValid() && made.at(0).date < made.at(1).date);
        for (const AddonBackupInfo& backup : made) {
            QVERIFY(writeBytes(m_world->addonFolder() + QStringLiteral("/waypoints.dat"), "changed"));
            QVERIFY(!anyError(m_world->restore(backup, 1)));
            QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
        }
    }

    // Two installed files that a backup would store under one entry name: no backup, and it says why.
    void backupRefusesTwoFilesUnderOneName()
    {
        QFile index(m_world->installedIndex());
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("<mapping cycle=\"2611\" revision=\"3\"><sim simulator=\"USER\">"
                    "<file source=\"wpt.dat\" destination=\"waypoints.dat\"/>"
                    "<directory name=\"nav\"><file source=\"wpt.dat\" destination=\"navaids.dat\"/></directory>"
                    "</sim></mapping>");
        index.close();
        const CCommandWorld::Outcome outcome = m_world->backup();
        QCOMPARE(outcome.completions, 1);
        QVERIFY(!outcome.errors.isEmpty());
        QVERIFY2(outcome.errors.first().message.contains(QStringLiteral("'wpt.dat'")),
                 qPrintable(outcome.errors.first().message));
        QVERIFY(backups().isEmpty());
        QVERIFY(QDir(CIOUtils::backupFolder()).entryList({QStringLiteral("*.bak*")}, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
