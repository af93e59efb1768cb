#include "cscopedenvironment.h"
#include "platform/clocalpath.h"
#include "platform/cstandardlocations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestLocalPath : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    void makeFolder(const QString& relative) { QVERIFY(QDir().mkpath(m_dir.filePath(relative))); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeFolder(QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/plugins/corvidfms/NavData"));
        makeFolder(QStringLiteral("Twins/Data"));
        makeFolder(QStringLiteral("Twins/data"));
        QFile file(m_dir.filePath(QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/Corvid_C90.acf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void toNative_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        QTest::newRow("slashes") << "C:/a/b" << QStringLiteral("C:\\a\\b");
        QTest::newRow("mixed") << "C:/a\\b" << QStringLiteral("C:\\a\\b");
#else
        QTest::newRow("backslashes") << "[FSXROOT]\\SimObjects\\Airplanes"
                                     << QStringLiteral("[FSXROOT]/SimObjects/Airplanes");
        QTest::newRow("mixed") << "/sims\\FSX/x" << QStringLiteral("/sims/FSX/x");
        QTest::newRow("doubled kept") << "a\\\\b" << QStringLiteral("a//b");
#endif
        QTest::newRow("empty") << "" << QString();
    }
    void toNative()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CLocalPath::toNative(path), expected);
    }

    // The index writes "Aircraft\Corvid C-90\plugins\CorvidFMS\navdata"; the disk has other letter cases.
    void existingPath_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("expected"); // empty: nothing matches
        const QString navdata = QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/plugins/corvidfms/NavData");
        QTest::newRow("exact") << navdata << navdata;
        QTest::newRow("index spelling, backslashes")
            << "X-Plane 11\\Aircraft\\Corvid C-90\\plugins\\CorvidFMS\\navdata" << navdata;
        QTest::newRow("every element upper case")
            << "X-PLANE 11/AIRCRAFT/CORVID C-90/PLUGINS/CORVIDFMS/NAVDATA" << navdata;
        QTest::newRow("file") << "x-plane 11/aircraft/corvid c-90/CORVID_C90.ACF"
                              << QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/Corvid_C90.acf");
        QTest::newRow("dot dot resolved first")
            << "X-Plane 11/aircraft/unknown/../corvid c-90" << QStringLiteral("X-Plane 11/Aircraft/Corvid C-90");
        QTest::newRow("missing last element") << "X-Plane 11/aircraft/corvid c-90/liveries" << QString();
        QTest::newRow("missing middle element") << "X-Plane 11/scenery/corvid c-90" << QString();
        QTest::newRow("exact spelling preferred") << "Twins/data" << QStringLiteral("Twins/data");
        QTest::newRow("first of two spellings") << "Twins/DATA" << QStringLiteral("Twins/Data");
    }
    void existingPath()
    {
        QFETCH(QString, relative);
        QFETCH(QString, expected);
        const QString wanted = expected.isEmpty() ? QString() : QDir::toNativeSeparators(m_dir.filePath(expected));
#ifdef Q_OS_WIN
        if (!expected.isEmpty())
            QCOMPARE(CLocalPath::existingPath(m_dir.filePath(relative)).toLower(), wanted.toLower());
        return;
#endif
        QCOMPARE(CLocalPath::existingPath(m_dir.path() + QLatin1Char('/') + relative), wanted);
        CPathCaseCache cache;
        QCOMPARE(cache.existingPath(m_dir.path() + QLatin1Char('/') + relative), wanted);
        QCOMPARE(cache.existingPath(m_dir.path() + QLatin1Char('/') + relative), wanted); // from the listings read
    }

    // A new file of a package joins the folder the disk spells differently; what does not exist stays as given.
    void matchCase_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new file in a folder spelled otherwise")
            << "x-plane 11/aircraft/corvid c-90/plugins/CorvidFMS/navdata/new.dat"
            << QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/plugins/corvidfms/NavData/new.dat");
        QTest::newRow("new folders below")
            << "X-PLANE 11/aircraft/New/Sub/a.dat" << QStringLiteral("X-Plane 11/Aircraft/New/Sub/a.dat");
        QTest::newRow("existing file") << "x-plane 11/aircraft/corvid c-90/CORVID_C90.ACF"
                                       << QStringLiteral("X-Plane 11/Aircraft/Corvid C-90/Corvid_C90.acf");
        QTest::newRow("exact spelling preferred") << "Twins/data/x" << QStringLiteral("Twins/data/x");
    }
    void matchCase()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows ignores letter case itself");
