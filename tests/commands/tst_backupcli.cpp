#include "cclirun.h"
#include "ccommandworld.h"
#include "commands/cioutils.h"
#include "cscopedenvironment.h"
#include "ctestdevserver.h"
#include "ctestsandbox.h"
#include "zip/zip.h"

#include <QRandomGenerator>
#include <QtTest>

namespace
{
const QString addon = QStringLiteral("a7e1c6d2-5b43-4f0e-9c1a-2d3e4f5a6b7c");
const QString mapping = QStringLiteral("0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42");
const QStringList files = {QStringLiteral("wpt.dat"), QStringLiteral("navaids.dat")};

QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray mappingXml(int revision)
{
    QString xml = QStringLiteral("<mapping cycle=\"2612\" revision=\"%0\"><sim simulator=\"USER\">").arg(revision);
    for (const QString& file : files)
        xml += QStringLiteral("<file name=\"%0\"/>").arg(file);
    return (xml + QStringLiteral("</sim></mapping>")).toUtf8();
}
} // namespace

// The backup side of tessaray-cli as a shell runs it: what `backups` and `restore --latest` offer when a
// package is damaged, an update whose backup fails, and a backup list that can't be read.
class TestBackupCli : public QObject
{
    Q_OBJECT

private:
    CTestSandbox m_data;
    CScopedEnvironment m_environment;
    CTestDevServer m_service;

    QString folder() const { return m_data.filePath(QStringLiteral("addon")); }
    QString file(const QString& name) const { return folder() + QLatin1Char('/') + name; }
    QByteArray oldBytes(int i) const { return noise(4000, quint32(i + 1)); }
    QByteArray newBytes(int i) const { return noise(4000, quint32(i + 11)); }
    QStringList packages() const
    {
        return QDir(CIOUtils::backupFolder()).entryList({QStringLiteral("*.bak")}, QDir::Files, QDir::Name);
    }
    static CCliRun cli(QStringList arguments) { return CCliRun::run(arguments); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.isRunning());
        m_environment.set("TMPDIR", QFile::encodeName(m_data.filePath(QStringLiteral("tmp"))));
        QDir().mkpath(m_data.filePath(QStringLiteral("tmp")));
        QString problem;
        QVERIFY2(CCommandWorld::serveProbeIndex(m_service, &problem), qPrintable(problem));
        QDir().mkpath(m_service.rootPath() + QStringLiteral("/packages"));
        Zip zip;
        QCOMPARE(zip.create(m_service.rootPath() + QStringLiteral("/packages/probe.zip"), true), Zip::Ok);
        zip.addFileAs(m_data.writeFile(QStringLiteral("source/") + addon + QStringLiteral(".index"), mappingXml(4)),
                      addon + QStringLiteral(".index"));
        for (int i = 0; i < files.size(); ++i)
            zip.addFileAs(m_data.writeFile(QStringLiteral("source/") + files.at(i), newBytes(i)), files.at(i));
        QCOMPARE(zip.close(), Zip::Ok);
        m_data.writeFile(QStringLiteral("mapping.index"),
                         QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                                        "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                             .arg(addon, mapping, folder())
                             .toUtf8());
        const QStringList login{QStringLiteral("login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")};
        QCOMPARE(CCliRun::run(login, "demo-pass-2612\n").exitCode, 0);
    }

    void init()
    {
        QDir(folder()).removeRecursively();
        QDir(CIOUtils::backupFolder()).removeRecursively();
        for (int i = 0; i < files.size(); ++i)
            m_data.writeFile(QStringLiteral("addon/") + files.at(i), oldBytes(i));
        m_data.writeFile(QStringLiteral("addon/") + addon + QStringLiteral(".index"), mappingXml(3));
    }

    // A newest package damaged after its first 1024 bytes (so its recorded hash still matches) is named and
    // passed over: `backups` leaves it out, `restore --latest` restores the one before it.
    void damagedNewestBackupIsPassedOver()
    {
        QCOMPARE(cli({QStringLiteral("backup"), addon, mapping}).exitCode, 0);
        m_data.writeFile(QStringLiteral("addon/wpt.dat"), "second");
        QCOMPARE(cli({QStringLiteral("backup"), addon, mapping}).exitCode, 0);
        QCOMPARE(packages().size(), 2);
        const QString newest = CIOUtils::joinPath(CIOUtils::backupFolder(), packages().last());
        QFile package(newest);
        QVERIFY(package.size() > 3000 && package.open(QIODevice::ReadWrite) && package.seek(1500));
        const char flipped = char(package.peek(1).at(0) ^ 0x5a);
        package.write(&flipped, 1);
        package.close();

        const CCliRun listed = cli({QStringLiteral("backups"), addon, mapping});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out.count('\n'), 1);
        QVERIFY(!listed.out.contains(newest.toUtf8()));
        QVERIFY2(listed.err.contains(QStringLiteral("skipped, damaged backup ") + newest), qPrintable(listed.err));

        m_data.writeFile(QStringLiteral("addon/wpt.dat"), "third");
        const CCliRun restored = cli({QStringLiteral("restore"), addon, mapping, QStringLiteral("--latest")});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        QVERIFY2(restored.err.contains(newest), qPrintable(restored.err));
        QCOMPARE(CTestDataDir::readFile(file(QStringLiteral("wpt.dat"))), oldBytes(0));
    }

    // A file the backup can't read: the update stops with the backup's own error number, installs nothing
    // and says how to go on; with --no-backup it installs.
    void failedBackupStopsTheUpdate()
    {
        QVERIFY(QFile::remove(file(QStringLiteral("navaids.dat"))));
        QVERIFY(QFile::link(QStringLiteral("nowhere.dat"), file(QStringLiteral("navaids.dat"))));
        const CCliRun stopped = cli({QStringLiteral("update"), addon, mapping});
        QCOMPARE(stopped.exitCode, 1);
        QVERIFY2(stopped.err.contains(QStringLiteral("error 20: ")) &&
                     stopped.err.contains(QStringLiteral("--no-backup")),
                 qPrintable(stopped.err));
        QCOMPARE(CTestDataDir::readFile(file(QStringLiteral("wpt.dat"))), oldBytes(0));
        QCOMPARE(CTestDataDir::readFile(file(addon + QStringLiteral(".index"))), mappingXml(3));

        const CCliRun updated = cli({QStringLiteral("update"), addon, mapping, QStringLiteral("--no-backup")});
        QVERIFY2(updated.exitCode == 0, qPrintable(updated.err));
        for (int i = 0; i < files.size(); ++i)
            QCOMPARE(CTestDataDir::readFile(file(files.at(i))), newBytes(i));
        QVERIFY(packages().isEmpty());
    }

    // A backup list that can't be read fails the commands that need it, and no package is left unrecorded.
    void unreadableBackupListFailsTheCommand()
    {
        QDir().mkpath(CIOUtils::backupFolder());
        QFile list(CIOUtils::backupListFilePath());
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write("<backupfiles><addon") > 0);
        list.close();
        const CCliRun listed = cli({QStringLiteral("backups"), addon, mapping});
        QCOMPARE(listed.exitCode, 1);
        QVERIFY2(listed.err.contains(QStringLiteral("backup.index")), qPrintable(listed.err));
        QCOMPARE(cli({QStringLiteral("backup"), addon, mapping}).exitCode, 1);
        QVERIFY(packages().isEmpty());
        QCOMPARE(CTestDataDir::readFile(CIOUtils::backupListFilePath()), QByteArray("<backupfiles><addon"));
    }
};

QTEST_GUILESS_MAIN(TestBackupCli)
#include "tst_backupcli.moc"
