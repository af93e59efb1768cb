#include "cdatadirtest.h"
#include "dataindex/caddonmap.h"
#include "dataindex/caddonmappingreader.h"
#include "dataindex/cdataindex.h"
#include "dataindex/csimulators.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

namespace
{

const QUuid vireo(QStringLiteral("{6d8dafe6-f597-468b-b976-909b25cceeeb}"));
const QUuid halcyon(QStringLiteral("{b856c723-1894-4bb0-86d9-ec3cfe81df3d}"));

IndexPathInfo* location(const QUuid& mappingGuid, int simulator, const QString& directory)
{
    auto* path = new IndexPathInfo;
    path->mappingGuid = mappingGuid;
    path->simulator = simulator;
    path->directory = directory;
    return path;
}

IndexInfo* addon(const QUuid& guid, const QString& name, std::initializer_list<IndexPathInfo*> locations)
{
    auto* info = new IndexInfo;
    info->guid = guid;
    info->name = name;
    for (IndexPathInfo* path : locations)
        info->insertPath(path);
    return info;
}

} // namespace

class TestDataIndex : public CDataDirTest
{
    Q_OBJECT

public:
    TestDataIndex()
        : CDataDirTest(Home::Scratch)
    {
    }

private slots:
    void init()
    {
        CDataDirTest::init();
        CDataIndex::resetInstance();
    }
    void cleanup()
    {
        CDataIndex::resetInstance();
        CDataDirTest::cleanup();
    }

    void supportedAddonsReplace()
    {
        CAddonMap map;
        map.replace(addon(vireo, QStringLiteral("Old"), {location(QUuid::createUuid(), SimFSX, QString())}));
        map.replace(addon(vireo, QStringLiteral("New"), {location(QUuid::createUuid(), SimP3D, QString())}));
        QCOMPARE(map.size(), 1);
        QCOMPARE(map.addon(vireo)->name, QStringLiteral("New"));
        QCOMPARE(map.addon(vireo)->paths.size(), 1);
    }

    void duplicates_data()
    {
        QTest::addColumn<QUuid>("addonGuid");
        QTest::addColumn<int>("simulator");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("duplicate");
        QTest::newRow("same simulator and folder") << vireo << int(SimFSX) << "/sims/FSX/Vireo" << true;
        QTest::newRow("trailing separator") << vireo << int(SimFSX) << "/sims/FSX/Vireo/" << true;
        QTest::newRow("index separators and dots") << vireo << int(SimFSX) << "\\sims\\FSX\\.\\Vireo" << true;
        QTest::newRow("other simulator") << vireo << int(SimP3D) << "/sims/FSX/Vireo" << false;
        QTest::newRow("other folder") << vireo << int(SimFSX) << "/sims/FSX/Vireo2" << false;
        QTest::newRow("other add-on") << halcyon << int(SimFSX) << "/sims/FSX/Vireo" << false;
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        QTest::newRow("letter case") << vireo << int(SimFSX) << "/SIMS/fsx/vireo" << true;
#else
        QTest::newRow("letter case") << vireo << int(SimFSX) << "/SIMS/fsx/vireo" << false;
#endif
    }
    void duplicates()
    {
        QFETCH(QUuid, addonGuid);
        QFETCH(int, simulator);
        QFETCH(QString, directory);
        QFETCH(bool, duplicate);
        CDataIndex* index = CDataIndex::instance();
        const QUuid mapping = QUuid::createUuid();
        index->addMappedAddon(
            addon(vireo, QStringLiteral("Vireo"), {location(mapping, SimFSX, QStringLiteral("/sims/FSX/Vireo"))}));
        QCOMPARE(index->isDuplicateMapping(addonGuid, simulator, directory), duplicate);
        // A location is no duplicate of itself.
        QVERIFY(!index->isDuplicateMapping(vireo, SimFSX, QStringLiteral("/sims/FSX/Vireo"), mapping));
    }

    void modifyAndRemove()
    {
        CDataIndex* index = CDataIndex::instance();
        const QUuid fsx = QUuid::createUuid();
        const QUuid p3d = QUuid::createUuid();
        index->addMappedAddon(addon(vireo, QStringLiteral("Vireo"),
                                    {location(fsx, SimFSX, QStringLiteral("/sims/FSX/Vireo")),
                                     location(p3d, SimFSX, QStringLiteral("/sims/FSX/Other"))}));
        QVERIFY(!index->modifyMappedLocation(vireo, p3d, QStringLiteral("/sims/FSX/Vireo"))); // would duplicate
        QCOMPARE(index->mappedLocation(vireo, p3d)->directory, QStringLiteral("/sims/FSX/Other"));
        QVERIFY(index->modifyMappedLocation(vireo, p3d, QStringLiteral("\\sims\\FSX\\Moved")));
        QCOMPARE(index->mappedLocation(vireo, p3d)->directory,
                 QDir::toNativeSeparators(QStringLiteral("/sims/FSX/Moved")));
        QVERIFY(!index->modifyMappedLocation(halcyon, p3d, QStringLiteral("/x")));

        QVERIFY(index->removeMappedLocation(vireo, fsx));
        QVERIFY(!index->removeMappedLocation(vireo, fsx));
        QVERIFY(index->mappedAddon(vireo));
        QVERIFY(index->removeMappedLocation(vireo, p3d));
        QVERIFY(!index->mappedAddon(vireo)); // the add-on goes with its last location
        QVERIFY(index->mappedAddons().isEmpty());
    }

    void firstUseFromManyThreads()
    {
        CDataIndex::resetInstance();
        QVector<CDataIndex*> seen(8, nullptr);
        QList<QThread*> threads;
        for (int i = 0; i < seen.size(); ++i)
            threads.append(QThread::create([&seen, i]() { seen[i] = CDataIndex::instance(); }));
        for (QThread* thread : qAsConst(threads))
            thread->start();
        for (QThread* thread : qAsConst(threads))
            QVERIFY(thread->wait(20000));
        qDeleteAll(threads);
        for (CDataIndex* instance : qAsConst(seen))
            QCOMPARE(instance, seen.first());
        QCOMPARE(CDataIndex::instance(), seen.first());
    }

    // A damaged list ends the read, so that the data index does not wait for ever, and adds nothing.
    void damagedMappingListCompletesUnsuccessfully()
    {
        CAddonMappingReader reader;
        QObject::connect(&reader, &CAddonMappingReader::addonFound, CDataIndex::instance(),
                         &CDataIndex::addMappedAddon);
        QSignalSpy completed(&reader, &CAddonMappingReader::completed);
        reader.beginRead(
            data().writeFile(QStringLiteral("mapping.index"),
                             "<addonIndexes><addon name=\"x\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\">"
                             "<mapping simulator=\"FSX\" /></addon>"));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.first().first().toBool(), false);
        QCoreApplication::processEvents();
        QVERIFY(CDataIndex::instance()->mappedAddons().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDataIndex)
#include "tst_dataindex.moc"
