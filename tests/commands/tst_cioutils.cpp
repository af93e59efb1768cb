#include "cdatadirtest.h"
#include "commands/cioutils.h"
#include "ctestsandbox.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

class TestIOUtils : public CDataDirTest
{
    Q_OBJECT

public:
    TestIOUtils()
        : CDataDirTest(Home::Scratch)
    {
    }

private:
    QString native(const QString& path) const { return QDir::toNativeSeparators(path); }

private slots:
    void backupFolder_data()
    {
        QTest::addColumn<QString>("setting");  // null: not set
        QTest::addColumn<QString>("expected"); // below the data directory when relative
        QTest::newRow("not set") << QString() << "backup";
        QTest::newRow("three blanks") << QStringLiteral("   ") << "backup";
        QTest::newRow("set") << QStringLiteral("/srv/backups") << "/srv/backups";
        QTest::newRow("set with blanks") << QStringLiteral("  /srv/backups  ") << "/srv/backups";
    }
    void backupFolder()
    {
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        if (!setting.isNull())
            CSettings::setValue(SettingsKey::BackupPath, setting);
        const QString folder =
            expected.startsWith(QLatin1Char('/')) ? expected : CDataLocations::joinPath(data().path(), expected);
        QCOMPARE(CIOUtils::backupFolder(), folder);
        QCOMPARE(CIOUtils::backupListFilePath(), CDataLocations::joinPath(folder, QStringLiteral("backup.index")));
    }

