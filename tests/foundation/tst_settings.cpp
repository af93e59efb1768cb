#include "commands/cioutils.h"
#include "ctestdatadir.h"
#include "foundation/cprogramconfig.h"
#include "foundation/csettings.h"

#include <QDir>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void defaultsOnFreshInstallation_data();
    void defaultsOnFreshInstallation();
    void writtenValueSeenByNextReader();
    void unconvertibleValuesReadAsZero_data();
    void unconvertibleValuesReadAsZero();
    void badFilesGiveDefaults_data();
    void badFilesGiveDefaults();
    void programConfigReportsAbsentKeys();
    void disableBitsRoundTrip();
    void windowModelAccessors();
};

void TestSettings::defaultsOnFreshInstallation_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("automatic backup on") << SettingsKey::AutoBackup << QVariant(true);
    QTest::newRow("piece size setting") << SettingsKey::ChunkSize << QVariant(16);
    QTest::newRow("sort order") << SettingsKey::SortBy << QVariant(4);
    QTest::newRow("theme on") << SettingsKey::UseTheme << QVariant(true);
    QTest::newRow("old backups kept") << SettingsKey::RemoveOldBackup << QVariant(false);
    QTest::newRow("ask for X-Plane path") << SettingsKey::AskForXPlanePath << QVariant(true);
    QTest::newRow("offer a scan") << SettingsKey::AskScanIfNoAddonMapped << QVariant(true);
    QTest::newRow("autostart") << SettingsKey::AutoStart << QVariant(true);
    QTest::newRow("proxy off") << SettingsKey::EnableProxy << QVariant(false);
    QTest::newRow("proxy port") << SettingsKey::ProxyPort << QVariant(80);
    QTest::newRow("no simulator disabled") << SettingsKey::SimulatorsDisable << QVariant(0);
    QTest::newRow("user id") << SettingsKey::ProgramUser << QVariant(0);
    QTest::newRow("window state") << SettingsKey::WindowState << QVariant(0);
    QTest::newRow("server address") << SettingsKey::ServerAddress
                                    << QVariant(QStringLiteral(TESSARAY_DEFAULT_SERVER_ADDRESS));
    QTest::newRow("no token") << SettingsKey::ProgramToken << QVariant(QString());
    QTest::newRow("no backup path") << SettingsKey::BackupPath << QVariant(QString());
}

void TestSettings::defaultsOnFreshInstallation()
{
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    CTestDataDir dir;
    QVERIFY(!QFile::exists(CIOUtils::settingsFilePath()));
    QCOMPARE(CSettings::value(key), expected);
    QVERIFY(!QFile::exists(CIOUtils::settingsFilePath()));
}

void TestSettings::writtenValueSeenByNextReader()
{
    CTestDataDir dir;
    CSettings::setValue(SettingsKey::ChunkSize, 4);
    CSettings::setValue(SettingsKey::BackupPath, QStringLiteral("/srv/backups"));
    QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 4);
    QCOMPARE(CSettings::stringValue(SettingsKey::BackupPath), QStringLiteral("/srv/backups"));
    QVERIFY(CTestDataDir::readFile(CIOUtils::settingsFilePath()).contains("chunksize=4"));

    CSettings::remove(SettingsKey::ChunkSize);
    QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);
}

void TestSettings::unconvertibleValuesReadAsZero_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("isBool");
    QTest::addColumn<int>("expected");

    QTest::newRow("number from text") << QByteArray("chunksize=lots") << SettingsKey::ChunkSize << false << 0;
    QTest::newRow("boolean from text") << QByteArray("autobackup=perhaps") << SettingsKey::AutoBackup << true << 0;
    QTest::newRow("boolean from number") << QByteArray("autobackup=0") << SettingsKey::AutoBackup << true << 0;
    QTest::newRow("boolean true") << QByteArray("usetheme=true") << SettingsKey::UseTheme << true << 1;
    QTest::newRow("number") << QByteArray("sortby=2") << SettingsKey::SortBy << false << 2;
}

void TestSettings::unconvertibleValuesReadAsZero()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(bool, isBool);
    QFETCH(int, expected);
    CTestDataDir dir;
    dir.writeFile(QStringLiteral("settings.conf"), "[program]\n" + line + "\n");
    if (isBool)
        QCOMPARE(int(CSettings::boolValue(key)), expected);
    else
        QCOMPARE(CSettings::intValue(key), expected);
}

void TestSettings::badFilesGiveDefaults_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("binary garbage") << 0;
    QTest::newRow("folder in the file's place") << 1;
    QTest::newRow("truncated group") << 2;
}

void TestSettings::badFilesGiveDefaults()
{
    QFETCH(int, kind);
    CTestDataDir dir;
    switch (kind) {
    case 0: {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 131 + 7) % 256));
        dir.writeFile(QStringLiteral("settings.conf"), garbage);
        break;
    }
    case 1:
        QVERIFY(QDir().mkpath(CIOUtils::settingsFilePath()));
        break;
    case 2:
        dir.writeFile(QStringLiteral("settings.conf"), "[program\nchunksize");
        break;
    }
    QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);
    QCOMPARE(CSettings::boolValue(SettingsKey::AutoBackup), true);
    QCOMPARE(CSettings::sortBy(), 4);
}

void TestSettings::programConfigReportsAbsentKeys()
{
    CTestDataDir dir;
    QVERIFY(!CProgramConfig::getValue(SettingsKey::ChunkSize).isValid());
    CSettings::setValue(SettingsKey::ChunkSize, 8);
    QCOMPARE(CProgramConfig::getValue(SettingsKey::ChunkSize).toInt(), 8);
}

void TestSettings::disableBitsRoundTrip()
{
    CTestDataDir dir;
    const int fsx = 0x2, p3d = 0x20, xp11 = 0x1000;
    CSettings::setValue(SettingsKey::SimulatorsDisable, fsx | xp11);

    CSettings::setSimulatorDisabled(p3d, true);
    QCOMPARE(CSettings::disabledSimulators(), fsx | xp11 | p3d);
    QVERIFY(CSettings::isSimulatorDisabled(p3d));

    CSettings::setSimulatorDisabled(p3d, false);
    QCOMPARE(CSettings::disabledSimulators(), fsx | xp11);
    QVERIFY(!CSettings::isSimulatorDisabled(p3d));
    QVERIFY(CSettings::isSimulatorDisabled(xp11));

    // Clearing a bit that is not set leaves the others alone.
    CSettings::setSimulatorDisabled(p3d, false);
    QCOMPARE(CSettings::disabledSimulators(), fsx | xp11);
}

void TestSettings::windowModelAccessors()
{
    CTestDataDir dir;
    const QRect current(10, 20, 300, 200);
    QCOMPARE(CSettings::windowGeometry(current), current);
    CSettings::setWindowGeometry(QRect(1, 2, 640, 480));
    QCOMPARE(CSettings::windowGeometry(current), QRect(1, 2, 640, 480));

    QVERIFY(!CSettings::rememberSorting());
    CSettings::setSortBy(2);
    QCOMPARE(CSettings::sortBy(), 2);
    CSettings::setAskScanIfNoAddonMapped(false);
    QVERIFY(!CSettings::askScanIfNoAddonMapped());
    CSettings::setWindowState(2);
    QCOMPARE(CSettings::windowState(), 2);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
