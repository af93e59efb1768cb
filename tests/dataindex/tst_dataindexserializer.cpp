#include "cdatadirtest.h"
#include "cfakesimulatortree.h"
#include "commands/cioutils.h"
#include "ctestsandbox.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "webservices/cdownloadlogutils.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <vector>

namespace
{

// What one deserialize() produced: the add-ons (owned here) and how it ended.
struct ReadResult
{
    std::vector<std::unique_ptr<IndexInfo>> addons;
    int completed = 0;
    QList<Exception> errors;

    const IndexInfo* addon(const QString& name) const
    {
        for (const auto& addon : addons) {
            if (addon->name == name)
                return addon.get();
        }
        return nullptr;
    }
    const IndexPathInfo* onlyLocation(const QString& name) const
    {
        const IndexInfo* info = addon(name);
        return info && info->paths.size() == 1 ? info->paths.first() : nullptr;
    }
};

ReadResult readIndex(const QString& path)
{
    ReadResult result;
    CDataIndexSerializer serializer;
    QObject::connect(&serializer, &CDataIndexSerializer::addonFound,
                     [&result](IndexInfo* addon) { result.addons.emplace_back(addon); });
    QObject::connect(&serializer, &CDataIndexSerializer::taskCompleted, [&result]() { ++result.completed; });
    QObject::connect(&serializer, &CDataIndexSerializer::taskError,
                     [&result](const Exception& error) { result.errors.append(error); });
    serializer.deserialize(path);
    return result;
}

// A data index with one add-on and one location holding `locationBody`.
QByteArray dataIndexWith(const QByteArray& locationAttributes, const QByteArray& locationBody)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<addonIndexes cycle=\"2401\" internalId=\"int-7\">\n"
           "<addon name=\"Probe\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\" revision=\"4\" "
           "masterfile=\"probe.zip\">\n"
           "<mapping " +
           locationAttributes + ">" + locationBody + "</mapping>\n</addon>\n</addonIndexes>\n";
}

} // namespace

