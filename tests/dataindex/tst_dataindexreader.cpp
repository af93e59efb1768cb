#include "cclirun.h"
#include "cservicetest.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexreader.h"
#include "dataindex/cdataindexserializer.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "webservices/cdownloadlogutils.h"

#include <QSignalSpy>
#include <QtTest>

namespace
{
const QString servedEdition = QStringLiteral("{5e44e40f-3003-4869-89f3-babd8f3a9dcc}");
const QString olderEdition = QStringLiteral("{0ade1d0e-0000-4000-8000-000000002611}");
const QUuid vireo(QStringLiteral("{6d8dafe6-f597-468b-b976-909b25cceeeb}"));

// The sample index with another edition's identity and description: what a user had before.
QByteArray olderIndex()
{
    QByteArray index = CTestDataDir::readFile(CTestDevServer::samplesRoot() + QStringLiteral("/data.index"));
    index.replace(servedEdition.toUtf8(), olderEdition.toUtf8());
    index.replace("Tessaray sample data index", "the edition before");
    return index;
}
} // namespace

// The data index brings itself up to date through the development service, as the program does at start.
class TestDataIndexReader : public CServiceTest
{
    Q_OBJECT

public:
    TestDataIndexReader()
        : CServiceTest(Home::Scratch)
    {
    }

private:
    QString localIndex() const { return CDataLocations::dataIndexFilePath(); }
    QString servedFile() const { return serviceRoot() + QStringLiteral("/data.index"); }
    int dataIndexFetches() const
    {
        int fetches = 0;
        for (const CDevServerRequest& request : service().server().requests())
            fetches += request.method == QLatin1String("GET") &&
                               request.path.compare(QLatin1String("/data.index"), Qt::CaseInsensitive) == 0
                           ? 1
                           : 0;
        return fetches;
    }

    // Runs initialize() to its end: completed(), or an error that ends the check.
    struct Run
    {
        QList<bool> completed;
        QList<int> errors;
        QStringList messages;
        QStringList order; // begin, end, completed
    };
    Run refresh()
    {
        Run run;
        CDataIndex* index = CDataIndex::instance();
        QObject context;
        connect(index, &CDataIndex::completed, &context, [&run](bool succeed) {
            run.completed << succeed;
            run.order << QStringLiteral("completed");
        });
        connect(index, &CDataIndex::error, &context, [&run](int, int number, const QString& message) {
            run.errors << number;
            run.messages << message;
        });
        connect(index, &CDataIndex::beginAddonSearch, &context, [&run]() { run.order << QStringLiteral("begin"); });
        connect(index, &CDataIndex::endAddonSearch, &context, [&run]() { run.order << QStringLiteral("end"); });
        index->initialize();
        [&]() { QTRY_VERIFY_WITH_TIMEOUT(!index->isChecking(), 20000); }();
        return run;
    }

private slots:
    void init()
    {
        CServiceTest::init();
        CDataIndex::resetInstance();
    }
    void cleanup()
    {
        CDataIndex::resetInstance();
        CServiceTest::cleanup();
    }

    void missingIndexIsDownloaded()
    {
        const Run run = refresh();
        QCOMPARE(run.completed, QList<bool>{false}); // no mapping list yet
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(dataIndexFetches() > 0, true);
        QCOMPARE(CTestDataDir::readFile(localIndex()), CTestDataDir::readFile(servedFile()));
        CDataIndex* index = CDataIndex::instance();
        QVERIFY(index->isCurrent());
        QCOMPARE(index->supported().size(), 9);
        QVERIFY(index->supportedAddon(vireo));
        QCOMPARE(run.order, (QStringList{"begin", "completed", "end"}));
        // What was downloaded is the held edition now; its internal id, enciphered, marks the index.
        QCOMPARE(index->indexInformation()->id, QUuid(servedEdition));
        QCOMPARE(CSettings::stringValue(SettingsKey::CycleHash),
                 CDownloadLogUtils::encryptText(QStringLiteral("sample-2612")));
        QVERIFY(!QFile::exists(CDataIndexReader::downloadPath()));
    }

    void sameEditionDownloadsNothing()
    {
        QByteArray local = CTestDataDir::readFile(servedFile());
        local.replace("Tessaray sample data index", "kept locally");
        data().writeFile(QStringLiteral("data.index"), local);
        const Run run = refresh();
        QVERIFY(run.errors.isEmpty());
        QCOMPARE(dataIndexFetches(), 0);
        QCOMPARE(CTestDataDir::readFile(localIndex()), local);
        const IndexInformation held = *CDataIndex::instance()->indexInformation();
        QCOMPARE(held.description, QStringLiteral("kept locally"));
        QCOMPARE(held.location, localIndex());
    }

    // The development service publishes the edition its file names: editing the file is a new edition.
    void newEditionOnTheServiceIsDownloaded()
    {
        refresh();
        QCOMPARE(dataIndexFetches(), 1);
        QByteArray next = CTestDataDir::readFile(servedFile());
        next.replace(servedEdition.toUtf8(), "{11111111-2222-4333-8444-555555555555}");
        service().writeFile(QStringLiteral("data.index"), next);
        service().server().clearRequests();
        refresh();
        QCOMPARE(dataIndexFetches(), 1);
        QCOMPARE(CTestDataDir::readFile(localIndex()), next);
    }

