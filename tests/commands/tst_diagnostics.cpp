#include "cclirun.h"
#include "ccommandworld.h"
#include "dataindex/cdataindexserializer.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "version.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"
#include "zip/unzip.h"

#include <QtTest>

// tessaray-cli diagnostics on a signed-in data folder with a proxy password, a mapped location whose install
// is pending, an entered simulator folder and a log that leaked the token: each part is in the zip, and no
// form of a secret is.
class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void holdsEachPartAndNoSecret()
    {
        CCommandWorld world;
        QVERIFY2(world.isReady(), qPrintable(world.problem()));
        const QString mapping = CCommandWorld::Mapping.toString(QUuid::WithoutBraces);
        QVERIFY(write(CDataLocations::mappingListFilePath(),
                      QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                                     "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                          .arg(CCommandWorld::Addon.toString(QUuid::WithoutBraces), mapping, world.addonFolder())
                          .toUtf8()));
        QVERIFY(write(CDataLocations::dataIndexFilePath(), readAll(world.service().rootPath() + "/data.index")));
        QVERIFY(write(world.addonFolder() + "/.tessaray-install-7.journal", "<journal step=\"2\"/>"));
        const QString proxyPassword = QStringLiteral("proxy-secret-77");
        CSettings::setValue(SettingsKey::ProxyUserName, QStringLiteral("bob"));
        CSettings::setValue(SettingsKey::ProxyPassword, CDownloadLogUtils::encryptText(proxyPassword));
        const QString simulatorFolder = QFileInfo(world.addonFolder()).absolutePath();
        CSettings::setValue(SettingsKey::SimulatorRootPrefix + QStringLiteral("XP11"), simulatorFolder);
        const QString storedToken = CSettings::stringValue(SettingsKey::ProgramToken);
        const QString token = CDownloadLogUtils::decryptText(storedToken, CCipherKeys::TokenKey);
        QVERIFY(token.size() >= 16);
        QVERIFY(write(CDataLocations::logFilePath(QStringLiteral("20260101-000000.log")),
                      "first line\nGET /fmsdata/" + QUrl::toPercentEncoding(token) + "\nstored " +
                          storedToken.toUtf8() + "\nclear " + token.toUtf8() + " " + token.toUtf8().toBase64() +
                          "\nlast line\n"));

        QTemporaryDir out;
        const QString zipPath = out.filePath(QStringLiteral("support.zip"));
        const CCliRun run = CCliRun::run({QStringLiteral("diagnostics"), zipPath});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(QString::fromUtf8(run.out), QDir::toNativeSeparators(zipPath) + QLatin1Char('\n'));
        UnZip unzip;
        QCOMPARE(unzip.open(zipPath), UnZip::Ok);
        QCOMPARE(unzip.extractAll(out.filePath(QStringLiteral("x"))), UnZip::Ok);

        const QString location = CCommandWorld::Mapping.toString();
        const QList<QPair<QString, QString>> parts{
            {"about.txt", "program\tTessaray " TESSARAY_VERSION "\n"},
            {"about.txt", "system\t" + QSysInfo::prettyProductName()},
            {"logs/20260101-000000.log", "first line\n"},
            {"logs/20260101-000000.log", "last line\n"},
            {"settings.conf", "token=<removed>\n"},
            {"settings.conf", "\nuser=<removed>\n"},
            {"settings.conf", "password=<removed>\n"},
            {"settings.conf", "username=<removed>\n"},
            {"settings.conf", "address=" + world.service().baseUrl()},
            {"simulators.txt", "XP11\tX-Plane 11\t" + QDir::toNativeSeparators(simulatorFolder) + "\tentered in the "},
            {"data-index.txt",
             "id\t" + CDataIndexSerializer::readHeader(CDataLocations::dataIndexFilePath()).id.toString()},
            {"mapping.index", "mappingGuid=\"" + mapping + "\""},
            {"locations.txt", location + "\tProbe\tTOOL\t"},
            {"locations.txt", "\tinterrupted\t"},
            {"journals/1-.tessaray-install-7.journal", "<journal step=\"2\"/>"},
        };
        for (const auto& part : parts) {
            const QString text = QString::fromUtf8(readAll(out.filePath(QStringLiteral("x/") + part.first)));
            QVERIFY2(text.contains(part.second), qPrintable(part.first + ": " + part.second));
        }

        const QStringList secrets{token,
                                  storedToken,
                                  QString::fromLatin1(token.toUtf8().toBase64()),
                                  proxyPassword,
                                  CSettings::stringValue(SettingsKey::ProxyPassword),
                                  CSettings::stringValue(SettingsKey::ProgramUser),
                                  QStringLiteral("demo-pass-2612")};
        QDirIterator files(out.filePath(QStringLiteral("x")), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString text = QString::fromUtf8(readAll(files.next()));
            for (const QString& secret : secrets)
                QVERIFY2(!text.contains(secret), qPrintable(files.filePath() + " holds " + secret));
        }

        // A folder that isn't there is named, and nothing is made.
        const QString nowhere = out.filePath(QStringLiteral("gone/support.zip"));
        const CCliRun refused = CCliRun::run({QStringLiteral("diagnostics"), nowhere});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.startsWith("error 3: The diagnostics could not be written to " +
                                        QDir::toNativeSeparators(nowhere) + ": "),
                 qPrintable(refused.err));
        QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("gone"))));
    }

private:
    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
