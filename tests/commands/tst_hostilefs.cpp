#include "ccommandworld.h"
#include "commands/ccommandfactory.h"
#include "commands/cioutils.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "foundation/cdatalocations.h"
#include "webservices/cuser.h"
#include "zip/unzip.h"
#include "zip/zip.h"
#include <sys/resource.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace
{
QString addonText()
{
    return CCommandWorld::Addon.toString(QUuid::WithoutBraces);
}
QString mappingText()
{
    return CCommandWorld::Mapping.toString(QUuid::WithoutBraces);
}

QString allMessages(const CCommandWorld::Outcome& outcome)
{
    QStringList messages;
    for (const Exception& error : outcome.errors)
        messages.append(error.message);
    return messages.join(QLatin1Char('\n'));
}
} // namespace

// The update and backup on file systems as users have them and as a hostile world leaves them: links
// planted at the program's folders, folders spelled in another letter case, read-only files, another volume
// below the add-on, a disk that fills, leftovers of killed runs, packages that would double a file.
class TestHostileFileSystems : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CCommandWorld> m_world;

    QString sandbox(const QString& relative) const
    {
        return QFileInfo(m_world->addonFolder()).absolutePath() + QLatin1Char('/') + relative;
    }
    bool packageFetched() const
    {
        for (const CDevServerRequest& request : m_world->service()->requests()) {
            if (request.path.endsWith(QLatin1String("probe.zip")) && request.method == QLatin1String("GET"))
                return true;
        }
        return false;
    }
    // Nothing changed: the old files and mapping in place, nothing staged.
    void verifyUnchanged(const CCommandWorld::Outcome& outcome)
    {
        QCOMPARE(outcome.completions, 1);
        QVERIFY(!outcome.errors.isEmpty());
        QCOMPARE(m_world->differenceFrom(m_world->oldFiles()), QString());
        QCOMPARE(CTestDataDir::readFile(m_world->installedIndex()), CCommandWorld::mappingXml(3));
        QVERIFY(QDir(m_world->addonFolder())
                    .entryList({QStringLiteral(".tessaray-install-*")}, QDir::AllEntries | QDir::Hidden)
                    .isEmpty());
    }

