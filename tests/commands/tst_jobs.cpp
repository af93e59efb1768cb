// The job layer the command line and the window's model share: naming locations, loading the local index,
// running commands with one result each, and a location's backups.

#include "ccommandworld.h"
#include "commands/caddonstatus.h"
#include "commands/cbackuplist.h"
#include "commands/cioutils.h"
#include "commands/cjobrunner.h"
#include "commands/clocalindex.h"
#include "commands/clocationselector.h"
#include "ctestdatadir.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "webservices/cuser.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace
{
AddonStatus location(const char* addon, const char* name, const char* mapping, const char* simulator)
{
    AddonStatus status;
    status.addonGuid = QUuid(QString::fromLatin1(addon));
    status.name = QString::fromLatin1(name);
    status.mappingGuid = QUuid(QString::fromLatin1(mapping));
    status.simulator = QString::fromLatin1(simulator);
    status.folder = QStringLiteral("/sims/") + status.simulator;
    return status;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

const QList<AddonStatus> mapped{
    location("{00000000-0000-0000-0000-0000000000a1}", "Vireo V700", "{00000000-0000-0000-0000-0000000000b1}", "FSX"),
    location("{00000000-0000-0000-0000-0000000000a1}", "Vireo V700", "{00000000-0000-0000-0000-0000000000b2}", "P34"),
    location("{00000000-0000-0000-0000-0000000000a2}", "Vireo V900", "{00000000-0000-0000-0000-0000000000b3}", "XP11"),
    location("{00000000-0000-0000-0000-0000000000a3}", "Sparrow S-2", "{00000000-0000-0000-0000-0000000000b4}", "XP11"),
};
} // namespace

class TestJobs : public QObject
{
    Q_OBJECT

private slots:
    // An add-on by GUID, by its name in any letter case or by a prefix only it has; a location by its
    // mapping GUID or its simulator. What can't be told apart comes back with the candidates.
    void selection_data()
    {
        QTest::addColumn<QString>("addon");
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<QStringList>("simulators");
        QTest::addColumn<int>("candidates");
        QTest::newRow("guid") << "00000000-0000-0000-0000-0000000000a1"
                              << "" << QStringList{"FSX", "P34"} << 0;
        QTest::newRow("name in other case") << "vireo v700"
                                            << "" << QStringList{"FSX", "P34"} << 0;
        QTest::newRow("unique prefix") << "SPAR"
                                       << "" << QStringList{"XP11"} << 0;
        QTest::newRow("ambiguous prefix") << "vireo"
                                          << "" << QStringList{} << 2;
        QTest::newRow("unknown name") << "Osprey"
                                      << "" << QStringList{} << 3;
        QTest::newRow("unknown guid") << "00000000-0000-0000-0000-0000000000ff"
                                      << "" << QStringList{} << 3;
        QTest::newRow("simulator") << "Vireo V700"
                                   << "p34" << QStringList{"P34"} << 0;
        QTest::newRow("mapping guid") << "vireo v700"
                                      << "{00000000-0000-0000-0000-0000000000b1}" << QStringList{"FSX"} << 0;
        QTest::newRow("simulator it lacks") << "sparrow"
                                            << "FSX" << QStringList{} << 1;
    }
    void selection()
    {
        QFETCH(QString, addon);
        QFETCH(QString, mapping);
        QFETCH(QStringList, simulators);
        QFETCH(int, candidates);
        const CLocationSelector::Selection chosen = CLocationSelector::select(mapped, addon, mapping);
        QStringList found;
        for (const AddonStatus& location : chosen.locations)
            found.append(location.simulator);
        QCOMPARE(found, simulators);
        QCOMPARE(chosen.candidates.size(), candidates);
        QCOMPARE(chosen.error.isEmpty(), !simulators.isEmpty());
    }

    // A mapping list that doesn't parse is an error, never "nothing mapped"; a data index that doesn't
    // is a warning, and the mapped locations still stand.
    void unreadableFiles()
    {
        CTestDataDir data;
        CDataIndex::resetInstance();
        writeFile(CDataLocations::mappingListFilePath(), "<addonIndexes><addon");
        Exception error;
        QString warning;
        QVERIFY(!CLocalIndex::load(&error, &warning));
        QVERIFY(error.message.contains(QStringLiteral("mapping.index")));

        QVERIFY(QFile::remove(CDataLocations::mappingListFilePath()));
        writeFile(CDataLocations::dataIndexFilePath(), "not an index");
        error = Exception();
        QVERIFY(CLocalIndex::load(&error, &warning));
        QVERIFY(!warning.isEmpty());
        QCOMPARE(CDataIndex::instance()->supported().size(), 0);
    }

    // One result per job, whatever happens to it; what is installed is recorded when the install is over.
    void runnerReportsEachJobOnce()
    {
        CCommandWorld world;
        QVERIFY2(world.isReady(), qPrintable(world.problem()));
        const CommandInfo update(CCommandWorld::Addon, CCommandWorld::Mapping, Update);
        const AddonStatus target = CAddonStatus::of(CCommandWorld::Addon, CCommandWorld::Mapping);
        CJobRunner runner;
        QSignalSpy finished(&runner, &CJobRunner::jobFinished);
        QSignalSpy idle(&runner, &CJobRunner::idle);
        QList<CommandPhase> phases;
        bool recordedEarly = false;
        connect(&runner, &CJobRunner::jobProgress, this, [&](const Job&, const CommandProgress& progress) {
            if (phases.isEmpty() || phases.last() != progress.phase)
                phases.append(progress.phase);
            const IndexPathInfo* mappedLocation =
                CDataIndex::instance()->mappedLocation(CCommandWorld::Addon, CCommandWorld::Mapping);
            recordedEarly = recordedEarly || mappedLocation->revision == 4;
        });

        QVERIFY(runner.add(Job{update, target, {}, 1, false}));
        QVERIFY(
            !runner.add(Job{CommandInfo(CCommandWorld::Addon, CCommandWorld::Mapping, Backup), target, {}, 1, false}));
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(idle.size(), 1);
        const JobReport report = finished.first().at(1).value<JobReport>();
        QVERIFY2(report.result.succeeded(), qPrintable(report.result.error.message));
        QCOMPARE(phases, (QList<CommandPhase>{CommandPhase::Download, CommandPhase::Install, CommandPhase::Backup,
                                              CommandPhase::Install}));
        QVERIFY(!recordedEarly);
        QCOMPARE(CDataIndex::instance()->mappedLocation(CCommandWorld::Addon, CCommandWorld::Mapping)->revision, 4);

        // Canceled before it started: finished once, as canceled, and nothing ran.
        QVERIFY(runner.add(Job{update, target, {}, 1, false}));
        QVERIFY(runner.cancel(update));
        QCOMPARE(idle.size(), 2);
        QCOMPARE(finished.size(), 2);
        QCOMPARE(finished.last().at(1).value<JobReport>().result.outcome, CommandResult::Canceled);
        QTest::qWait(300);
        QCOMPARE(finished.size(), 2);
    }

    // A location's backups are values; deleting one takes its record with it.
    void backupsAsValues()
    {
        CCommandWorld world;
        QVERIFY2(world.isReady(), qPrintable(world.problem()));
        QCOMPARE(world.backup().result.outcome, CommandResult::Succeeded);
        QList<AddonBackupInfo> backups;
        Exception error;
        QVERIFY(CBackupList::of(CCommandWorld::Addon, CCommandWorld::Mapping, &backups, &error));
        QCOMPARE(backups.size(), 1);
        QString problem;
        QVERIFY2(CBackupList::isRestorable(backups.first(), CUser::instance()->userId(), &problem),
                 qPrintable(problem));
        QVERIFY(!CBackupList::isRestorable(backups.first(), CUser::instance()->userId() + 1, &problem));

        QVERIFY(CBackupList::remove(backups.first(), &error));
        QVERIFY(!QFile::exists(backups.first().path));
        backups.clear();
        QVERIFY(CBackupList::of(CCommandWorld::Addon, CCommandWorld::Mapping, &backups, &error));
        QVERIFY(backups.isEmpty());

        writeFile(CIOUtils::backupListFilePath(), "<backupfiles><addon");
        QVERIFY(!CBackupList::of(CCommandWorld::Addon, CCommandWorld::Mapping, &backups, &error));
        QVERIFY(!error.message.isEmpty());
    }

    // An add-on the data index no longer lists reads "unsupported" and is left out of an update of all.
    void unsupportedLocation()
    {
        CCommandWorld world;
        QVERIFY2(world.isReady(), qPrintable(world.problem()));
        CDataIndex::instance()->supported().clear();
        const AddonStatus status = CAddonStatus::of(CCommandWorld::Addon, CCommandWorld::Mapping);
        QCOMPARE(status.state, AddonStatus::Unsupported);
        QVERIFY(CLocationSelector::toUpdate({status}).isEmpty());
        QCOMPARE(CLocationSelector::toBackUp({status}).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "tst_jobs.moc"
