#include "cdatadirtest.h"
#include "foundation/clogger.h"
#include "foundation/cprogramconfig.h"
#include "foundation/csettings.h"
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QtTest>

class TestSettings : public CDataDirTest
{
    Q_OBJECT

private slots:
    void writtenValueSeenByNextReader()
    {
        CSettings::setValue(SettingsKey::ChunkSize, 4);
        QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 4);
        QVERIFY(CTestDataDir::readFile(settingsPath()).contains("chunksize=4"));

        CSettings::remove(SettingsKey::ChunkSize);
        QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);
    }

    void unconvertibleValuesReadAsZero_data()
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
    void unconvertibleValuesReadAsZero()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(bool, isBool);
        QFETCH(int, expected);
        data().writeFile(QStringLiteral("settings.conf"), "[program]\n" + line + "\n");
        if (isBool)
            QCOMPARE(int(CSettings::boolValue(key)), expected);
        else
            QCOMPARE(CSettings::intValue(key), expected);
    }

    void badFilesGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: a folder in the file's place

        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 131 + 7) % 256));
        QTest::newRow("binary garbage") << garbage;
        QTest::newRow("folder in the file's place") << QByteArray();
        // Readable keys around a line QSettings cannot parse: only the first reader hears of the error.
        QTest::newRow("line without equals sign") << QByteArray("[program]\nchunksize=4\nsortby=2\nnot a setting\n");
        QTest::newRow("unclosed group") << QByteArray("[program\nchunksize=4\n");
    }
    void badFilesGiveDefaults()
    {
        QFETCH(QByteArray, content);
        if (content.isEmpty())
            QVERIFY(QDir().mkpath(settingsPath()));
        else
            data().writeFile(QStringLiteral("settings.conf"), content);
        for (int read = 1; read <= 3; ++read) {
            QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);
            QCOMPARE(CSettings::sortBy(), 4);
            QVERIFY(!CSettings::contains(SettingsKey::ChunkSize));
            QVERIFY(!CProgramConfig::getValue(SettingsKey::ChunkSize).isValid());
        }
    }

    // An administrator's settings in a data folder the user may not write: read as stored, also once a write
    // could not be saved.
    void readOnlyDataFolderIsRead()
    {
#ifndef Q_OS_UNIX
        QSKIP("folder rights are POSIX here");
#endif
        data().writeFile(QStringLiteral("settings.conf"), "[server]\naddress=http://brelvar.invalid:1/\n");
        // Root writes anywhere; an immutable folder stops it too.
        const bool root = geteuid() == 0;
        const auto lock = [&](bool locked) {
            if (root)
                return QProcess::execute(QStringLiteral("chattr"),
                                         {locked ? QStringLiteral("+i") : QStringLiteral("-i"), data().path()}) == 0;
            return QFile::setPermissions(data().path(), locked ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                               : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                     QFileDevice::ExeOwner);
        };
        if (!lock(true))
            QSKIP("the data folder can't be made read-only here");
        CSettings::setValue(SettingsKey::SortBy, 2);
        const QString address = CSettings::stringValue(SettingsKey::ServerAddress);
        lock(false);
        QCOMPARE(address, QStringLiteral("http://brelvar.invalid:1/"));
    }

    void writeSetsDamagedFileAside()
    {
        const QByteArray damaged("[program]\nchunksize=4\nnot a setting\n");
        data().writeFile(QStringLiteral("settings.conf"), damaged);
        QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);

        CSettings::setValue(SettingsKey::SortBy, 2);
        QCOMPARE(CSettings::sortBy(), 2);
        QCOMPARE(CSettings::intValue(SettingsKey::ChunkSize), 16);
        const QStringList aside =
            QDir(data().path()).entryList({QStringLiteral("settings.conf.damaged-*")}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(CTestDataDir::readFile(data().filePath(aside.first())), damaged);
        QVERIFY(CTestDataDir::readFile(data().logFile()).contains("settings.conf could not be read (format error)"));
    }

    void disableBitsRoundTrip()
    {
        const int fsx = 0x2, p3d = 0x20, xp11 = 0x1000;
        CSettings::setValue(SettingsKey::SimulatorsDisable, fsx | xp11);
        CSettings::setSimulatorDisabled(p3d, true);
        QCOMPARE(CSettings::disabledSimulators(), fsx | xp11 | p3d);
        // Clearing a bit, twice: the second time it is not set and the others stay.
        for (int clear = 0; clear < 2; ++clear) {
            CSettings::setSimulatorDisabled(p3d, false);
            QCOMPARE(CSettings::disabledSimulators(), fsx | xp11);
            QVERIFY(!CSettings::isSimulatorDisabled(p3d) && CSettings::isSimulatorDisabled(xp11));
        }
    }

    void privateFilesReadableByOwnerOnly_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("leftOpenBefore"); // an older version left it readable by all

        QTest::newRow("settings, new") << "settings.conf" << false;
        QTest::newRow("settings, left open") << "settings.conf" << true;
        QTest::newRow("log, new") << "logs/test.log" << false;
        QTest::newRow("log, left open") << "logs/test.log" << true;
    }
    void privateFilesReadableByOwnerOnly()
    {
#ifndef Q_OS_UNIX
        QSKIP("Windows keeps the rights of the folder");
#endif
        QFETCH(QString, file);
        QFETCH(bool, leftOpenBefore);

        const QString path = data().filePath(file);
        if (leftOpenBefore) {
            data().writeFile(file, "[program]\nsortby=1\n");
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        }
        // Twice: QSettings replaces the file on every write.
        for (int write = 0; write < 2; ++write) {
            if (file.startsWith(QLatin1String("logs/")))
                CLogger::write(QStringLiteral("a line"));
            else
                CSettings::setValue(SettingsKey::SortBy, write);
            struct stat status;
            QCOMPARE(stat(QFile::encodeName(path).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, mode_t(0600));
        }
    }

private:
    QString settingsPath() const
    {
        return data().filePath(QStringLiteral("settings.conf"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
