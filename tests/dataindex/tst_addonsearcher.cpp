#include "cfakesimulatortree.h"
#include "ctestsandbox.h"
#include "dataindex/caddonsearcher.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/csettings.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <vector>

namespace
{

// What a search announced, in order.
struct Hits
{
    std::vector<std::unique_ptr<IndexInfo>> addons;
    QList<int> simulators;

    explicit Hits(CAddonSearcher& searcher)
    {
        QObject::connect(&searcher, &CAddonSearcher::addonFound, [this](IndexInfo* addon, int simulator) {
            addons.emplace_back(addon);
            simulators.append(simulator);
        });
    }
    // The folder of the one location of hit `index`, "/" separators.
    QString directory(int index = 0) const
    {
        return QDir::fromNativeSeparators(addons.at(size_t(index))->paths.first()->directory);
    }
    int count() const { return int(addons.size()); }
};

} // namespace

class TestAddonSearcher : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestSandbox> m_data;
    std::unique_ptr<CFakeSimulatorTree> m_tree;
    IndexInfoMap m_addons;

    IndexInfo* addAddon(const QString& name)
    {
        auto* addon = new IndexInfo;
        addon->guid = QUuid::createUuid();
        addon->name = name;
        m_addons.insert(addon->guid, addon);
        return addon;
    }
    IndexPathInfo* addLocation(IndexInfo* addon, int simulator, const QString& directory)
    {
        auto* location = new IndexPathInfo;
        location->mappingGuid = QUuid::createUuid();
        location->simulator = simulator;
        location->directory = QDir::toNativeSeparators(directory);
        addon->insertPath(location);
        return location;
    }
    // One add-on with one location.
    std::pair<IndexInfo*, IndexPathInfo*> single(int simulator, const QString& directory,
                                                 const QString& name = QStringLiteral("Probe"))
    {
        IndexInfo* addon = addAddon(name);
        return {addon, addLocation(addon, simulator, directory)};
    }

    QString setRoot(int simulator, const QString& relative)
    {
        const QString root = m_tree->makeFolder(relative);
        CSimulatorRoots::setRoot(simulator, root);
        return root;
    }

