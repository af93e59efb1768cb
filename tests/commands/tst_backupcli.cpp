#include "cclirun.h"
#include "ccommandworld.h"
#include "commands/cioutils.h"
#include "foundation/cdatalocations.h"
#include "zip/zip.h"

#include <QtTest>

// The add-on commands of tessaray-cli as a shell runs them: what `backups` and `restore --latest` offer when
// a package is damaged, an update whose backup fails, a backup list that can't be read, names instead of
// GUIDs, and commands that did nothing, which never report success.
class TestBackupCli : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CCommandWorld> m_world;
    const QString addon = CCommandWorld::Addon.toString(QUuid::WithoutBraces);
    const QString mapping = CCommandWorld::Mapping.toString(QUuid::WithoutBraces);

    QString file(const QString& name) const { return m_world->addonFolder() + QLatin1Char('/') + name; }
    static QStringList packages()
    {
        return QDir(CIOUtils::backupFolder()).entryList({QStringLiteral("*.bak")}, QDir::Files, QDir::Name);
    }
    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    }

private slots:
    void init()
    {
        m_world = std::make_unique<CCommandWorld>();
        QVERIFY2(m_world->isReady(), qPrintable(m_world->problem()));
        // The command line finds the location in the mapping list and signs in by itself.
        QVERIFY(write(CDataLocations::mappingListFilePath(),
                      QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                                     "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                          .arg(addon, mapping, m_world->addonFolder())
                          .toUtf8()));
        const QStringList login{QStringLiteral("login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")};
        QCOMPARE(CCliRun::run(login, "demo-pass-2612\n").exitCode, 0);
    }
    void cleanup() { m_world.reset(); }

    // A newest package damaged after its first 1024 bytes (so its recorded hash still matches) is named and
    // passed over: `backups` leaves it out, `restore --latest` restores the one before it.
    void damagedNewestBackupIsPassedOver()
    {
        QCOMPARE(CCliRun::run({QStringLiteral("backup"), addon, mapping}).exitCode, 0);
        QVERIFY(write(file(QStringLiteral("waypoints.dat")), "second"));
        QCOMPARE(CCliRun::run({QStringLiteral("backup"), addon, mapping}).exitCode, 0);
        QCOMPARE(packages().size(), 2);
        const QString newest = CDataLocations::joinPath(CIOUtils::backupFolder(), packages().last());
        QFile package(newest);
        QVERIFY(package.size() > 3000 && package.open(QIODevice::ReadWrite) && package.seek(1500));
        const char flipped = char(package.peek(1).at(0) ^ 0x5a);
        package.write(&flipped, 1);
        package.close();

        const CCliRun listed = CCliRun::run({QStringLiteral("backups"), addon, mapping});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out.count('\n'), 1);
        QVERIFY2(listed.err.contains(QStringLiteral("skipped, damaged backup ") + newest), qPrintable(listed.err));

        QVERIFY(write(file(QStringLiteral("waypoints.dat")), "third"));
        const CCliRun restored = CCliRun::run({QStringLiteral("restore"), addon, mapping, QStringLiteral("--latest")});
        QVERIFY2(restored.exitCode == 0 && restored.err.contains(newest), qPrintable(restored.err));
        QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
    }

    // A file the backup can't read: the update stops with the backup's own error number, naming the file,
    // installs nothing and says how to go on; with --no-backup it installs.
    void failedBackupStopsTheUpdate_data()
    {
        QTest::addColumn<QString>("link"); // where waypoints.dat leads
        QTest::newRow("dangling link") << "gone.dat";
        QTest::newRow("looping link") << "waypoints.dat";
    }
    void failedBackupStopsTheUpdate()
    {
        QFETCH(QString, link);
        const QString waypoints = file(QStringLiteral("waypoints.dat"));
        QVERIFY(QFile::remove(waypoints) && QFile::link(link, waypoints));
        const CCliRun stopped = CCliRun::run({QStringLiteral("update"), addon, mapping});
        QCOMPARE(stopped.exitCode, 1);
        QVERIFY2(stopped.err.contains(QStringLiteral("error 23: ")) && stopped.err.contains(waypoints) &&
                     stopped.err.contains(QStringLiteral("--no-backup")),
                 qPrintable(stopped.err));
        QCOMPARE(CTestDataDir::readFile(m_world->installedIndex()), CCommandWorld::mappingXml(3));
        QCOMPARE(CTestDataDir::readFile(file(QStringLiteral("nav/navaids.dat"))),
                 m_world->oldFiles().value(QStringLiteral("nav/navaids.dat")));
        QVERIFY(packages().isEmpty());

        const CCliRun updated = CCliRun::run({QStringLiteral("update"), addon, mapping, QStringLiteral("--no-backup")});
        QVERIFY2(updated.exitCode == 0, qPrintable(updated.err));
        QCOMPARE(m_world->differenceFrom(m_world->newFiles()), QString());
        QVERIFY(packages().isEmpty());
    }

    // A backup list that can't be read fails the commands that need it, and no package is left unrecorded.
    void unreadableBackupListFailsTheCommand()
    {
        QDir().mkpath(CIOUtils::backupFolder());
        QVERIFY(write(CIOUtils::backupListFilePath(), "<backupfiles><addon"));
        const CCliRun listed = CCliRun::run({QStringLiteral("backups"), addon, mapping});
        QCOMPARE(listed.exitCode, 1);
        QVERIFY2(listed.err.contains(QStringLiteral("backup.index")), qPrintable(listed.err));
        QCOMPARE(CCliRun::run({QStringLiteral("backup"), addon, mapping}).exitCode, 1);
        QVERIFY(packages().isEmpty());
        QCOMPARE(CTestDataDir::readFile(CIOUtils::backupListFilePath()), QByteArray("<backupfiles><addon"));
    }

    void nothingDoneIsNoSuccess_data()
    {
        QTest::addColumn<QString>("before"); // what is done to the location first
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        const QString probe = QStringLiteral("probe");
        QTest::newRow("unknown add-on") << "" << QStringList{"backup", "Osprey"} << 2 << "Probe (" + addon;
        QTest::newRow("unknown location")
            << "" << QStringList{"backups", probe, "FSX"} << 1 << "has no mapped location 'FSX'";
        QTest::newRow("update of a restored location")
            << "restore" << QStringList{"update", probe} << 1 << "holds a restored backup";
        QTest::newRow("update of a missing folder")
            << "remove folder" << QStringList{"update", probe} << 1 << "is missing";
        QTest::newRow("another add-on's package")
            << "foreign package" << QStringList{"restore", probe, "--package", "foreign.bak"} << 1 << "holds no files";
    }
    void nothingDoneIsNoSuccess()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        if (before == QLatin1String("restore")) {
            QCOMPARE(CCliRun::run({QStringLiteral("backup"), addon}).exitCode, 0);
            QCOMPARE(CCliRun::run({QStringLiteral("restore"), addon, QStringLiteral("--latest")}).exitCode, 0);
        } else if (before == QLatin1String("remove folder")) {
            QVERIFY(QDir(m_world->addonFolder()).removeRecursively());
        } else if (before == QLatin1String("foreign package")) {
            const QString foreign = CDataLocations::joinPath(m_world->addonFolder(), QStringLiteral("../foreign.bak"));
            arguments.last() = foreign;
            Zip zip;
            QVERIFY(zip.create(foreign, true) == Zip::Ok);
            QVERIFY(zip.addFileAs(file(QStringLiteral("waypoints.dat")), QStringLiteral("other.dat")) == Zip::Ok);
            zip.close();
        }
        const QMap<QString, QByteArray> files =
            before == QLatin1String("restore") ? m_world->oldFiles() : QMap<QString, QByteArray>();
        const CCliRun run = CCliRun::run(arguments);
        QVERIFY2(run.exitCode == exitCode && run.err.contains(QStringLiteral("error ")) && run.err.contains(said),
                 qPrintable(run.err));
        QVERIFY(!run.out.contains("updated") && !run.out.contains("restored"));
        QCOMPARE(m_world->differenceFrom(files), QString());
    }

    // Backup and backups need only the stored log-in; restore --to-folder says where each location went.
    void offlineBackupAndFolderRestore()
    {
        m_world->service().server().stop();
        const CCliRun backedUp = CCliRun::run({QStringLiteral("backup"), QStringLiteral("PRO")});
        QVERIFY2(backedUp.exitCode == 0 && backedUp.out.startsWith("Probe\tTOOL\tbacked up"), qPrintable(backedUp.err));
        const CCliRun listed =
            CCliRun::run({QStringLiteral("backups"), QStringLiteral("probe"), QStringLiteral("TOOL")});
        QCOMPARE(listed.out.count('\n'), 1);
        QVERIFY(m_world->service().server().start());
        m_world->service().useAsServerAddress();
        const CCliRun restored =
            CCliRun::run({QStringLiteral("restore"), addon, QStringLiteral("--latest"), QStringLiteral("--to-folder")});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        const QString folder = QString::fromUtf8(restored.out)
                                   .section(QLatin1Char('\t'), 2, 2)
                                   .section(QStringLiteral("extracted to "), 1)
                                   .trimmed();
        QVERIFY2(QFileInfo(folder + QStringLiteral("/waypoints.dat")).isFile(), restored.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestBackupCli)
#include "tst_backupcli.moc"