#endif
        QFETCH(QString, relative);
        QFETCH(QString, expected);
        const QString wanted = QDir::toNativeSeparators(m_dir.filePath(expected));
        QCOMPARE(CLocalPath::matchCase(m_dir.path() + QLatin1Char('/') + relative), wanted);
        CPathCaseCache cache;
        QCOMPARE(cache.matchCase(m_dir.path() + QLatin1Char('/') + relative), wanted);
    }

    void toWindowsLongPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QString deep = QStringLiteral("x").repeated(250);
        QTest::newRow("short, slashes") << "C:/FSX/a.dat" << QStringLiteral("C:\\FSX\\a.dat");
        QTest::newRow("long drive path") << "C:/FSX/" + deep << "\\\\?\\C:\\FSX\\" + deep;
        QTest::newRow("long, dots cleaned first") << "C:\\FSX\\.\\b\\..\\" + deep << "\\\\?\\C:\\FSX\\" + deep;
        QTest::newRow("long share") << "\\\\server\\share\\" + deep << "\\\\?\\UNC\\server\\share\\" + deep;
        QTest::newRow("prefixed already") << "\\\\?\\C:\\" + deep << "\\\\?\\C:\\" + deep;
        QTest::newRow("long but relative") << "FSX/" + deep << "FSX\\" + deep;
    }
    void toWindowsLongPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CLocalPath::toWindowsLongPath(path), expected);
    }

    void existingPathOfNothing()
    {
        QCOMPARE(CLocalPath::existingPath(QString()), QString());
        QVERIFY(!CLocalPath::exists(m_dir.filePath(QStringLiteral("nowhere/at/all"))));
    }

    void leavesFolder_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("leaves");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("name") << "navdata" << false;
        QTest::newRow("nested, backslashes") << "Navdata\\Airports\\a.dat" << false;
        QTest::newRow("dot") << "./navdata" << false;
        QTest::newRow("dots inside a name") << "a..b/c" << false;
        QTest::newRow("hidden name") << ".navdata" << false;
        QTest::newRow("name starting with two dots") << "..navdata" << false;
        QTest::newRow("parent") << ".." << true;
        QTest::newRow("parent inside") << "navdata/../../x" << true;
        QTest::newRow("parent with backslashes") << "navdata\\..\\..\\x" << true;
        QTest::newRow("three dots") << "a/.../b" << true;
        QTest::newRow("dot blank dot") << "a/. ./b" << true;
        QTest::newRow("parent with trailing blank") << "a/.. /b" << true;
        QTest::newRow("absolute") << "/etc/passwd" << true;
        QTest::newRow("absolute backslash") << "\\Windows\\win.ini" << true;
        QTest::newRow("UNC") << "\\\\server\\share\\x" << true;
        QTest::newRow("drive") << "C:\\Windows" << true;
        QTest::newRow("drive relative") << "d:navdata" << true;
        QTest::newRow("blanks around parent") << "  ..  " << true;
        QTest::newRow("climb that cleaning would cancel") << "a/b/../c.txt" << true;
        QTest::newRow("drive after dot") << "./D:/evil.txt" << true;
        QTest::newRow("NUL cuts the path") << QStringLiteral("..") + QChar(0) + QStringLiteral("x/f") << true;
    }
    void leavesFolder()
    {
        QFETCH(QString, relative);
        QFETCH(bool, leaves);
        QCOMPARE(CLocalPath::leavesFolder(relative), leaves);
    }

    void environmentNamesIgnoreCase()
    {
        CScopedEnvironment environment;
        environment.set("TessarayMixedCase", "value");
        QCOMPARE(CStandardLocations::environmentValue(QStringLiteral("tessaraymixedcase")), QStringLiteral("value"));
        QCOMPARE(CStandardLocations::environmentValue(QStringLiteral("TESSARAYMIXEDCASE")), QStringLiteral("value"));
        QCOMPARE(CStandardLocations::environmentValue(QStringLiteral("TessarayNotSet")), QString());
    }
};

QTEST_GUILESS_MAIN(TestLocalPath)
#include "tst_localpath.moc"
