#include "ctestdatadir.h"
#include "platform/cregistry.h"

#include <QtTest>

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void keyPathsNormalised_data();
    void keyPathsNormalised();
    void readsStandInFile_data();
    void readsStandInFile();
    void writeAndRemoveRoundTrip();
    void malformedFileReadsEmptyAndIsKept();
    void missingFileReadsEmpty();
};

void TestRegistry::keyPathsNormalised_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("short hive") << QStringLiteral("HKLM\\Software\\A")
                                << QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\A");
    QTest::newRow("user hive") << QStringLiteral("hkcu\\X") << QStringLiteral("HKEY_CURRENT_USER\\X");
    QTest::newRow("doubled and trailing")
        << QStringLiteral("HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\B\\") << QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\B");
    QTest::newRow("forward slashes") << QStringLiteral("HKEY_CURRENT_USER/Software/C")
                                     << QStringLiteral("HKEY_CURRENT_USER\\Software\\C");
}

void TestRegistry::keyPathsNormalised()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(CRegistry::normalizedKeyPath(input), expected);
}

void TestRegistry::readsStandInFile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const QString fsx = QStringLiteral(
        "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0\\");
    QTest::newRow("exact") << fsx << QStringLiteral("SetupPath") << QStringLiteral("/sims/FSX Deluxe");
    QTest::newRow("other letter case") << fsx.toUpper() << QStringLiteral("setuppath")
                                       << QStringLiteral("/sims/FSX Deluxe");
    QTest::newRow("short hive")
        << QStringLiteral("HKLM\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0")
        << QStringLiteral("SetupPath") << QStringLiteral("/sims/FSX Deluxe");
    QTest::newRow("missing value") << fsx << QStringLiteral("EXE Path") << QString();
    QTest::newRow("missing key") << QStringLiteral("HKLM\\Software\\Nothing") << QStringLiteral("SetupPath")
                                 << QString();
    QTest::newRow("value with equals sign")
        << QStringLiteral("HKEY_CURRENT_USER\\Software\\Test") << QStringLiteral("Formula") << QStringLiteral("a=b");
}

void TestRegistry::readsStandInFile()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    CTestDataDir dir;
    dir.writeFile(QStringLiteral("registry.ini"),
                  "; stand-in registry\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0]\n"
                  "SetupPath = /sims/FSX Deluxe\n"
                  "\n"
                  "[HKEY_CURRENT_USER\\Software\\Test]\n"
                  "Formula=a=b\n");
    QCOMPARE(CRegistry::readValue(key, value), expected);
}

void TestRegistry::writeAndRemoveRoundTrip()
{
    CTestDataDir dir;
    const QString run = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    QVERIFY(CRegistry::writeValue(run, QStringLiteral("Brelvar Tessaray"), QStringLiteral("/opt/agent -autostart")));
    QVERIFY(CRegistry::writeValue(run, QStringLiteral("Other"), QStringLiteral("kept")));
    QCOMPARE(CRegistry::readValue(run, QStringLiteral("Brelvar Tessaray")), QStringLiteral("/opt/agent -autostart"));

    QVERIFY(CRegistry::writeValue(run, QStringLiteral("brelvar tessaray"), QStringLiteral("replaced")));
    QCOMPARE(CRegistry::readValue(run, QStringLiteral("Brelvar Tessaray")), QStringLiteral("replaced"));

    QVERIFY(CRegistry::removeValue(run, QStringLiteral("Brelvar Tessaray")));
    QCOMPARE(CRegistry::readValue(run, QStringLiteral("Brelvar Tessaray")), QString());
    QCOMPARE(CRegistry::readValue(run, QStringLiteral("Other")), QStringLiteral("kept"));
}

void TestRegistry::malformedFileReadsEmptyAndIsKept()
{
    CTestDataDir dir;
    const QByteArray content = "[HKEY_LOCAL_MACHINE\\Software\\A]\nName=value\nthis line is not a value\n";
    dir.writeFile(QStringLiteral("registry.ini"), content);
    QCOMPARE(CRegistry::readValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Name")), QString());
    QVERIFY(!CRegistry::writeValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("New"), QStringLiteral("x")));
    QCOMPARE(CTestDataDir::readFile(dir.registryFile()), content);
}

void TestRegistry::missingFileReadsEmpty()
{
    CTestDataDir dir;
    QCOMPARE(CRegistry::readValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Name")), QString());
    QVERIFY(CRegistry::removeValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Name")));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