    void normalizePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // with "/" standing for the native separator
        QTest::newRow("index backslashes")
            << QStringLiteral("[FSXROOT]\\SimObjects\\Airplanes") << "[FSXROOT]/SimObjects/Airplanes";
        QTest::newRow("doubled slash") << QStringLiteral("/sims//FSX") << "/sims/FSX";
        QTest::newRow("doubled backslash") << QStringLiteral("C:\\\\FSX") << "C:/FSX";
        QTest::newRow("replaced once over the text") << QStringLiteral("/sims///FSX") << "/sims//FSX";
    }
    void normalizePath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CIOUtils::normalizePath(path), native(expected));
    }

    void fileHash_data()
    {
        QTest::addColumn<int>("size"); // -1: no file, -2: a folder
        QTest::addColumn<bool>("hashed");
        QTest::newRow("missing") << -1 << false;
        QTest::newRow("folder") << -2 << false;
        QTest::newRow("1023 bytes") << 1023 << false;
        QTest::newRow("1024 bytes") << 1024 << true;
        QTest::newRow("100000 bytes: the first 1024") << 100000 << true;
    }
    void fileHash()
    {
        QFETCH(int, size);
        QFETCH(bool, hashed);
        QByteArray content;
        for (int i = 0; i < size; ++i)
            content.append(char('a' + (i * 7) % 26));
        const QString path = data().filePath(QStringLiteral("package.zip"));
        if (size == -2)
            QVERIFY(QDir().mkpath(path));
        if (size >= 0)
            data().writeFile(QStringLiteral("package.zip"), content);
        const QString expected =
            hashed ? QString::fromLatin1(QCryptographicHash::hash(content.left(1024), QCryptographicHash::Md5).toHex())
                   : QString();
        QCOMPARE(CIOUtils::fileHash(path), expected);
    }

    void removeBackupFile()
    {
        const QString kept = data().writeFile(QStringLiteral("settings-copy.conf"), "keep me");
        const QString backup = data().writeFile(QStringLiteral("backup/pack.bak"), "old");
        QVERIFY(CIOUtils::removeBackupFile(QStringLiteral("pack.bak")));
        QVERIFY(!QFile::exists(backup));
        QVERIFY(!CIOUtils::removeBackupFile(QStringLiteral("pack.bak")));
        // A name from a tampered backup list can't reach outside the backup folder.
        QVERIFY(!CIOUtils::removeBackupFile(QStringLiteral("../settings-copy.conf")));
        QVERIFY(!CIOUtils::removeBackupFile(QStringLiteral("..\\settings-copy.conf")));
        QVERIFY(!CIOUtils::removeBackupFile(kept));
        QVERIFY(QFile::exists(kept));
    }

    void setSimulatorRoot()
    {
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("/sims/FSX "));
        QCOMPARE(CSettings::value(QStringLiteral("simulators/FSX")).toString(), QStringLiteral("/sims/FSX "));
        CSimulatorRoots::setRoot(SimXPlane11, QStringLiteral("/sims/X-Plane 11"));
        QCOMPARE(CSimulatorRoots::root(SimXPlane11), native(QStringLiteral("/sims/X-Plane 11")));
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("  "));
        QVERIFY(!CSettings::contains(QStringLiteral("simulators/FSX")));
        QVERIFY(CSettings::contains(QStringLiteral("simulators/XP11")));
    }

    void displayPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // "/" for the native separator
        QTest::newRow("below X-Plane 11")
            << QStringLiteral("/sims/X-Plane 11/Aircraft/Corvid") << "<XP11>/Aircraft/Corvid/";
        QTest::newRow("other letter case")
            << QStringLiteral("/SIMS/x-plane 11/Aircraft/Corvid/") << "<XP11>/Aircraft/Corvid/";
        QTest::newRow("index form") << QStringLiteral("\\sims\\X-Plane 11\\Aircraft") << "<XP11>/Aircraft/";
        QTest::newRow("the root itself") << QStringLiteral("/sims/X-Plane 11") << "<XP11>/";
        QTest::newRow("below FSX") << QStringLiteral("/sims/FSX/SimObjects") << "<FSX>/SimObjects/";
        QTest::newRow("a sibling with a longer name")
            << QStringLiteral("/sims/FSX-Old/SimObjects") << "/sims/FSX-Old/SimObjects/";
        QTest::newRow("disabled simulator") << QStringLiteral("/sims/P3D/SimObjects") << "/sims/P3D/SimObjects/";
        QTest::newRow("elsewhere") << QStringLiteral("/home/pilot//tools") << "/home/pilot/tools/";
    }
    void displayPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        CSimulatorRoots::setRoot(SimXPlane11, QStringLiteral("/sims/X-Plane 11/"));
        CSimulatorRoots::setRoot(SimFSX, QStringLiteral("/sims/FSX"));
        CSimulatorRoots::setRoot(SimP3D, QStringLiteral("/sims/P3D"));
        CSettings::setSimulatorDisabled(SimP3D, true);
        QCOMPARE(CIOUtils::displayPath(path), native(expected));
    }

    void elidePath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("expected"); // "/" for the native separator
        // displayPath adds a separator at the end; the lead separator of an absolute path stays.
        QTest::newRow("fits") << "/drive/a/b" << 40 << "/drive/a/b/";
        QTest::newRow("two parts never elided")
            << "/averyveryverylongfolder/file.dat" << 5 << "/averyveryverylongfolder/file.dat/";
        QTest::newRow("six parts, small maximum")
            << "/drive/alpha/bravo/charlie/delta/file.dat" << 10 << "/drive/.../file.dat";
        QTest::newRow("left part kept when shorter")
            << "/drive/ab/bravo/charlie/delta/file.dat" << 20 << "/drive/ab/.../file.dat";
        QTest::newRow("right part kept when shorter")
            << "/drive/alpha/bravo/charlie/de/file.dat" << 20 << "/drive/.../de/file.dat";
        // The inner ring is compared with the outer parts already kept (their lengths include their separators).
        QTest::newRow("second ring") << "/drive/a/bravo/charlie/d/file.dat" << 25 << "/drive/a/bravo/.../d/file.dat";
    }
    void elidePath()
    {
        QFETCH(QString, path);
        QFETCH(int, maximum);
        QFETCH(QString, expected);
        QCOMPARE(CIOUtils::elidePath(path, maximum, QStringLiteral("."), 3), native(expected));
    }

    void elideFill()
    {
        QCOMPARE(CIOUtils::elidePath(QStringLiteral("/drive/alpha/bravo/charlie/delta/file.dat"), 10,
                                     QString(QChar(0x2026)), 1),
                 native(QStringLiteral("/drive/") + QChar(0x2026) + QStringLiteral("/file.dat")));
    }
};

QTEST_GUILESS_MAIN(TestIOUtils)
#include "dataindex/csimulatorroots.h"
#include "tst_cioutils.moc"