    // A download that fails or delivers something unusable leaves the user's index as it was, and the
    // index is still read, so that work goes on offline; the failure is reported.
    void failedOrCorruptDownloadKeepsTheOldIndex_data()
    {
        QTest::addColumn<int>("status");        // the service's answer to the file, 0 for the file itself
        QTest::addColumn<QByteArray>("served"); // empty: the sample
        QTest::newRow("server error") << 500 << QByteArray();
        QTest::newRow("not XML") << 0 << QByteArray("<html>maintenance</html");
        QTest::newRow("no data index")
            << 0 << QByteArray("<addonIndexes id=\"{11111111-2222-4333-8444-555555555555}\"></addonIndexes>");
        QTest::newRow("add-on without identity")
            << 0
            << QByteArray("<addonIndexes cycle=\"2701\"><addon name=\"x\" guid=\"?\"><mapping "
                          "simulator=\"FSX\"/></addon></addonIndexes>");
    }
    void failedOrCorruptDownloadKeepsTheOldIndex()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, served);
        const QByteArray before = olderIndex();
        data().writeFile(QStringLiteral("data.index"), before);
        if (!served.isEmpty())
            service().writeFile(QStringLiteral("data.index"), served);
        if (status != 0) {
            CDevServerFault fault;
            fault.status = status;
            service().server().setFault(QStringLiteral("/data.index"), fault);
        }
        const Run run = refresh();
        QCOMPARE(run.errors.size(), 1);
        QVERIFY2(run.messages.first().contains(QStringLiteral("local")), qPrintable(run.messages.first()));
        QCOMPARE(CTestDataDir::readFile(localIndex()), before);
        QCOMPARE(CDataIndex::instance()->supported().size(), 9);
        QVERIFY(!QFile::exists(CDataIndexReader::downloadPath()));
    }

    void unreachableServiceReportsWithoutCompleting()
    {
        CDevServerFault fault;
        fault.status = 503;
        service().server().setFault(QStringLiteral("/api/1/fmsdata/index"), fault);
        CDataIndex* index = CDataIndex::instance();
        index->initialize();
        const Run run = refresh(); // a second start while the first check runs starts nothing
        QCOMPARE(run.errors.size(), 1);
        QVERIFY(run.completed.isEmpty());
        int identityRequests = 0;
        for (const CDevServerRequest& request : service().server().requests())
            identityRequests += request.path.startsWith(QLatin1String("/api/1/fmsdata/index")) ? 1 : 0;
        QCOMPARE(identityRequests, 1);
        QCOMPARE(dataIndexFetches(), 0);
    }

    // Mapped add-ons come from the mapping list, read on a worker thread and merged by mapping GUID.
    void mappedAddonsAreMergedByMappingGuid()
    {
        data().writeFile(
            QStringLiteral("mapping.index"),
            "<addonIndexes>"
            "<addon name=\"Vireo V700\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\"><mapping simulator=\"FSX\" "
            "mappingGuid=\"0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42\"><directory path=\"/sims/fsx/vireo\"/></mapping>"
            "</addon>"
            "<addon name=\"Vireo V700\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\"><mapping simulator=\"P34\" "
            "mappingGuid=\"1d7f2e1b-69c3-4f5a-8e38-4b2f6d8cae53\"><directory path=\"/sims/p3d/vireo\"/></mapping>"
            "<mapping simulator=\"FSX\" mappingGuid=\"0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42\">"
            "<directory path=\"/sims/fsx/vireo-moved\"/></mapping></addon>"
            "</addonIndexes>");
        const Run run = refresh();
        QCOMPARE(run.completed, QList<bool>{true});
        const IndexInfo* mapped = CDataIndex::instance()->mappedAddon(vireo);
        QVERIFY(mapped);
        QCOMPARE(mapped->paths.size(), 2);
        QCOMPARE(QDir::fromNativeSeparators(
                     mapped->path(QUuid(QStringLiteral("{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}")))->directory),
                 QStringLiteral("/sims/fsx/vireo-moved"));
    }

    void updateSuppressedByArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("suppressed");
        QTest::newRow("none") << QStringList{"tessaray"} << false;
        QTest::newRow("as written") << QStringList{"tessaray", "--no-index-update"} << true;
        QTest::newRow("letter case and blanks") << QStringList{"tessaray", "  --No-Index-UPDATE "} << true;
        QTest::newRow("longer word") << QStringList{"tessaray", "--no-index-updates"} << false;
        QTest::newRow("with a value") << QStringList{"tessaray", "--no-index-update=1"} << false;
    }
    void updateSuppressedByArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, suppressed);
        QCOMPARE(CDataIndexReader::isUpdateSuppressed(arguments), suppressed);
    }

    // The command line brings the index up to date as the program does, and honours "--no-index-update".
    void commandLineRefresh()
    {
        const QByteArray before = olderIndex();
        data().writeFile(QStringLiteral("data.index"), before);
        CCliRun run =
            CCliRun::run({QStringLiteral("index"), QStringLiteral("refresh"), QStringLiteral("--no-index-update")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("0ade1d0e-0000-4000-8000-000000002611\t3\tthe edition before\t9\t0\n"));
        QCOMPARE(CTestDataDir::readFile(localIndex()), before);

        run = CCliRun::run({QStringLiteral("index"), QStringLiteral("refresh")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("5e44e40f-3003-4869-89f3-babd8f3a9dcc\t3\tTessaray sample data index\t9\t0\n"));
        QCOMPARE(dataIndexFetches() > 0, true);
    }
};

QTEST_GUILESS_MAIN(TestDataIndexReader)
#include "tst_dataindexreader.moc"