private slots:
    void init()
    {
        m_data = std::make_unique<CTestSandbox>();
        m_tree = std::make_unique<CFakeSimulatorTree>(m_data->filePath(QStringLiteral("machine")));
    }
    void cleanup()
    {
        qDeleteAll(m_addons);
        m_addons.clear();
        m_tree.reset();
        m_data.reset();
    }

    // Aircraft titles, by regular expression over the whole title, in each simulator's aircraft folder.
    void aircraftTitles_data()
    {
        QTest::addColumn<int>("simulator");
        QTest::addColumn<QString>("aircraftFolder");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<QString>("matched"); // empty: not found
        const auto row = [](const char* name, int simulator, const QString& folder, const QString& title,
                            const QStringList& patterns, const QString& matched) {
            QTest::newRow(name) << simulator << folder << title << patterns << matched;
        };
        const QString airplanes = QStringLiteral("SimObjects/Airplanes");
        row("FS9 aircraft folder", SimFS9, "Aircraft", "Halcyon HX20", {"Halcyon HX\\d+"}, "Halcyon HX\\d+");
        row("FS9 title in the wrong folder", SimFS9, airplanes, "Halcyon HX20", {"Halcyon.*"}, "");
        row("part of the title is not enough", SimFSX, airplanes, "Vireo V700 House", {"Vireo V700"}, "");
        row("letter case counts", SimFSX, airplanes, "Vireo V700", {"vireo v700"}, "");
        row("second pattern", SimFSX, airplanes, "Vireo V800", {"Vireo V700", "Vireo V[0-9]+"}, "Vireo V[0-9]+");
        row("invalid pattern", SimFSX, airplanes, "Vireo (V700", {"Vireo (V700"}, "");
        row("folders in other letter case", SimFSX, "simobjects/AIRPLANES", "Vireo V700", {"Vireo.*"}, "Vireo.*");
    }
    void aircraftTitles()
    {
        QFETCH(int, simulator);
        QFETCH(QString, aircraftFolder);
        QFETCH(QString, title);
        QFETCH(QStringList, patterns);
        QFETCH(QString, matched);
        const QString root = setRoot(simulator, QStringLiteral("sim"));
        m_tree->addAircraft(QStringLiteral("sim/%0/Other").arg(aircraftFolder), QStringLiteral("Other"));
        m_tree->addAircraft(QStringLiteral("sim/%0/Target").arg(aircraftFolder), title);
        const QString target = m_tree->makeFolder(QStringLiteral("sim/Navdata"));
        auto [addon, location] = single(simulator, root + QStringLiteral("\\NAVDATA"));
        location->patterns = patterns;

        CAddonSearcher searcher;
        Hits hits(searcher);
        QCOMPARE(searcher.searchAddons(addon, location), !matched.isEmpty());
        QCOMPARE(hits.count(), matched.isEmpty() ? 0 : 1);
        if (matched.isEmpty())
            return;
        const IndexPathInfo* found = hits.addons.front()->paths.first();
        QCOMPARE(found->patterns, QStringList{matched});
        QCOMPARE(found->matchedTitles, QStringList{title});
        // The target folder as it is spelled on disk.
        QCOMPARE(hits.directory(), target);
        QCOMPARE(hits.simulators, QList<int>{simulator});
    }

    void titleMatchesButFolderIsMissing()
    {
        setRoot(SimFSX, QStringLiteral("fsx"));
        m_tree->addAircraft(QStringLiteral("fsx/SimObjects/Airplanes/Vireo"), QStringLiteral("Vireo V700"));
        auto [addon, location] = single(SimFSX, m_tree->path(QStringLiteral("fsx/not-installed")));
        location->patterns = QStringList{QStringLiteral("Vireo V700")};
        CAddonSearcher searcher;
        Hits hits(searcher);
        QVERIFY(!searcher.searchAddons(addon, location));
        QCOMPARE(hits.count(), 0);
    }

    void noRootOrNoPatterns()
    {
        auto [addon, location] = single(SimP3D, m_tree->makeFolder(QStringLiteral("target")));
        CAddonSearcher searcher;
        QSignalSpy started(&searcher, &CAddonSearcher::searchStarted);
        QVERIFY(!searcher.searchAddons(addon, location)); // no patterns
        location->patterns = QStringList{QStringLiteral(".*")};
        QVERIFY(!searcher.searchAddons(addon, location)); // no root
        QCOMPARE(started.count(), 0);
        setRoot(SimP3D, QStringLiteral("p3d"));
        CSettings::setSimulatorDisabled(SimP3D, true);
        QVERIFY(!searcher.searchAddons(addon, location)); // disabled
    }

    // Without a title, a folder counts only for the add-on named "Eaglesoft", and then by the text of its
    // configuration.
    void configurationText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<bool>("found");
        const QByteArray noTitle = "[General]\nmanufacturer=Eaglesoft\n[fltsim.0]\ntitle=Liberty XL2\n";
        QTest::newRow("Eaglesoft, no sim key") << "Eaglesoft" << noTitle << true;
        QTest::newRow("other add-on, no sim key") << "Eaglesofts" << noTitle << false;
        QTest::newRow("Eaglesoft, title does not match")
            << "Eaglesoft" << QByteArray("[fltsim.0]\nsim=Other\n; Liberty XL2 by Eaglesoft\n") << true;
        QTest::newRow("Eaglesoft, name missing from the text")
            << "Eaglesoft" << QByteArray("[fltsim.0]\nsim=Other\n; Liberty XL2\n") << false;
        QTest::newRow("Eaglesoft, name in other letter case")
            << "Eaglesoft" << QByteArray("[fltsim.0]\n; Liberty XL2 by EAGLESOFT\n") << false;
    }
    void configurationText()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, config);
        QFETCH(bool, found);
        const QString root = setRoot(SimFSX, QStringLiteral("fsx"));
        m_tree->writeFile(QStringLiteral("fsx/SimObjects/Airplanes/XL2/Aircraft.cfg"), config);
        auto [addon, location] = single(SimFSX, root, name);
        location->patterns = QStringList{QStringLiteral("Liberty XL2")};
        CAddonSearcher searcher;
        QCOMPARE(searcher.searchAddons(addon, location), found);
    }

    void titleReading_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << QByteArray("[fltsim.0]\nsim=Vireo\n") << "Vireo";
        QTest::newRow("blanks, CRLF, letter case")
            << QByteArray("[ FLTSIM.0 ]\r\n  SIM  =  Vireo V700  \r\n") << "Vireo V700";
        QTest::newRow("quoted") << QByteArray("[fltsim.0]\nsim=\"Vireo, V700\"\n") << "Vireo, V700";
        QTest::newRow("other model only") << QByteArray("[fltsim.1]\nsim=Vireo\n") << "";
        QTest::newRow("title key is not read") << QByteArray("[fltsim.0]\ntitle=Vireo\n") << "";
        QTest::newRow("first of two") << QByteArray("[fltsim.0]\nsim=A\nsim=B\n") << "A";
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[fltsim.0]\nsim=Fl\xc3\xbcgel\n")
                                         << QString::fromUtf8("Fl\xc3\xbcgel");
        QTest::newRow("Latin-1") << QByteArray("[fltsim.0]\nsim=Fl\xfcgel\n") << QString::fromUtf8("Fl\xc3\xbcgel");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02[fltsim.0]", 13) << "";
    }
    void titleReading()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, title);
        CAircraftConfig reader;
        QVERIFY(reader.read(m_tree->writeFile(QStringLiteral("Aircraft.cfg"), config)));
        QCOMPARE(reader.title(), title);
    }

    // File-system rules with the placeholders of the index.
    void fileSystemRules_data()
    {
        QTest::addColumn<QString>("ruleDirectory");
        QTest::addColumn<QString>("ruleFile");
        QTest::addColumn<QString>("entryDirectory"); // @SIM@ for the FSX root
        QTest::addColumn<QString>("found");          // relative to the tree; empty: not found
        const auto row = [](const char* name, const QString& rule, const QString& file, const QString& entry,
                            const QString& found) { QTest::newRow(name) << rule << file << entry << found; };
        const QString vireo = QStringLiteral("[FSXROOT]\\SimObjects\\Airplanes\\Vireo");
        const QString fms = QStringLiteral("@SIM@\\Vireo\\FMS");
        row("folder with *", vireo, "*", fms, "fsx/Vireo/FMS");
        row("other letter case on disk", "[FSXROOT]\\SIMOBJECTS\\airplanes\\VIREO", "VIREO.AIR", "@SIM@\\vireo\\fms",
            "fsx/Vireo/FMS");
        row("missing file", vireo, "vireo.cfg", fms, "");
        row("two simulator placeholders", "[FSXROOT]\\[P3DROOT]\\SimObjects\\Airplanes\\Vireo", "*", fms, "");
        row("missing simulator's root is not the disk root", "[FS9ROOT]", "*", "@SIM@", "");
        row("no target folder: the folder found", vireo, "vireo.air", "", "fsx/SimObjects/Airplanes/Vireo");
        row("program root: the rule's folder", vireo, "vireo.air", "[PROGRAMROOT]", "fsx/SimObjects/Airplanes/Vireo");
        row("empty rule folder skipped", "", "vireo.air", "@SIM@", "");
        // Each of these names an existing file, but not through a placeholder: never a hit.
        row("absolute rule", "@SIM@\\SimObjects\\Airplanes\\Vireo", "vireo.air", fms, "");
        row("relative rule, not in the current folder", "SimObjects\\Airplanes\\Vireo", "vireo.air", fms, "");
        row("rule climbing out of its placeholder", "[FSXROOT]\\..\\fsx\\SimObjects\\Airplanes\\Vireo", "vireo.air",
            fms, "");
        row("placeholder without a value", "[REGPATH]\\SimObjects\\Airplanes\\Vireo", "vireo.air", fms, "");
    }
    void fileSystemRules()
    {
        QFETCH(QString, ruleDirectory);
        QFETCH(QString, ruleFile);
        QFETCH(QString, entryDirectory);
        QFETCH(QString, found);
        const QString root = setRoot(SimFSX, QStringLiteral("fsx"));
        m_tree->writeFile(QStringLiteral("fsx/SimObjects/Airplanes/Vireo/vireo.air"));
        m_tree->makeFolder(QStringLiteral("fsx/Vireo/FMS"));
        entryDirectory.replace(QStringLiteral("@SIM@"), QDir::toNativeSeparators(root));
        ruleDirectory.replace(QStringLiteral("@SIM@"), QDir::toNativeSeparators(root));
        auto [addon, location] = single(SimFSX, entryDirectory);
        location->filesystem.append(FileSystemRule{ruleDirectory, ruleFile});
        // From the simulator's root a relative rule would name the file: the search must not look there.
        const QString previousFolder = QDir::currentPath();
        QDir::setCurrent(root);
        auto restoreFolder = qScopeGuard([&previousFolder]() { QDir::setCurrent(previousFolder); });

        CAddonSearcher searcher;
        Hits hits(searcher);
        QSignalSpy started(&searcher, &CAddonSearcher::searchStarted);
        QCOMPARE(searcher.searchTools(addon, location), !found.isEmpty());
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.first().at(1).toString(), QStringLiteral("FSX"));
        QCOMPARE(hits.count(), found.isEmpty() ? 0 : 1);
        if (!found.isEmpty())
            QCOMPARE(hits.directory(), m_tree->path(found));
        if (entryDirectory == QLatin1String("[PROGRAMROOT]")) // the index record learns the folder
            QCOMPARE(QDir::fromNativeSeparators(location->directory),
                     m_tree->path(QStringLiteral("fsx/SimObjects/Airplanes/Vireo")));
    }

    // X-Plane add-ons may live in any folder of the simulator: the walk finds them.
    void xplaneWalk_data()
    {
        QTest::addColumn<int>("simulator");
        QTest::addColumn<QString>("ruleDirectory");
        QTest::addColumn<QString>("ruleFile");
        QTest::addColumn<QString>("entryDirectory");
        QTest::addColumn<QString>("found"); // relative to the simulator root; empty: not found
        const auto row = [](const char* name, int simulator, const QString& rule, const QString& file,
                            const QString& entry, const QString& found) {
            QTest::newRow(name) << simulator << rule << file << entry << found;
        };
        const QString sparrow = QStringLiteral("Aircraft/Extra/Sparrow S-2");
        const QString navdata = QStringLiteral("[ADDONROOT]\\Sparrow S-2\\navdata");
        row("file in other letter case", SimXPlane11, "[XP11ROOT]\\Aircraft\\Sparrow", "SPARROW.ACF", "", sparrow);
        row("file anywhere, the entry's folder", SimXPlane10, "[XP10ROOT]\\Aircraft\\Sparrow", "sparrow.acf",
            "@ROOT@\\Output", "Output");
        row("file nowhere", SimXPlane11, "[XP11ROOT]\\Aircraft", "missing.acf", "", "");
        row("nested folder anywhere", SimXPlane10, "[XP10ROOT]\\sparrow s-2\\NAVDATA", "*", navdata,
            sparrow + "/navdata");
        row("folder nowhere", SimXPlane11, "[XP11ROOT]\\Condor", "*", "[ADDONROOT]\\Condor", "");
        row("no walk for other simulators", SimFSX, "[FSXROOT]\\Sparrow S-2", "*", "[ADDONROOT]\\Sparrow S-2", "");
    }
    void xplaneWalk()
    {
        QFETCH(int, simulator);
        QFETCH(QString, ruleDirectory);
        QFETCH(QString, ruleFile);
        QFETCH(QString, entryDirectory);
        QFETCH(QString, found);
        const QString root = setRoot(simulator, QStringLiteral("sim"));
        m_tree->writeFile(QStringLiteral("sim/Aircraft/Laminar/c172.acf"));
        m_tree->writeFile(QStringLiteral("sim/Aircraft/Extra/Sparrow S-2/Sparrow.acf"));
        m_tree->makeFolder(QStringLiteral("sim/Aircraft/Extra/Sparrow S-2/navdata"));
        m_tree->makeFolder(QStringLiteral("sim/Output"));
        entryDirectory.replace(QStringLiteral("@ROOT@"), QDir::toNativeSeparators(root));
        auto [addon, location] = single(simulator, QDir::toNativeSeparators(entryDirectory));
        location->filesystem.append(FileSystemRule{ruleDirectory, ruleFile});

        CAddonSearcher searcher;
        Hits hits(searcher);
        QCOMPARE(searcher.searchTools(addon, location), !found.isEmpty());
        if (!found.isEmpty())
            QCOMPARE(hits.directory(), m_tree->path(QStringLiteral("sim/") + found));
    }

    void registryRules_data()
    {
        QTest::addColumn<QString>("value");          // relative to the tree; null: no value
        QTest::addColumn<QString>("entryDirectory"); // @TARGET@ for an existing folder
        QTest::addColumn<QString>("found");          // relative to the tree; empty: not found
        const auto row = [](const char* name, const QString& value, const QString& entry, const QString& found) {
            QTest::newRow(name) << value << entry << found;
        };
        row("program root marker", "tools/Nimbus", "[PROGRAMROOT]", "tools/Nimbus");
        row("value in other letter case", "TOOLS/nimbus", "[REGPATH]", "tools/Nimbus");
        row("the entry's folder", "tools/Nimbus", "@TARGET@", "target");
        row("value names no folder", "tools/Missing", "[REGPATH]", "");
        row("value names a file", "tools/Nimbus/nimbus.exe", "[REGPATH]", "");
        row("no value", QString(), "[REGPATH]", "");
    }
    void registryRules()
    {
        QFETCH(QString, value);
        QFETCH(QString, entryDirectory);
        QFETCH(QString, found);
        m_tree->writeFile(QStringLiteral("tools/Nimbus/nimbus.exe"));
        const QString target = m_tree->makeFolder(QStringLiteral("target"));
        const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nimbus Avionics\\Route Manager");
        if (!value.isNull())
            QVERIFY(CFakeSimulatorTree::setRegistryValue(key, QStringLiteral("InstallDir"), m_tree->path(value)));
        entryDirectory.replace(QStringLiteral("@TARGET@"), target);
        auto [addon, location] = single(SimTool, entryDirectory);
        location->registry.append(RegistryRule{key, QStringLiteral("InstallDir")});
        location->registry.prepend(RegistryRule{key, QString()}); // skipped: no value name

        CAddonSearcher searcher;
        Hits hits(searcher);
        QCOMPARE(searcher.searchTools(addon, location), !found.isEmpty());
        if (!found.isEmpty())
            QCOMPARE(hits.directory(), m_tree->path(found));
        else
            QCOMPARE(location->directory, entryDirectory);
    }

    void uninstallRules_data()
    {
        QTest::addColumn<QString>("guid");    // a product GUID, or empty
        QTest::addColumn<QString>("keyName"); // for a rule without GUID
        QTest::addColumn<QString>("valueName");
        QTest::addColumn<QString>("found"); // empty: not found
        const auto row = [](const char* name, const QString& guid, const QString& key, const QString& value,
                            const QString& found) { QTest::newRow(name) << guid << key << value << found; };
        row("product GUID", "{0C6E1F0A-58B2-4F4E-9D27-3A1E5C7B9D42}", "", "", "C:/Kestrel");
        row("all-zero GUID skipped", "{00000000-0000-0000-0000-000000000000}", "", "", "");
        row("key and value", "", "PelicanNavigator", "InstallDir", "C:/Pelican");
        row("key without value name skipped", "", "PelicanNavigator", "", "");
        row("other GUID", "{0C6E1F0A-58B2-4F4E-9D27-3A1E5C7B9D43}", "", "", "");
    }
    void uninstallRules()
    {
        QFETCH(QString, guid);
        QFETCH(QString, keyName);
        QFETCH(QString, valueName);
        QFETCH(QString, found);
        const QString uninstall = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                                 "Uninstall\\");
        // An uninstall entry is believed without looking at the disk.
        const QStringList values{"{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}|InstallLocation|C:\\Kestrel",
                                 "{00000000-0000-0000-0000-000000000000}|InstallLocation|C:\\Zero",
                                 "PelicanNavigator|InstallDir|C:\\Pelican",
                                 "PelicanNavigator|InstallLocation|C:\\Wrong"};
        for (const QString& value : values)
            QVERIFY(CFakeSimulatorTree::setRegistryValue(uninstall + value.section('|', 0, 0), value.section('|', 1, 1),
                                                         value.section('|', 2)));
        auto [addon, location] = single(SimTool, QStringLiteral("[PROGRAMROOT]"));
        location->uninstall.append(UninstallRule{QUuid(guid), !guid.isEmpty(), keyName, valueName});

        CAddonSearcher searcher;
        Hits hits(searcher);
        QCOMPARE(searcher.searchTools(addon, location), !found.isEmpty());
        if (!found.isEmpty())
            QCOMPARE(hits.directory(), found);
    }

    // Each location found is announced as a copy of the add-on that holds it alone, under a new mapping GUID;
    // the index's own record stays as it was. (The search on a thread of its own: tst_samplescan.)
    void searchAnnouncesCopies()
    {
        const QString fsx = setRoot(SimFSX, QStringLiteral("fsx"));
        const QString p3d = setRoot(SimP3Dv4, QStringLiteral("p3d"));
        m_tree->addAircraft(QStringLiteral("fsx/SimObjects/Airplanes/Vireo"), QStringLiteral("Vireo V700"));
        m_tree->addAircraft(QStringLiteral("p3d/SimObjects/Airplanes/Vireo"), QStringLiteral("Vireo V700"));
        IndexInfo* vireo = addAddon(QStringLiteral("Vireo V700"));
        for (const auto& [simulator, root] : {std::make_pair(int(SimFSX), fsx), std::make_pair(int(SimP3Dv4), p3d)})
            addLocation(vireo, simulator, root)->patterns = QStringList{QStringLiteral("Vireo V700")};
        IndexInfo* missing = addAddon(QStringLiteral("Not installed"));
        addLocation(missing, SimFSX, fsx)->patterns = QStringList{QStringLiteral("Condor")};

        CAddonSearcher searcher;
        searcher.setAddons(&m_addons);
        Hits hits(searcher);
        QSignalSpy completed(&searcher, &CAddonSearcher::searchCompleted);
        searcher.search();
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.first().first().toBool(), true);
        QCOMPARE(hits.count(), 2);
        QVERIFY(hits.simulators.contains(SimFSX) && hits.simulators.contains(SimP3Dv4));
        for (const auto& addon : hits.addons) {
            QCOMPARE(addon->guid, vireo->guid);
            QCOMPARE(addon->paths.size(), 1);
            QVERIFY(!vireo->paths.contains(addon->paths.firstKey()));
        }
        QCOMPARE(vireo->paths.size(), 2);
    }

    void stopBeforeTheFirstLocation()
    {
        auto [addon, location] = single(SimTool, QStringLiteral("[PROGRAMROOT]"));
        location->uninstall.append(UninstallRule{QUuid(), false, QStringLiteral("Key"), QStringLiteral("Value")});
        QVERIFY(CFakeSimulatorTree::setRegistryValue(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Key"),
            QStringLiteral("Value"), QStringLiteral("C:\\Found")));
        CAddonSearcher searcher;
        searcher.setAddons(&m_addons);
        Hits hits(searcher);
        QSignalSpy completed(&searcher, &CAddonSearcher::searchCompleted);
        searcher.requestStop();
        searcher.search();
        QCOMPARE(completed.count(), 1);
        QCOMPARE(completed.first().first().toBool(), false);
        QCOMPARE(hits.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAddonSearcher)
#include "tst_addonsearcher.moc"
