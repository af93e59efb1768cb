#include "cclirun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

// The command line over the sample data index and the fake simulators that samples/make-fake-sims lays
// out: what a user runs, end to end, in processes of their own.
class TestSampleScan : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QString m_sampleIndex;

    CCliRun cli(const QStringList& arguments) const { return CCliRun::run(arguments, QByteArray(), m_environment); }

    QString dataDir() const { return m_environment.value(QStringLiteral("TESSARAY_DATA_DIR")); }
    QString layout(const QString& relative) const { return m_dir.filePath(QStringLiteral("layout/") + relative); }

private slots:
    void initTestCase()
    {
#ifdef Q_OS_WIN
        QSKIP("The sample layout is a POSIX shell script.");
#endif
        QVERIFY(m_dir.isValid());
        const QString source = qEnvironmentVariable("TESSARAY_SOURCE_DIR");
        QVERIFY2(!source.isEmpty(), "run through ctest");
        m_sampleIndex = source + QStringLiteral("/samples/service/data.index");
        QVERIFY(QFileInfo(CCliRun::program()).isExecutable());

        QProcess script;
        script.start(QStringLiteral("/bin/sh"),
                     {source + QStringLiteral("/samples/make-fake-sims"), m_dir.filePath(QStringLiteral("layout"))});
        QVERIFY(script.waitForFinished(60000));
        QCOMPARE(script.exitCode(), 0);

        // The script prints the environment to use as "export NAME='value'" lines.
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.remove(QStringLiteral("TESSARAY_LOG_ECHO"));
        static const QRegularExpression exportLine(QStringLiteral("^export ([A-Za-z_]+)='(.*)'$"));
        const QStringList lines =
            QString::fromUtf8(script.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        for (const QString& line : lines) {
            const QRegularExpressionMatch match = exportLine.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            m_environment.insert(match.captured(1), match.captured(2));
        }
        QCOMPARE(dataDir(), layout(QStringLiteral("data")));
    }

    void init()
    {
        QFile::remove(dataDir() + QStringLiteral("/mapping.index"));
    }

    // Every add-on of the sample index, each where the layout put it.
    void scanFindsEverySampleAddon()
    {
        const CCliRun index =
            cli({QStringLiteral("index"), QStringLiteral("show"), QStringLiteral("--json"), m_sampleIndex});
        QCOMPARE(index.exitCode, 0);
        QSet<QString> sampleGuids;
        int sampleLocations = 0;
        const QJsonArray addons = QJsonDocument::fromJson(index.out).object().value(QStringLiteral("addons")).toArray();
        for (const QJsonValue& addon : addons) {
            sampleGuids.insert(addon.toObject().value(QStringLiteral("guid")).toString());
            sampleLocations += addon.toObject().value(QStringLiteral("locations")).toArray().size();
        }
        QCOMPARE(sampleGuids.size(), 9);

        const CCliRun scan = cli({QStringLiteral("scan"), QStringLiteral("--json")}); // the local data.index
        QCOMPARE(scan.exitCode, 0);
        const QJsonArray hits = QJsonDocument::fromJson(scan.out).array();
        QCOMPARE(hits.size(), sampleLocations);
        QSet<QString> foundGuids;
        QHash<QString, QString> folders; // name and simulator -> folder
        for (const QJsonValue& value : hits) {
            const QJsonObject hit = value.toObject();
            foundGuids.insert(hit.value(QStringLiteral("addonGuid")).toString());
            folders.insert(hit.value(QStringLiteral("name")).toString() + QLatin1Char('/') +
                               hit.value(QStringLiteral("simulator")).toString(),
                           QDir::fromNativeSeparators(hit.value(QStringLiteral("directory")).toString()));
        }
        QCOMPARE(foundGuids, sampleGuids);

        QCOMPARE(folders.value(QStringLiteral("Vireo V700/FSX")),
                 layout(QStringLiteral("sims/FSX/SimObjects/Airplanes/Vireo V700/FMS")));
        QCOMPARE(folders.value(QStringLiteral("Vireo V700/P34")),
                 layout(QStringLiteral("sims/Prepar3D v4/SimObjects/Airplanes/Vireo V700/FMS")));
        // The index writes "CorvidFMS\navdata"; the folder as spelled on disk is kept.
        QCOMPARE(folders.value(QStringLiteral("Corvid C-90/XP11")),
                 layout(QStringLiteral("sims/X-Plane 11/Aircraft/Corvid C-90/plugins/corvidfms/NavData")));
        QCOMPARE(folders.value(QStringLiteral("Sparrow S-2/XP11")),
                 layout(QStringLiteral("sims/X-Plane 11/Aircraft/Extra Aircraft/Sparrow S-2/navdata")));
        QCOMPARE(
            folders.value(QStringLiteral("Osprey Jetprop/XP10")),
            layout(QStringLiteral("steam/library/steamapps/common/X-Plane 10/Aircraft/Third Party/Osprey Jetprop")));
        QCOMPARE(folders.value(QStringLiteral("Kestrel Flight Planner/TOOL")),
                 layout(QStringLiteral("programs/Kestrel Flight Planner")));
        QCOMPARE(folders.value(QStringLiteral("Heron Weather Link/TOOL")),
                 layout(QStringLiteral("common/Heron/WeatherLink")));

        // The plain form: name, simulator, folder.
        const CCliRun plain = cli({QStringLiteral("scan")});
        QCOMPARE(plain.exitCode, 0);
        const QStringList lines = QString::fromUtf8(plain.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), sampleLocations);
        QVERIFY(
            lines.contains(QStringLiteral("Halcyon HX-20\tFS9\t") +
                           QDir::toNativeSeparators(layout(QStringLiteral("sims/FS2004/Aircraft/Halcyon HX20/FMC")))));
    }

    void saveAddsEachMappingOnce()
    {
        for (int run = 0; run < 2; ++run) {
            const CCliRun scan = cli({QStringLiteral("scan"), QStringLiteral("--save")});
            QCOMPARE(scan.exitCode, 0);
            QVERIFY2(scan.err.contains(run == 0 ? QStringLiteral("Saved 10 new mappings")
                                                : QStringLiteral("Saved 0 new mappings")),
                     qPrintable(scan.err));
        }
        const QString mapping = dataDir() + QStringLiteral("/mapping.index");
        const CCliRun count =
            cli({QStringLiteral("index"), QStringLiteral("show"), QStringLiteral("--count"), mapping});
        QCOMPARE(count.exitCode, 0);
        QCOMPARE(count.out, QByteArray("9\t10\n"));
    }

    // A list that was not read completely as a mapping list keeps the user's hand-made mappings: it is
    // never replaced, and the command says which file and why.
    void incompleteMappingListIsNotOverwritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged") << QByteArray("<addonIndexes><addon name=\"mine\"")
                                 << "error 3: Invalid format for file";
        QTest::newRow("another root element")
            << QByteArray("<mappings><addon name=\"mine\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\"/></mappings>")
            << "the root element is 'mappings', not 'addonIndexes'";
        QTest::newRow("add-on without a valid guid")
            << QByteArray("<addonIndexes><addon name=\"mine\" guid=\"not-a-guid\"><mapping simulator=\"FSX\">"
                          "<directory path=\"/x\"/></mapping></addon></addonIndexes>")
            << "addon 'mine' has no valid guid ('not-a-guid')";
        QTest::newRow("a data index") << QByteArray(
                                             "<addonIndexes cycle=\"2612\"><addon name=\"mine\" "
                                             "guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\"><mapping simulator=\"FSX\">"
                                             "<directory path=\"[FSXROOT]\"/></mapping></addon></addonIndexes>")
                                      << "it is a data index";
    }
    void incompleteMappingListIsNotOverwritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString mapping = dataDir() + QStringLiteral("/mapping.index");
        QFile file(mapping);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const CCliRun scan = cli({QStringLiteral("scan"), QStringLiteral("--save")});
        QCOMPARE(scan.exitCode, 1);
        QVERIFY2(scan.err.contains(reason), qPrintable(scan.err));
        QVERIFY2(scan.err.contains(QDir::toNativeSeparators(mapping)), qPrintable(scan.err));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }

    void listingShowsRules()
    {
        const CCliRun listing = cli({QStringLiteral("index"), QStringLiteral("show"), m_sampleIndex});
        QCOMPARE(listing.exitCode, 0);
        const QStringList lines = QString::fromUtf8(listing.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 10);
        bool sawUninstall = false;
        for (const QString& line : lines) {
            const QStringList columns = line.split(QLatin1Char('\t'));
            QCOMPARE(columns.size(), 10);
            if (columns.at(1) == QLatin1String("Pelican Navigator")) {
                QCOMPARE(columns.at(3), QStringLiteral("TOOL"));
                QCOMPARE(columns.at(6), QStringLiteral("2612"));
                QCOMPARE(columns.at(9), QStringLiteral("uninstall:PelicanNavigator|InstallDir"));
                sawUninstall = true;
            }
        }
        QVERIFY(sawUninstall);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error"); // start of stderr; %0 for the scratch folder
        QTest::newRow("index without action") << QStringList{"index"} << 2 << "Unknown or missing action";
        QTest::newRow("index show two files")
            << QStringList{"index", "show", "a", "b"} << 2 << "'index show' takes at most one FILE";
        QTest::newRow("index refresh with a file")
            << QStringList{"index", "refresh", "a"} << 2 << "'index refresh' takes no FILE";
        QTest::newRow("json and count") << QStringList{"index", "show", "--json", "--count", "a"} << 2
                                        << "--json and --count";
        QTest::newRow("scan with an argument") << QStringList{"scan", "extra"} << 2 << "'scan' takes no arguments";
        QTest::newRow("missing index") << QStringList{"index", "show", "%0/none.index"} << 1
                                       << "error 3: Cannot open file '%0/none.index'";
        QTest::newRow("scan of a missing index")
            << QStringList{"scan", "--index", "%0/none.index"} << 1 << "error 3: Cannot open file '%0/none.index'";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        for (QString& argument : arguments)
            argument.replace(QStringLiteral("%0"), m_dir.path());
        const CCliRun run = cli(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.startsWith(error.arg(m_dir.path())), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSampleScan)
#include "tst_samplescan.moc"