class TestDataIndexSerializer : public CDataDirTest
{
    Q_OBJECT

public:
    TestDataIndexSerializer()
        : CDataDirTest(Home::Scratch)
    {
    }

private:
    QString write(const QByteArray& content, const QString& name = QStringLiteral("data.index"))
    {
        return data().writeFile(name, content);
    }
    QString native(const QString& path) const { return QDir::toNativeSeparators(path); }

private slots:
    // Each row: a location's attributes and body, and what the location reads as.
    void location_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("platform");
        QTest::addColumn<int>("simulator");
        QTest::addColumn<bool>("specified");
        QTest::addColumn<QString>("directory"); // "/" for the native separator
        const auto row = [](const char* name, const QByteArray& attributes, const QByteArray& body, int platform,
                            int simulator, bool specified, const QString& directory = QString()) {
            QTest::newRow(name) << attributes << body << platform << simulator << specified << directory;
        };
        row("auto", "simulator=\"P34\" specified=\"auto\"", "", 0, SimP3Dv4, false);
        row("Auto is by hand", "simulator=\"P34\" specified=\"Auto\"", "", 0, SimP3Dv4, true);
        row("missing specified", "simulator=\"XP10\"", "", 0, SimXPlane10, true);
        row("platform LINUX", "platform=\"LINUX\" simulator=\"TOOL\" specified=\"auto\"", "", 2, SimTool, false);
        row("unknown simulator", "simulator=\"MSFS\" specified=\"auto\"", "", 0, SimUser, false);
        row("simulator with blanks", "simulator=\" FSX\" specified=\"auto\"", "", 0, SimUser, false);
        row("directory, doubled separators", "simulator=\"TOOL\" specified=\"auto\"",
            "<directory path=\"  [ADDONROOT]\\\\tools\\\\Heron  \" />", 0, SimTool, false, "[ADDONROOT]/tools/Heron");
        row("first child's path without a directory element", "simulator=\"TOOL\"",
            "<rules path=\"[ADDONROOT]\\\\Raw\" />", 0, SimTool, true, "[ADDONROOT]/Raw");
        row("blank directory", "simulator=\"TOOL\"", "<directory path=\"   \" />", 0, SimTool, true);
        row("last directory element wins", "simulator=\"TOOL\"",
            "<directory path=\"[ADDONROOT]/a\" /><directory path=\"[ADDONROOT]/b\" />", 0, SimTool, true,
            "[ADDONROOT]/b");
        row("any tag name", "simulator=\"FSXS\" specified=\"auto\"", "<folder path=\"[ADDONROOT]/x\" />", 0,
            SimFSXSteam, false, "[ADDONROOT]/x");
    }
    void location()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QByteArray, body);
        QFETCH(int, platform);
        QFETCH(int, simulator);
        QFETCH(bool, specified);
        QFETCH(QString, directory);
        const ReadResult result = readIndex(write(dataIndexWith(attributes, body)));
        const IndexPathInfo* location = result.onlyLocation(QStringLiteral("Probe"));
        QVERIFY(location);
        QCOMPARE(location->platform, platform);
        QCOMPARE(location->simulator, simulator);
        QCOMPARE(location->specified, specified);
        QCOMPARE(location->directory, native(directory));
    }

    void rules()
    {
        const ReadResult result = readIndex(write(dataIndexWith(
            "simulator=\"TOOL\" specified=\"auto\"",
            "<directory path=\"[PROGRAMROOT]\" />"
            "<rules>"
            "  <pattern value=\"  Vireo V700.*  \" /><pattern value=\"   \" /><Pattern value=\"ignored\" />"
            "  <filesystem path=\"[FSXROOT]\\SimObjects\" filename=\"vireo.air\" />"
            "  <filesystem path=\"[XP11ROOT]\\Sparrow\" />"
            "  <registry path=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nimbus\" value=\"InstallDir\" />"
            "  <uninstall guid=\"{0C6E1F0A-58B2-4F4E-9D27-3A1E5C7B9D42}\" key=\"ignored\" />"
            "  <uninstall guid=\"0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d43\" />"
            "  <uninstall guid=\"PelicanNavigator\" />"
            "  <uninstall guid=\"PelicanNavigator\" key=\"InstallDir\" />"
            "  <uninstall guid=\"{0C6E1F0A-58B2-4F4E-9D27}\" />"
            "</rules>"
            "<more><pattern value=\"Second container\" /></more>")));
        const IndexPathInfo* location = result.onlyLocation(QStringLiteral("Probe"));
        QVERIFY(location);
        QCOMPARE(location->directory, QStringLiteral("[PROGRAMROOT]"));
        QCOMPARE(location->patterns, (QStringList{QStringLiteral("Vireo V700.*"), QStringLiteral("Second container")}));

        QStringList rules;
        for (const FileSystemRule& rule : location->filesystem)
            rules << QStringLiteral("file %0|%1").arg(rule.directory, rule.fileName);
        for (const RegistryRule& rule : location->registry)
            rules << QStringLiteral("registry %0|%1").arg(rule.keyPath, rule.valueName);
        for (const UninstallRule& rule : location->uninstall)
            rules << (rule.hasProductGuid ? QStringLiteral("product ") + rule.productGuid.toString()
                                          : QStringLiteral("uninstall %0|%1").arg(rule.keyName, rule.valueName));
        // A registry rule is also tried as a file below the registry's folder; a GUID cut short is a key name.
        QCOMPARE(rules,
                 (QStringList{"file [FSXROOT]\\SimObjects|vireo.air", "file [XP11ROOT]\\Sparrow|*",
                              "file [REGPATH]|InstallDir", "registry HKEY_LOCAL_MACHINE\\SOFTWARE\\Nimbus|InstallDir",
                              "product {0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}",
                              "product {0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d43}",
                              "uninstall PelicanNavigator|InstallLocation", "uninstall PelicanNavigator|InstallDir",
                              "uninstall {0C6E1F0A-58B2-4F4E-9D27}|InstallLocation"}));
    }

    void directoryPlaceholdersResolvedWhileReading()
    {
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("D:\\Sims\\FSX\\"));
        QVERIFY(CFakeSimulatorTree::setRegistryValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nimbus"),
                                                     QStringLiteral("InstallDir"), QStringLiteral("/opt/nimbus")));
        const ReadResult result = readIndex(
            write("<addonIndexes cycle=\"1\">"
                  "<addon name=\"Sim\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\"><mapping simulator=\"FSX\">"
                  "  <directory path=\"[FSXROOT]\\SimObjects\\Airplanes\\Vireo\" /></mapping></addon>"
                  "<addon name=\"Markers\" guid=\"b856c723-1894-4bb0-86d9-ec3cfe81df3d\"><mapping simulator=\"XP11\">"
                  "  <directory path=\"[ADDONROOT]\\Sparrow\\[SIMROOT]\" /></mapping></addon>"
                  "<addon name=\"Registry\" guid=\"5785acee-edc1-44cc-a541-510ed27326d9\"><mapping simulator=\"TOOL\">"
                  "  <directory path=\"\\Routes\" fromregpath=\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nimbus\\InstallDir\" />"
                  "</mapping></addon>"
                  "</addonIndexes>"));
        QCOMPARE(result.onlyLocation(QStringLiteral("Sim"))->directory,
                 native(QStringLiteral("D:/Sims/FSX/SimObjects/Airplanes/Vireo")));
        // Markers that the search and the installer fill in stay.
        QCOMPARE(result.onlyLocation(QStringLiteral("Markers"))->directory,
                 native(QStringLiteral("[ADDONROOT]/Sparrow/[SIMROOT]")));
        QCOMPARE(result.onlyLocation(QStringLiteral("Registry"))->directory,
                 native(QStringLiteral("/opt/nimbus/Routes")));
    }

    // A data index's folder rule that would name the current folder, the root of the file system or a
    // place above its placeholder names nothing: the location stays, without a folder.
    void directoryRulesThatNameNoPlace_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("directory"); // "/" for the native separator
        const auto row = [](const char* name, const QString& rule, const QString& directory = QString()) {
            QTest::newRow(name) << rule << directory;
        };
        row("absolute", "/etc/navdata");
        row("drive", "C:\\Windows");
        row("relative, no placeholder", "Aircraft\\Vireo");
        row("climbs out of its placeholder", "[FSXROOT]\\..\\..\\etc");
        row("simulator not installed", "[P34ROOT]\\SimObjects");
        row("unknown placeholder", "[NOSUCHROOT]\\x");
        row("simulator installed", "[FSXROOT]\\SimObjects", "D:/Sims/FSX/SimObjects");
        row("marker of the search", "[PROGRAMROOT]", "[PROGRAMROOT]");
    }
    void directoryRulesThatNameNoPlace()
    {
        QFETCH(QString, rule);
        QFETCH(QString, directory);
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("D:\\Sims\\FSX\\"));
        const ReadResult result = readIndex(
            write(dataIndexWith("simulator=\"FSX\"", QStringLiteral("<directory path=\"%0\" />").arg(rule).toUtf8())));
        const IndexPathInfo* location = result.onlyLocation(QStringLiteral("Probe"));
        QVERIFY(location);
        QCOMPARE(location->directory, native(directory));
    }

    void addonsWithoutLocationsOrIdentity()
    {
        const ReadResult result = readIndex(write(
            "<addonIndexes cycle=\"2401\">"
            "<addon name=\"No locations\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\" />"
            "<addon name=\"Text only\" guid=\"b856c723-1894-4bb0-86d9-ec3cfe81df3d\">just text</addon>"
            "<addon name=\"No guid\"><mapping simulator=\"FSX\" /></addon>"
            "<addon name=\"Bad guid\" guid=\"not-a-guid\"><mapping simulator=\"FSX\" /></addon>"
            "<item name=\"Any tag\" guid=\"{5785ACEE-EDC1-44CC-A541-510ED27326D9}\"><loc simulator=\"FS9\" /></item>"
            "</addonIndexes>"));
        QCOMPARE(result.completed, 1);
        QCOMPARE(int(result.addons.size()), 1);
        QCOMPARE(result.addons.front()->name, QStringLiteral("Any tag"));
    }

    void absurdValues()
    {
        const ReadResult result = readIndex(write("<addonIndexes cycle=\"99999999999999999999\">"
                                                  "<addon name=\"" +
                                                  QByteArray(100000, 'N') +
                                                  "\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\" revision=\"-x\">"
                                                  "<mapping simulator=\"" +
                                                  QByteArray(5000, 'S') + "\" specified=\"" + QByteArray(5000, 'a') +
                                                  "\">"
                                                  "<directory path=\"" +
                                                  QByteArray(200000, '\\') +
                                                  "\" /></mapping>"
                                                  "<mapping /><mapping /></addon></addonIndexes>"));
        QCOMPARE(result.completed, 1);
        QCOMPARE(int(result.addons.size()), 1);
        const IndexInfo* addon = result.addons.front().get();
        QCOMPARE(addon->name.size(), 100000);
        QCOMPARE(addon->paths.size(), 3); // each location gets its own mapping GUID
        QCOMPARE(addon->cycle, 0);
        QCOMPARE(addon->revision, 0);
        for (const IndexPathInfo* location : addon->paths) {
            QCOMPARE(location->simulator, int(SimUser));
            QVERIFY(location->directory.size() <= 1);
        }
    }

    void readFailures_data()
    {
        QTest::addColumn<QString>("place"); // the file: written with the content, missing, folder, huge, unreadable
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message"); // %0 for the path
        const QString cannotOpen = QStringLiteral("Cannot open file '%0'");
        const QString invalid = QStringLiteral("Invalid format for file '%0'");
        QTest::newRow("missing") << "missing" << QByteArray() << cannotOpen;
        QTest::newRow("folder instead of a file") << "folder" << QByteArray() << cannotOpen;
        QTest::newRow("larger than any index") << "huge" << QByteArray() << invalid;
        QTest::newRow("empty") << "written" << QByteArray("") << invalid;
        QTest::newRow("malformed") << "written" << QByteArray("<addonIndexes cycle=\"1\"><addon></addonIndexes>")
                                   << invalid;
        QTest::newRow("not XML") << "written" << QByteArray("PK\x03\x04\x00\x00garbage", 12) << invalid;
        QByteArray deep = "<addonIndexes cycle=\"1\">";
        for (int i = 0; i < 200000; ++i)
            deep += "<a>";
        QTest::newRow("very deep") << "written" << deep << invalid;
        QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">";
        for (int i = 1; i < 10; ++i)
            laughs += QStringLiteral("<!ENTITY %0 \"%1\">")
                          .arg(QChar('a' + i))
                          .arg(QString(QStringLiteral("&%0;").arg(QChar('a' + i - 1))).repeated(10))
                          .toLatin1();
        laughs += "]><addonIndexes cycle=\"1\"><addon name=\"&j;\" /></addonIndexes>";
        QTest::newRow("entity expansion") << "written" << laughs << invalid;
        QTest::newRow("unreadable") << "unreadable" << dataIndexWith("simulator=\"FSX\"", "") << cannotOpen;
    }
    void readFailures()
    {
        QFETCH(QString, place);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = data().filePath(QStringLiteral("data.index"));
        if (place == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else if (place != QLatin1String("missing"))
            write(content);
        if (place == QLatin1String("huge")) // sparse: no disk space is used for the zeros
            QVERIFY(QFile::resize(path, CSerializerBase::MaximumDocumentSize + 1));
        if (place == QLatin1String("unreadable")) {
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
            if (QFile(path).open(QIODevice::ReadOnly))
                QSKIP("This user reads files without read permission (root).");
        }
        const ReadResult result = readIndex(path);
        QCOMPARE(result.completed, 0);
        QCOMPARE(int(result.addons.size()), 0);
        QCOMPARE(result.errors.size(), 1);
        QCOMPARE(result.errors.first().message, message.arg(path));
        QCOMPARE(result.errors.first().errorLevel, 6);
    }

    // The mapping list: what the program writes it reads back, except where files depend on the difference.
    // Folder names come from the disk and may hold any character the file system allows; each must come back
    // exactly, and the file must stay readable for every later save.
    void mappingListRoundTrip()
    {
        IndexInfoMap addons;
        const QUuid first(QStringLiteral("{b856c723-1894-4bb0-86d9-ec3cfe81df3d}"));
        const QUuid second(QStringLiteral("{6d8dafe6-f597-468b-b976-909b25cceeeb}"));
        auto makeAddon = [&addons](const QUuid& guid, const QString& name) {
            auto* addon = new IndexInfo;
            addon->guid = guid;
            addon->name = name;
            addon->revision = 9;
            addon->masterfile = QStringLiteral("not-written.zip");
            addons.insert(guid, addon);
            return addon;
        };
        auto makeLocation = [](IndexInfo* addon, int simulator, const QString& directory, bool specified,
                               int platform) {
            auto* location = new IndexPathInfo;
            location->mappingGuid = QUuid::createUuid();
            location->simulator = simulator;
            location->directory = directory;
            location->specified = specified;
            location->platform = platform;
            location->cycle = 2401;
            location->revision = 3;
            addon->insertPath(location);
        };
        IndexInfo* vireo = makeAddon(second, QStringLiteral("Vireo V700 & \"Friends\" <é>"));
        makeLocation(vireo, SimFSX, QStringLiteral("/sims/FSX/SimObjects//Airplanes/Vireo/./FMS/"), false,
                     PlatformLinux);
        makeLocation(vireo, SimP3Dv4, QStringLiteral("/sims/P3D v4/Vireo"), true, PlatformWindows);
        IndexInfo* halcyon = makeAddon(first, QStringLiteral("Halcyon HX-20"));
        makeLocation(halcyon, 0x200, QStringLiteral("/user/folder"), true, PlatformMac);
        QStringList names{QStringLiteral("del") + QChar(0x7F),
                          QStringLiteral("percent %0041 %"),
                          QStringLiteral("amp & <lt> \"q\" 'a'"),
                          QStringLiteral("Flughäfen Ærø 東京 ✈"),
                          QStringLiteral("astral ") + QString::fromUcs4(U"\U0001F6E9"),
                          QStringLiteral("noncharacter ") + QChar(0xFFFE) + QChar(0xFFFF),
                          QStringLiteral("lone ") + QChar(0xD800) + QStringLiteral(" surrogate") + QChar(0xDC00),
                          QStringLiteral("long ").repeated(50),
                          QStringLiteral("blanks  around ")};
        for (ushort code = 1; code < 0x20; ++code)
            names << QStringLiteral("ctl%1-").arg(code) + QChar(code) + QStringLiteral("-end");
        for (const QString& name : qAsConst(names))
            makeLocation(halcyon, SimXPlane11, QStringLiteral("/sims/") + name, false, PlatformWindows);

        CDataIndexSerializer writer;
        QSignalSpy completed(&writer, &CDataIndexSerializer::taskCompleted);
        DataIndexReaderInfo info{&addons};
        QVERIFY(writer.serialize(QVariant::fromValue(&info)).toBool());
        QCOMPARE(completed.count(), 1);
#ifndef Q_OS_WIN
        // It tells where the user's add-ons are: the owner's alone.
        const QFileDevice::Permissions permissions = QFile::permissions(CDataLocations::mappingListFilePath());
        QVERIFY(permissions & QFileDevice::ReadOwner);
        QVERIFY(!(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther)));
#endif

        const QByteArray written = CTestDataDir::readFile(CDataLocations::mappingListFilePath());
        QVERIFY(written.contains("mappingGuid=\"" + CDownloadLogUtils::guidText(vireo->paths.firstKey()).toUtf8()));
        QVERIFY(!written.contains("masterfile"));
        QVERIFY(written.indexOf("Vireo") < written.indexOf("Halcyon")); // ascending GUID order: 6d8d… before b856…

        const ReadResult result = readIndex(CDataLocations::mappingListFilePath());
        QCOMPARE(result.completed, 1);
        QCOMPARE(int(result.addons.size()), 2);
        for (const auto& read : result.addons) {
            const IndexInfo* original = addons.value(read->guid);
            QVERIFY(original);
            QCOMPARE(read->name, original->name);
            QCOMPARE(read->paths.keys(), original->paths.keys());
            for (const IndexPathInfo* location : read->paths) {
                const IndexPathInfo* before = original->path(location->mappingGuid);
                QCOMPARE(location->simulator, before->simulator == 0x200 ? int(SimUser) : before->simulator);
                QCOMPARE(location->directory, QDir::toNativeSeparators(QDir::cleanPath(before->directory)));
                QCOMPARE(location->specified, before->specified);
                // Written as "name", read from "platform": every location reads back as Windows.
                QCOMPARE(location->platform, int(PlatformWindows));
                // Cycle and revision come from the installed package's mapping file; there is none.
                QCOMPARE(location->cycle, 0);
                QCOMPARE(location->revision, 0);
                QVERIFY(!location->date.isValid());
            }
        }
        qDeleteAll(addons);
    }

    void mappingListTakesVersionFromInstalledPackage()
    {
        const QString folder = data().filePath(QStringLiteral("sims/FSX/Vireo"));
        data().writeFile(QStringLiteral("sims/FSX/Vireo/6d8dafe6-f597-468b-b976-909b25cceeeb.index"),
                         "<mapping cycle=\"2402\" revision=\"7\" backup=\"1\" backupDate=\"1700000000000\" />");
        const ReadResult result = readIndex(write(
            QStringLiteral("<addonIndexes><addon name=\"Vireo\" guid=\"6d8dafe6-f597-468b-b976-909b25cceeeb\" "
                           "revision=\"3\"><mapping simulator=\"FSX\" cycle=\"1\" mappingGuid=\"%0\">"
                           "<directory path=\"%1\" /></mapping><mapping simulator=\"P34\"><directory path=\"%1\" />"
                           "</mapping></addon></addonIndexes>")
                .arg(QStringLiteral("0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42"), folder)
                .toUtf8(),
            QStringLiteral("mapping.index")));
        QCOMPARE(int(result.addons.size()), 1);
        const IndexInfo* addon = result.addons.front().get();
        QCOMPARE(addon->paths.size(), 2); // a missing mappingGuid gets one of its own
        const IndexPathInfo* location = addon->path(QUuid(QStringLiteral("{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}")));
        QVERIFY(location);
        QCOMPARE(location->cycle, 2402);
        QCOMPARE(location->revision, 7);
        QVERIFY(location->backup);
        QCOMPARE(location->date, QDateTime::fromMSecsSinceEpoch(1700000000000));
    }

    void writeFailure()
    {
        // The data directory is a file: nothing can be written below it.
        CTestDataDir other;
        const QString blocked = other.writeFile(QStringLiteral("blocker"), "x");
        IndexInfoMap addons;
        CDataIndexSerializer writer;
        QSignalSpy errors(&writer, &CDataIndexSerializer::taskError);
        QSignalSpy completed(&writer, &CDataIndexSerializer::taskCompleted);
        QVERIFY(!writer.serializeTo(addons, blocked + QStringLiteral("/mapping.index")));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(completed.count(), 0);
        QCOMPARE(CTestDataDir::readFile(blocked), QByteArray("x"));
    }
};

QTEST_GUILESS_MAIN(TestDataIndexSerializer)
#include "tst_dataindexserializer.moc"
