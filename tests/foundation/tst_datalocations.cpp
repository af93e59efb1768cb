#include "cdatadirtest.h"
#include "foundation/cdatalocations.h"
#include "platform/cregistry.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

namespace
{
const QString shellFolders =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\");
}

class TestDataLocations : public CDataDirTest
{
    Q_OBJECT

private slots:
    void environmentWins()
    {
        QVERIFY(CRegistry::writeValue(shellFolders, QStringLiteral("Common AppData"), QStringLiteral("/elsewhere")));
        QCOMPARE(CDataLocations::dataDirectory(), data().path() + QLatin1Char('/'));
    }

    void registryFallBacks_data()
    {
        QTest::addColumn<QString>("commonAppData");
        QTest::addColumn<QString>("expected");

        QTest::newRow("value present") << QStringLiteral("/srv/common")
                                       << QStringLiteral("/srv/common/Brelvar/FMSClient/");
        const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QTest::newRow("value absent") << QString() << generic + QStringLiteral("/Brelvar/FMSClient/");
    }
    void registryFallBacks()
    {
        QFETCH(QString, commonAppData);
        QFETCH(QString, expected);
        qunsetenv("TESSARAY_DATA_DIR");
        if (!commonAppData.isEmpty())
            QVERIFY(CRegistry::writeValue(shellFolders, QStringLiteral("Common AppData"), commonAppData));
        QCOMPARE(QDir::cleanPath(CDataLocations::dataDirectory()) + QLatin1Char('/'), expected);
    }

    void windowsRule_data()
    {
        QTest::addColumn<QString>("commonAppData");
        QTest::addColumn<int>("windowsVersion");
        QTest::addColumn<QString>("firstDrive");
        QTest::addColumn<QString>("expected"); // after QDir::cleanPath

        QTest::newRow("shell folder set") << QStringLiteral("D:/Shared") << 0x00a0 << QStringLiteral("C:/")
                                          << QStringLiteral("D:/Shared/Brelvar/FMSClient");
        QTest::newRow("older than Vista")
            << QString() << 0x0030 << QStringLiteral("C:/") << QStringLiteral("C:/Program Files/Tessaray");
        QTest::newRow("Vista or later") << QString() << 0x0080 << QStringLiteral("E:/")
                                        << QStringLiteral("E:/ProgramData/Brelvar/FMSClient");
        QTest::newRow("floppy drive first")
            << QString() << 0x00a0 << QStringLiteral("A:/") << QStringLiteral("C:/ProgramData/Brelvar/FMSClient");
    }
    void windowsRule()
    {
        QFETCH(QString, commonAppData);
        QFETCH(int, windowsVersion);
        QFETCH(QString, firstDrive);
        QFETCH(QString, expected);
        const QString result = CDataLocations::windowsDataDirectory(commonAppData, windowsVersion, firstDrive,
                                                                    QStringLiteral("C:/Program Files/Tessaray"));
        QCOMPARE(QDir::cleanPath(QDir::fromNativeSeparators(result)), expected);
    }
};

int main(int argc, char* argv[])
{
    // Redirects the generic locations into a test folder, away from the user's home.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication application(argc, argv);
    TestDataLocations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datalocations.moc"
