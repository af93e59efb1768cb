#include "cfakesimulatortree.h"
#include "cscopedenvironment.h"
#include "ctestdatadir.h"
#include "dataindex/cpathplaceholders.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "dataindex/csteamlibraries.h"
#include "dataindex/cxplaneinstallfinder.h"
#include "foundation/csettings.h"
#include "platform/cregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

// Simulator roots from settings, registry and X-Plane's and Steam's records, and the path placeholders
// built on them. The home folder is a scratch folder ($HOME), so the X-Plane and Steam files are laid out
// as a user's home holds them.
class TestSimulatorRoots : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<CScopedEnvironment> m_environment;
    std::unique_ptr<CFakeSimulatorTree> m_tree;

    QString native(const QString& path) const { return QDir::toNativeSeparators(path); }
    QString home() const { return m_tree->path(QStringLiteral("home")); }

private slots:
    void init()
    {
        m_data = std::make_unique<CTestDataDir>();
        m_environment = std::make_unique<CScopedEnvironment>();
        m_tree = std::make_unique<CFakeSimulatorTree>(m_data->filePath(QStringLiteral("machine")));
        m_tree->makeFolder(QStringLiteral("home"));
        m_environment->set("HOME", QFile::encodeName(home()));
    }
    void cleanup()
    {
        m_tree.reset();
        m_environment.reset();
        m_data.reset();
    }

    void rootFromRegistry_data()
    {
        QTest::addColumn<int>("simulator"); // FS9, FSX and P3D v4: tst_samplescan finds them end to end
        QTest::newRow("FSX Steam") << int(SimFSXSteam);
        QTest::newRow("P3D") << int(SimP3D);
        QTest::newRow("P3D v2") << int(SimP3Dv2);
        QTest::newRow("P3D v3") << int(SimP3Dv3);
        QTest::newRow("X-Plane 10") << int(SimXPlane10);
    }
    void rootFromRegistry()
    {
        QFETCH(int, simulator);
        const QString folder = m_tree->makeFolder(QStringLiteral("sims/") + CSimulators::shortName(simulator));
        QVERIFY(CFakeSimulatorTree::registerSimulator(simulator, folder));
        QCOMPARE(CSimulatorRoots::root(simulator), native(folder));
        // Found once, then kept in the settings.
        QCOMPARE(CSettings::value(QStringLiteral("simulators/") + CSimulators::shortName(simulator)).toString(),
                 folder);
        // No other simulator is taken for it.
        for (int other : CSimulators::rootSimulators()) {
            if (other != simulator)
                QCOMPARE(CSimulatorRoots::root(other), QString());
        }
    }

    void settingWinsAndIsNormalised()
    {
        QVERIFY(CFakeSimulatorTree::registerSimulator(SimFSX, QStringLiteral("/registry/FSX")));
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("\\users\\choice\\\\FSX"));
        QCOMPARE(CSimulatorRoots::root(SimFSX), native(QStringLiteral("/users/choice/FSX")));
    }

    void disabledSimulatorHasNoRoot()
    {
        CSimulatorRoots::setRoot(SimP3Dv4, QStringLiteral("/sims/P3D v4"));
        CSettings::setSimulatorDisabled(SimP3Dv4, true);
        QCOMPARE(CSimulatorRoots::root(SimP3Dv4), QString());
        QCOMPARE(CSimulatorRoots::root(SimP3Dv4, true), native(QStringLiteral("/sims/P3D v4")));
    }

    void steamEditionIsNotBoxedFsx()
    {
        const QString folder = m_tree->makeFolder(QStringLiteral("sims/FSX Steam"));
        m_tree->writeFile(QStringLiteral("sims/FSX Steam/steam_api.dll"));
        QVERIFY(CFakeSimulatorTree::registerSimulator(SimFSX, folder));
        QCOMPARE(CSimulatorRoots::root(SimFSX), QString());
        QVERIFY(!CSettings::contains(QStringLiteral("simulators/FSX")));
    }

    void readRegistryValue_data()
    {
        QTest::addColumn<QString>("storedKey");
        QTest::addColumn<QString>("keyPath");
        QTest::addColumn<QString>("subKey");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& stored, const QString& keyPath, const QString& subKey,
                            const QString& value, const QString& expected) {
            QTest::newRow(name) << stored << keyPath << subKey << value << expected;
        };
        const QString local = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool");
        const QString user = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\Tool");
        row("machine", local, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\", "Tool\\", "C:\\Tool", "C:\\Tool");
        row("doubled separators", local, "HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Vendor\\", "\\Tool", "C:\\Tool", "C:\\Tool");
        row("no hive means machine", local, "SOFTWARE\\Vendor", "Tool", "C:\\Tool", "C:\\Tool");
        row("current user", user, "HKEY_CURRENT_USER\\SOFTWARE\\Vendor", "Tool", "C:\\Tool", "C:\\Tool");
        row("user value not read from machine", user, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Tool", "C:\\Tool", "");
        row("511 characters fit", local, "HKLM\\SOFTWARE\\Vendor", "Tool", QString(511, 'x'), QString(511, 'x'));
        row("512 characters overflow the buffer", local, "HKLM\\SOFTWARE\\Vendor", "Tool", QString(512, 'x'), "");
    }
    void readRegistryValue()
    {
        QFETCH(QString, storedKey);
        QFETCH(QString, keyPath);
        QFETCH(QString, subKey);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QVERIFY(CFakeSimulatorTree::setRegistryValue(storedKey, QStringLiteral("InstallDir"), value));
        QCOMPARE(CRegistry::readRegistryValue(keyPath, subKey, QStringLiteral("InstallDir")), expected);
        QCOMPARE(CRegistry::readRegistryValue(keyPath, subKey, QStringLiteral("Missing"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
    }

    void xplaneInstallFile_data()
    {
        QTest::addColumn<int>("simulator");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("X-Plane 9") << int(SimXPlane9) << "x-plane_install.txt";
        QTest::newRow("X-Plane 10") << int(SimXPlane10) << "x-plane_install_10.txt";
    }
    void xplaneInstallFile()
    {
        QFETCH(int, simulator);
        QFETCH(QString, fileName);
        const QString root = m_tree->makeFolder(QStringLiteral("sims/X-Plane"));
        const QString notAFolder = m_tree->writeFile(QStringLiteral("sims/readme.txt"));
        // Old installations leave their lines behind; blanks around a line don't count.
        m_tree->writeFile(QStringLiteral("home/.x-plane/") + fileName,
                          "\n" + m_tree->path(QStringLiteral("gone/X-Plane")).toUtf8() + "\n" + notAFolder.toUtf8() +
                              "\r\n   " + root.toUtf8() + "   \r\n" + m_tree->path(QStringLiteral("sims")).toUtf8() +
                              "\n");
        QCOMPARE(CXPlaneInstallFinder::fromInstallFile(simulator), native(root));
        QCOMPARE(CSimulatorRoots::root(simulator), native(root));
        QCOMPARE(CSettings::value(QStringLiteral("simulators/") + CSimulators::shortName(simulator)).toString(),
                 native(root));
    }

    void xplaneInstallFileWithoutExistingFolder()
    {
        m_tree->writeFile(QStringLiteral("home/.x-plane/x-plane_install_11.txt"), "/nowhere/X-Plane 11\n\n");
        QCOMPARE(CSimulatorRoots::root(SimXPlane11), QString());
        QVERIFY(!CSettings::contains(QStringLiteral("simulators/XP11")));
    }

    void steamLibraryLists_data()
    {
        QTest::addColumn<QByteArray>("vdf");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("older numbered values")
            << QByteArray("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1\"\n\t"
                          "\"ContentStatsID\"\t\"-5\"\n\t\"1\"\t\t\"D:\\\\Steam Library\"\n}")
            << QStringList{"D:\\Steam Library"};
        QTest::newRow("comments and escapes")
            << QByteArray("// written by Steam\n\"libraryfolders\" { \"0\" { \"path\" "
                          "\"/games/\\\"quoted\\\"\" } }")
            << QStringList{"/games/\"quoted\""};
        QTest::newRow("cut off") << QByteArray("\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" { \"pa")
                                 << QStringList{"/a"};
        QTest::newRow("not a library list") << QByteArray("\"AppState\" { \"appid\" \"1\" }") << QStringList{};
        QTest::newRow("binary junk") << QByteArray("\x00\xff{{}}\"\x01", 7) << QStringList{};
        QTest::newRow("empty") << QByteArray() << QStringList{};
    }
    void steamLibraryLists()
    {
        QFETCH(QByteArray, vdf);
        QFETCH(QStringList, paths);
        QCOMPARE(CSteamLibraries::libraryPathsFromVdf(vdf), paths);
    }

    void steamNestingTooDeep()
    {
        QByteArray vdf = "\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" ";
        for (int i = 0; i < 100000; ++i)
            vdf += "{ \"x\" ";
        QCOMPARE(CSteamLibraries::libraryPathsFromVdf(vdf), QStringList{QStringLiteral("/a")});
    }

    // A manifest that names its folder: xplaneFromSteam.
    void steamManifestWithoutFolder()
    {
        QCOMPARE(CSteamLibraries::installDirFromManifest("\"AppState\" { \"appid\" \"269950\" }"), QString());
    }

    // Where Steam keeps its folder, and how an X-Plane root is recognised in a library.
    void xplaneFromSteam_data()
    {
        QTest::addColumn<QString>("steamFolder");  // below home
        QTest::addColumn<QString>("steamApps");    // the spelling of "steamapps"
        QTest::addColumn<bool>("separateLibrary"); // X-Plane in a library listed by libraryfolders.vdf
        QTest::addColumn<bool>("manifest");        // an app manifest names the folder
        QTest::addColumn<int>("simulator");
        QTest::newRow("XP11 manifest in the Steam folder") << ".local/share/Steam"
                                                           << "steamapps" << false << true << int(SimXPlane11);
        QTest::newRow("XP11 manifest in a listed library") << ".steam/steam"
                                                           << "steamapps" << true << true << int(SimXPlane11);
        QTest::newRow("XP11 folder only, older SteamApps") << ".steam/root"
                                                           << "SteamApps" << true << false << int(SimXPlane11);
        QTest::newRow("XP10 folder in Flatpak Steam") << ".var/app/com.valvesoftware.Steam/.local/share/Steam"
                                                      << "steamapps" << true << false << int(SimXPlane10);
        QTest::newRow("XP10 manifest") << ".local/share/Steam"
                                       << "steamapps" << false << true << int(SimXPlane10);
    }
    void xplaneFromSteam()
    {
        QFETCH(QString, steamFolder);
        QFETCH(QString, steamApps);
        QFETCH(bool, separateLibrary);
        QFETCH(bool, manifest);
        QFETCH(int, simulator);
        const bool eleven = simulator == SimXPlane11;
        const QString steam = m_tree->makeFolder(QStringLiteral("home/") + steamFolder);
        const QString library = separateLibrary ? m_tree->makeFolder(QStringLiteral("games/Steam Library")) : steam;
        m_tree->makeFolder(steam + QLatin1Char('/') + steamApps);
        if (separateLibrary) {
            m_tree->writeFile(
                steam + QLatin1Char('/') + steamApps + QStringLiteral("/libraryfolders.vdf"),
                QStringLiteral("\"libraryfolders\"\n{\n\"0\" { \"path\" \"%0\" }\n\"1\" { \"path\" \"%1\" "
                               "}\n}\n")
                    .arg(steam, library)
                    .toUtf8());
        }
        // The manifest's folder name differs from the usual one, so a hit through the folder name alone
        // would give another answer.
        const QString folderName = manifest ? QStringLiteral("XP Install")
                                   : eleven ? QStringLiteral("x-plane 11")
                                            : QStringLiteral("X-Plane 10");
        const QString root =
            m_tree->makeFolder(library + QLatin1Char('/') + steamApps + QStringLiteral("/common/") + folderName);
        if (manifest) {
            m_tree->writeFile(library + QLatin1Char('/') + steamApps +
                                  QStringLiteral("/appmanifest_%0.acf").arg(eleven ? 269950 : 292180),
                              "\"AppState\"\n{\n\t\"installdir\"\t\t\"XP Install\"\n}\n");
        }
        QCOMPARE(CSimulatorRoots::root(simulator), native(root));
        // The other X-Plane is not taken for this one.
        QCOMPARE(CSimulatorRoots::root(eleven ? SimXPlane10 : SimXPlane11), QString());
    }

    void installFileComesBeforeSteam()
    {
        const QString fromFile = m_tree->makeFolder(QStringLiteral("sims/X-Plane 11"));
        m_tree->writeFile(QStringLiteral("home/.x-plane/x-plane_install_11.txt"), fromFile.toUtf8() + "\n");
        m_tree->makeFolder(QStringLiteral("home/.local/share/Steam/steamapps/common/X-Plane 11"));
        QCOMPARE(CSimulatorRoots::root(SimXPlane11), native(fromFile));
    }

    void manifestLeavingTheLibraryIsIgnored()
    {
        m_tree->makeFolder(QStringLiteral("home/.local/share/Steam/steamapps/common"));
        m_tree->makeFolder(QStringLiteral("home/.local/share/Steam/X-Plane 11"));
        m_tree->writeFile(QStringLiteral("home/.local/share/Steam/steamapps/appmanifest_269950.acf"),
                          "\"AppState\" { \"installdir\" \"../../X-Plane 11\" }");
        QCOMPARE(CXPlaneInstallFinder::fromSteam(SimXPlane11), QString());
    }

    void rootPlaceholder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // @FSX@ for the FSX root
        const auto row = [](const char* name, const QString& path, const QString& expected) {
            QTest::newRow(name) << path << expected;
        };
        row("FSX root", "[FSXROOT]\\SimObjects\\Airplanes", "@FSX@\\SimObjects\\Airplanes");
        row("twice the same", "[FSXROOT]\\a;[FSXROOT]\\b", "@FSX@\\a;@FSX@\\b");
        row("only the first kind", "[FSXROOT]\\a\\[P3DROOT]\\b", "@FSX@\\a\\[P3DROOT]\\b");
        row("table order, not text order", "[P3DROOT]\\a\\[FSXROOT]\\b", "[P3DROOT]\\a\\@FSX@\\b");
        row("missing simulator leaves the rest", "[XP9ROOT]\\Aircraft", "\\Aircraft");
        row("letter case counts", "[fsxroot]\\a", "[fsxroot]\\a");
        row("no placeholder", "C:\\Tools", "C:\\Tools");
    }
    void rootPlaceholder()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("/sims/FSX"));
        CSimulatorRoots::setRoot(SimP3D, QStringLiteral("/sims/P3D"));
        expected.replace(QStringLiteral("@FSX@"), native(QStringLiteral("/sims/FSX")));
        QCOMPARE(CPathPlaceholders::replaceRootPlaceholder(path).path, expected);
    }

    void disabledSimulatorLeavesTheSeparator()
    {
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("/sims/FSX"));
        CSettings::setSimulatorDisabled(SimFSX, true);
        const CPathPlaceholders::RootReplacement replaced =
            CPathPlaceholders::replaceRootPlaceholder(QStringLiteral("[FSXROOT]\\SimObjects"));
        QCOMPARE(replaced.path, QStringLiteral("\\SimObjects"));
        QCOMPARE(replaced.simulator, int(SimFSX));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[FSXROOT]\\SimObjects")),
                 native(QStringLiteral("/SimObjects")));
    }

    void programPlaceholders()
    {
        // Without the registry's shell folder, the program's own data folder.
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[PROGRAMDATA]\\Vendor")),
                 native(m_data->path() + QStringLiteral("/Vendor")));
        QVERIFY(CFakeSimulatorTree::setRegistryValue(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
            QStringLiteral("Common AppData"), QStringLiteral("/srv/programdata/")));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[PROGRAMDATA]\\\\Vendor\\Tool")),
                 native(QStringLiteral("/srv/programdata/Vendor/Tool")));

        // The 32-bit folder before the plain one (which stands in for it: tst_samplescan).
        m_environment->set("COMMONPROGRAMFILES", "/srv/common");
        m_environment->set("CommonProgramFiles(x86)", "/srv/common-x86");
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[COMMONPROGRAMFILES(X86)]\\Heron")),
                 native(QStringLiteral("/srv/common-x86/Heron")));
    }

    void standardLocations()
    {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        QSKIP("The XDG variables redirect the standard locations on Linux only.");
#endif
        const QString savedName = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("BVFMSManager"));
        m_environment->set("XDG_DATA_HOME", QFile::encodeName(m_tree->path(QStringLiteral("xdg-data"))));
        m_environment->set("XDG_CONFIG_HOME", QFile::encodeName(m_tree->path(QStringLiteral("xdg-config"))));
        m_environment->set("TMPDIR", QFile::encodeName(m_tree->makeFolder(QStringLiteral("tmp"))));

        // The per-application locations lose the application's name: they mean the shared folder.
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[APPDATA]\\Vendor")),
                 native(m_tree->path(QStringLiteral("xdg-data/Vendor"))));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[APPDATASHARED]\\Vendor")),
                 native(m_tree->path(QStringLiteral("xdg-data/Vendor"))));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[APPCONFIG]\\Vendor")),
                 native(m_tree->path(QStringLiteral("xdg-config/Vendor"))));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[HOME]\\Documents\\[TEMP]")),
                 native(home() + QStringLiteral("/Documents") + m_tree->path(QStringLiteral("tmp"))));
        // A simulator placeholder and a standard one in one path: both replaced.
        CSimulatorRoots::setRoot(SimXPlane11, QStringLiteral("/sims/X-Plane 11"));
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[XP11ROOT]\\Output\\[HOME]")),
                 native(QStringLiteral("/sims/X-Plane 11/Output") + home()));
        // An unknown word stays.
        QCOMPARE(CPathPlaceholders::resolve(QStringLiteral("[NONE]\\x")), native(QStringLiteral("[NONE]/x")));
        QCoreApplication::setApplicationName(savedName);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorRoots)
#include "tst_simulatorroots.moc"