private slots:
    void init()
    {
        m_world = std::make_unique<CCommandWorld>();
        QVERIFY2(m_world->isReady(), qPrintable(m_world->problem()));
    }
    void cleanup() { m_world.reset(); }

    void linkPlantedAtAWorkFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("refused"); // else removed as a link and made anew
        QTest::newRow("the program's own folder") << "private" << true;
        QTest::newRow("the download folder") << "download" << false;
        QTest::newRow("the staging folder") << "staging" << false;
    }
    void linkPlantedAtAWorkFolder()
    {
        QFETCH(QString, folder);
        QFETCH(bool, refused);
        const QString planted = folder == QLatin1String("private") ? CIOUtils::privateRoot()
                                : folder == QLatin1String("download")
                                    ? CDataLocations::joinPath(CIOUtils::downloadRoot(), mappingText())
                                    : sandbox(QStringLiteral("addon/.tessaray-install-") + mappingText());
        const QString outside = sandbox(QStringLiteral("outside/keep.dat"));
        QVERIFY(QDir().mkpath(QFileInfo(outside).absolutePath()) && QDir().mkpath(QFileInfo(planted).absolutePath()));
        QFile keep(outside);
        QVERIFY(keep.open(QIODevice::WriteOnly) && keep.write("the user's") == 10);
        keep.close();
        QVERIFY(QFile::link(QFileInfo(outside).absolutePath(), planted));

        const CCommandWorld::Outcome outcome = m_world->update();
        QCOMPARE(QDir(QFileInfo(outside).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("keep.dat")});
        QCOMPARE(CTestDataDir::readFile(outside), QByteArray("the user's"));
        if (refused) {
            verifyUnchanged(outcome);
            QVERIFY2(allMessages(outcome).contains(QStringLiteral("is a link")), qPrintable(allMessages(outcome)));
        } else {
            QCOMPARE(m_world->differenceFrom(m_world->newFiles()), QString());
        }
    }

    // The mapping says "nav\proc"; the disk has "Nav/PROC": the update replaces the files there, and its
    // backup holds what was there.
    void caseMismatchedFolderIsFoundByInstallAndBackup()
    {
        QVERIFY(QDir().rename(m_world->addonFolder() + QStringLiteral("/nav"),
                              m_world->addonFolder() + QStringLiteral("/Nav")));
        QVERIFY(QDir().rename(m_world->addonFolder() + QStringLiteral("/Nav/proc"),
                              m_world->addonFolder() + QStringLiteral("/Nav/PROC")));
        const CCommandWorld::Outcome outcome = m_world->update();
        QCOMPARE(outcome.completions, 1);
        QVERIFY2(outcome.errors.isEmpty(), qPrintable(allMessages(outcome)));
        QCOMPARE(CTestDataDir::readFile(m_world->addonFolder() + QStringLiteral("/Nav/PROC/sid.txt")),
                 m_world->newFiles().value(QStringLiteral("nav/proc/sid.txt")));
        QVERIFY(!QFileInfo::exists(m_world->addonFolder() + QStringLiteral("/nav")));

        const QStringList packages = QDir(CIOUtils::backupFolder()).entryList({QStringLiteral("*.bak")}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        UnZip backup;
        backup.setPassword(packagePassword(CUser::instance()->userId()));
        QCOMPARE(backup.open(CDataLocations::joinPath(CIOUtils::backupFolder(), packages.first())), UnZip::Ok);
        QBuffer sid;
        QVERIFY(sid.open(QIODevice::WriteOnly));
        QCOMPARE(backup.extractFile(QStringLiteral("sid.dat"), &sid), UnZip::Ok);
        QCOMPARE(sid.data(), m_world->oldFiles().value(QStringLiteral("nav/proc/sid.txt")));
    }

    // Refused before anything is downloaded, and named for what it is.
    void unreplaceableFileStopsTheUpdateBeforeTheDownload_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("named");
        QTest::newRow("read-only installed file") << "read-only"
                                                  << "waypoints.dat is read-only";
        QTest::newRow("sub-folder on another volume") << "volume"
                                                      << "lies on another volume";
    }
    void unreplaceableFileStopsTheUpdateBeforeTheDownload()
    {
        QFETCH(QString, cause);
        QFETCH(QString, named);
        const QString waypoints = m_world->addonFolder() + QStringLiteral("/waypoints.dat");
        QTemporaryDir elsewhere(QStringLiteral("/dev/shm/tessaray-XXXXXX"));
        if (cause == QLatin1String("read-only")) {
            QVERIFY(QFile::setPermissions(waypoints, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        } else {
            struct stat here, there;
            if (!elsewhere.isValid() || stat(QFile::encodeName(m_world->addonFolder()).constData(), &here) != 0 ||
                stat(QFile::encodeName(elsewhere.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
                QSKIP("no second volume to put a folder on");
            const QString nav = m_world->addonFolder() + QStringLiteral("/nav");
            QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), nav, elsewhere.path()}), 0);
            QVERIFY(QDir(nav).removeRecursively());
            QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("nav")), nav));
        }
        const CCommandWorld::Outcome outcome = m_world->update();
        QFile::setPermissions(waypoints, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        verifyUnchanged(outcome);
        QVERIFY2(allMessages(outcome).contains(named), qPrintable(allMessages(outcome)));
        QVERIFY(!packageFetched());
    }

    // A file-size limit stands in for a disk that fills while the package is unpacked.
    void diskFillingDuringTheInstallChangesNothing()
    {
        QByteArray big;
        for (int i = 0; big.size() < 3 * 1000 * 1000; ++i)
            big += "WPT " + QByteArray::number(i % 977) + " 4711\n";
        m_world->publishPackage(CCommandWorld::mappingXml(4), {{QStringLiteral("wpt.dat"), big},
                                                               {QStringLiteral("navaids.dat"), QByteArray("n")},
                                                               {QStringLiteral("sid.dat"), QByteArray("s")}});
        rlimit before;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit limited = before;
        limited.rlim_cur = 1000 * 1000;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const CCommandWorld::Outcome outcome = m_world->update();
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previous);
        verifyUnchanged(outcome);
        QVERIFY2(allMessages(outcome).contains(QStringLiteral("waypoints.dat could not be written to the disk")),
                 qPrintable(allMessages(outcome)));
    }

    void packageThatWouldDoubleAFileIsRefused_data()
    {
        QTest::addColumn<bool>("twoEntries"); // else two records of the mapping
        QTest::newRow("two records, one destination") << false;
        QTest::newRow("two entries, one name on Windows") << true;
    }
    void packageThatWouldDoubleAFileIsRefused()
    {
        QFETCH(bool, twoEntries);
        const QByteArray doubled = "<mapping cycle=\"2612\" revision=\"4\"><sim simulator=\"USER\">"
                                   "<file source=\"wpt.dat\" destination=\"waypoints.dat\"/>"
                                   "<file source=\"sid.dat\" destination=\"WAYPOINTS.dat\"/></sim></mapping>";
        if (!twoEntries) {
            m_world->publishPackage(doubled, {{QStringLiteral("wpt.dat"), "a"}, {QStringLiteral("sid.dat"), "b"}});
        } else {
            const QString source = sandbox(QStringLiteral("doubled"));
            QVERIFY(QDir().mkpath(source));
            Zip zip;
            QCOMPARE(zip.create(m_world->service().rootPath() + QStringLiteral("/packages/probe.zip"), true), Zip::Ok);
            for (const auto& entry : {qMakePair(addonText() + QStringLiteral(".index"), CCommandWorld::mappingXml(4)),
                                      qMakePair(QStringLiteral("wpt.dat"), QByteArray("first")),
                                      qMakePair(QStringLiteral("WPT.DAT"), QByteArray("second"))}) {
                QFile file(source + QLatin1Char('/') + entry.first);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(entry.second) == entry.second.size());
                file.close();
                QCOMPARE(zip.addFileAs(file.fileName(), entry.first), Zip::Ok);
            }
            QCOMPARE(zip.close(), Zip::Ok);
        }
        const CCommandWorld::Outcome outcome = m_world->update();
        verifyUnchanged(outcome);
        QVERIFY2(allMessages(outcome).contains(twoEntries ? QStringLiteral("two entries named")
                                                          : QStringLiteral("puts two files at")),
                 qPrintable(allMessages(outcome)));
    }

    // What killed runs of this location left goes with the next command for it; nothing else does.
    void nextCommandRemovesLeftovers()
    {
        const QString backups = CIOUtils::backupFolder();
        const QString stamp = QStringLiteral("_20260101120000.bak");
        const QString working =
            CIOUtils::temporaryRoot() + QLatin1Char('/') + mappingText() + stamp + QStringLiteral("-k3");
        const QStringList gone{m_world->addonFolder() + QStringLiteral("/.tessaray-write-test-a1B2c3"),
                               backups + QStringLiteral("/.") + mappingText() + stamp + QStringLiteral(".Xy12.part"),
                               backups + QLatin1Char('/') + mappingText() + stamp + QStringLiteral(".mapping"),
                               working + QStringLiteral("/m"),
                               CIOUtils::downloadRoot() + QLatin1Char('/') + mappingText() +
                                   QStringLiteral("/probe.zip")};
        const QStringList kept{backups + QStringLiteral("/.other") + stamp + QStringLiteral(".Xy12.part"),
                               backups + QStringLiteral("/.tessaray-write-test-fresh"), // may be another's, running
                               CIOUtils::temporaryRoot() + QStringLiteral("/other_1-k3/m")};
        for (const QString& path : gone + kept) {
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(m_world->backup().completions, 1);
        for (const QString& path : gone)
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
        QVERIFY(!QFileInfo::exists(working));
        for (const QString& path : kept)
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    }

    // Folders on one volume share its free space; many small files take whole clusters.
    void oneBudgetPerVolumeInWholeClusters()
    {
        const qint64 available = QStorageInfo(m_world->addonFolder()).bytesAvailable();
        CPreflight::Budget budget;
        budget.add(m_world->addonFolder(), available / 10 * 6, QStringLiteral("new files"));
        QString problem;
        QVERIFY2(budget.check(&problem), qPrintable(problem));
        budget.add(CIOUtils::backupFolder(), available / 10 * 6, QStringLiteral("backup"));
        QVERIFY(!budget.check(&problem));
        QVERIFY2(problem.contains(QStringLiteral("new files and backup")), qPrintable(problem));

        QList<PlannedFile> files;
        QHash<QString, qint64> sizes;
        for (int i = 0; i < 50; ++i) {
            files.append(
                PlannedFile{QString::number(i), m_world->addonFolder() + QStringLiteral("/new/") + QString::number(i)});
            sizes.insert(QString::number(i), 10);
        }
        const qint64 cluster = QStorageInfo(m_world->addonFolder()).blockSize();
        QCOMPARE(CPreflight::installSpace(m_world->addonFolder(), files, sizes), 50 * qMax<qint64>(cluster, 10));
    }
};

QTEST_GUILESS_MAIN(TestHostileFileSystems)
#include "tst_hostilefs.moc"
