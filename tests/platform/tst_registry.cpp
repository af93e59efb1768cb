#include "cdatadirtest.h"
#include "platform/cregistry.h"

#include <QtTest>

class TestRegistry : public CDataDirTest
{
    Q_OBJECT

private slots:
    void readsStandInFile_data();
    void readsStandInFile();
    void unreadableLinesAreSkipped_data();
    void unreadableLinesAreSkipped();
    void writesKeepEveryOtherLine();
    void unwritableValuesAreRefused_data();
    void unwritableValuesAreRefused();
    void missingFileReadsEmpty();
};

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
    // Key paths as users and installers spell them.
    QTest::newRow("doubled, forward and trailing separators")
        << QStringLiteral("HKEY_LOCAL_MACHINE\\\\Software/Wow6432Node\\Microsoft\\Microsoft Games\\Flight "
                          "Simulator\\10.0\\")
        << QStringLiteral("SetupPath") << QStringLiteral("/sims/FSX Deluxe");
    QTest::newRow("blank behind a leading backslash, short user hive")
        << QStringLiteral("\\ hkcu\\Software\\Test \\") << QStringLiteral("Formula") << QStringLiteral("a=b");
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
    data().writeFile(QStringLiteral("registry.ini"),
                     "; stand-in registry\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0]\n"
                     "SetupPath = /sims/FSX Deluxe\n"
                     "\n"
                     "[HKEY_CURRENT_USER\\Software\\Test]\n"
                     "Formula=a=b\n");
    QCOMPARE(CRegistry::readValue(key, value), expected);
}

void TestRegistry::unreadableLinesAreSkipped_data()
{
    QTest::addColumn<QByteArray>("badLine");
    QTest::addColumn<QStringList>("readable"); // of the values A, B, C below

    QTest::newRow("line without equals sign") << QByteArray("this line is not a value") << QStringList{"a", "b", "c"};
    QTest::newRow("value before any key") << QByteArray() << QStringList{"a", "b", "c"};
    QTest::newRow("unclosed key") << QByteArray("[HKEY_LOCAL_MACHINE\\Software\\Broken") << QStringList{"a", "b", "c"};
    // The values below a key that cannot be read belong to no key: they are skipped too.
    QTest::newRow("key of backslashes only") << QByteArray("[\\\\]") << QStringList{"a", "", "c"};
}

void TestRegistry::unreadableLinesAreSkipped()
{
    QFETCH(QByteArray, badLine);
    QFETCH(QStringList, readable);
    const QByteArray content = (badLine.isEmpty() ? QByteArray("Orphan=x\n") : QByteArray()) +
                               "[HKEY_LOCAL_MACHINE\\Software\\A]\nA=a\n" + badLine +
                               "\nB=b\n[HKEY_LOCAL_MACHINE\\Software\\C]\nC=c\n";
    data().writeFile(QStringLiteral("registry.ini"), content);

    const QString a = QStringLiteral("HKLM\\Software\\A");
    QCOMPARE(CRegistry::readValue(a, QStringLiteral("A")), readable.at(0));
    QCOMPARE(CRegistry::readValue(a, QStringLiteral("B")), readable.at(1));
    QCOMPARE(CRegistry::readValue(QStringLiteral("HKLM\\Software\\C"), QStringLiteral("C")), readable.at(2));
    const QString line = badLine.isEmpty() ? QStringLiteral("1") : QStringLiteral("3");
    const QString log = QString::fromUtf8(CTestDataDir::readFile(data().logFile()));
    QVERIFY2(log.contains(QStringLiteral("Skipped line %1 of the registry file %2")
                              .arg(line, QDir::toNativeSeparators(data().registryFile()))),
             qPrintable(log));
    // Logged once, however often the file is read.
    QCOMPARE(log.count(QStringLiteral("Skipped line %1 ").arg(line)), 1);
}

void TestRegistry::writesKeepEveryOtherLine()
{
    const QByteArray content = "; written by hand\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\A]\n"
                               "  Name = old   \n"
                               "not a value, kept all the same\n"
                               "Other=1\n"
                               "\n"
                               "# the end";
    data().writeFile(QStringLiteral("registry.ini"), content);
    QVERIFY(CRegistry::writeValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("name"), QStringLiteral("new")));
    QVERIFY(CRegistry::writeValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Added"), QStringLiteral("2")));
    QVERIFY(CRegistry::writeValue(QStringLiteral("HKCU\\Software\\B"), QStringLiteral("Value"), QStringLiteral("b")));
    QCOMPARE(CTestDataDir::readFile(data().registryFile()), QByteArray("; written by hand\n"
                                                                       "[HKEY_LOCAL_MACHINE\\Software\\A]\n"
                                                                       "Name=new\n"
                                                                       "not a value, kept all the same\n"
                                                                       "Other=1\n"
                                                                       "Added=2\n"
                                                                       "\n"
                                                                       "# the end\n"
                                                                       "\n"
                                                                       "[HKEY_CURRENT_USER\\Software\\B]\n"
                                                                       "Value=b\n"));
    QVERIFY(CRegistry::removeValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Other")));
    QVERIFY(!CTestDataDir::readFile(data().registryFile()).contains("Other"));
    QCOMPARE(CRegistry::readValue(QStringLiteral("HKLM\\Software\\A"), QStringLiteral("Name")), QStringLiteral("new"));
}

void TestRegistry::unwritableValuesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("data");

    QTest::newRow("line break in the data") << "Path" << QStringLiteral("/a\nB=b");
    QTest::newRow("equals sign in the name") << "A=B" << QStringLiteral("x");
    QTest::newRow("name that reads as a comment") << "; note" << QStringLiteral("x");
    QTest::newRow("blank around the data") << "Path" << QStringLiteral(" /a ");
}

void TestRegistry::unwritableValuesAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, data);
    const QString run = QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    QVERIFY(!CRegistry::writeValue(run, name, data));
    QVERIFY(!QFile::exists(this->data().registryFile()));
}

void TestRegistry::missingFileReadsEmpty()
{
    const QString key = QStringLiteral("HKLM\\Software\\A");
    QCOMPARE(CRegistry::readValue(key, QStringLiteral("Name")), QString());
    QVERIFY(CRegistry::removeValue(key, QStringLiteral("Name")));
    // The first write makes the file.
    QVERIFY(CRegistry::writeValue(key, QStringLiteral("Name"), QStringLiteral("/opt/agent -autostart")));
    QCOMPARE(CRegistry::readValue(key, QStringLiteral("name")), QStringLiteral("/opt/agent -autostart"));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
