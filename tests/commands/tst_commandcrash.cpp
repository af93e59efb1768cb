#include "cclirun.h"
#include "ccommandworld.h"
#include "commands/cioutils.h"
#include "cscopedenvironment.h"
#include "ctestdevserver.h"
#include "ctestsandbox.h"
#include "foundation/csettings.h"
#include "zip/zip.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace
{
const QString addon = QStringLiteral("a7e1c6d2-5b43-4f0e-9c1a-2d3e4f5a6b7c");
const QString mapping = QStringLiteral("0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42");
const QStringList files = {QStringLiteral("big1.dat"), QStringLiteral("big2.dat"), QStringLiteral("small.dat")};

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

// tessaray-cli update killed (-9) while it downloads, while it backs up and while it installs, each time
// started again: no installed file is ever missing or torn, no half-written backup is listed, and the last
// run leaves the add-on updated, byte for byte.
class TestCommandCrash : public QObject
{
    Q_OBJECT

private:
    CTestSandbox m_data;
    CScopedEnvironment m_environment;
    CTestDevServer m_service;
    QMap<QString, QByteArray> m_old;
    QMap<QString, QByteArray> m_new;

    QString folder() const { return m_data.filePath(QStringLiteral("addon")); }

    // Runs "update"; with `killAt`, kills the process as soon as it reports that phase. The exit code, or -1
    // when it was killed.
    int update(const QString& killAt)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(CCliRun::program(), {QStringLiteral("update"), addon, mapping, QStringLiteral("--force")});
        if (!process.waitForStarted())
            return -2;
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 120000) {
            process.waitForReadyRead(50);
            seen += process.readAllStandardError();
            if (!killAt.isEmpty() && seen.contains(killAt.toUtf8())) {
                process.kill();
                process.waitForFinished();
                return -1;
            }
        }
        process.waitForFinished();
        seen += process.readAllStandardError();
        if (!killAt.isEmpty())
            qWarning().noquote() << "never reported" << killAt << ":" << QString::fromUtf8(seen);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qWarning().noquote() << "update ended" << process.exitStatus() << process.exitCode() << ":"
                                 << QString::fromUtf8(seen.right(20000));
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    }

    // Every installed file is there, whole: the old edition's bytes or the new one's.
    QString checkInstalled() const
    {
        for (const QString& file : files) {
            const QByteArray bytes = CTestDataDir::readFile(folder() + QLatin1Char('/') + file);
            if (bytes != m_old.value(file) && bytes != m_new.value(file))
                return file + (bytes.isEmpty() ? QStringLiteral(" is missing") : QStringLiteral(" is torn"));
        }
        return QString();
    }

    // Every backup the command line lists reads back whole.
    QString checkListedBackups() const
    {
        const QByteArray list = CCliRun::run({QStringLiteral("backups"), addon, mapping}).out;
        for (const QString& line : QString::fromUtf8(list).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (CCliRun::run({QStringLiteral("zip"), QStringLiteral("list"), line.section(QLatin1Char('\t'), 3)})
                    .exitCode != 0)
                return QStringLiteral("listed backup unreadable: ") + line;
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.isRunning());
        m_environment.set("TMPDIR", QFile::encodeName(m_data.filePath(QStringLiteral("tmp"))));
        QDir().mkpath(m_data.filePath(QStringLiteral("tmp")));
        QString problem;
        QVERIFY2(CCommandWorld::serveProbeIndex(m_service, &problem), qPrintable(problem));

        // Large enough that each phase lasts a moment: incompressible data, a slow server.
        quint32 seed = 1;
        for (const QString& file : files) {
            const int size = file.startsWith(QLatin1String("big")) ? 12 * 1000 * 1000 : 4000;
            m_old.insert(file, noise(size, seed++));
            m_new.insert(file, noise(size, seed++));
            m_data.writeFile(QStringLiteral("addon/") + file, m_old.value(file));
        }
        m_data.writeFile(QStringLiteral("addon/") + addon + QStringLiteral(".index"), mappingXml(3));
        QDir().mkpath(m_service.rootPath() + QStringLiteral("/packages"));
        Zip zip;
        QCOMPARE(zip.create(m_service.rootPath() + QStringLiteral("/packages/probe.zip"), true), Zip::Ok);
        zip.addFileAs(m_data.writeFile(QStringLiteral("source/") + addon + QStringLiteral(".index"), mappingXml(4)),
                      addon + QStringLiteral(".index"));
        for (const QString& file : files)
            zip.addFileAs(m_data.writeFile(QStringLiteral("source/") + file, m_new.value(file)), file);
        QCOMPARE(zip.close(), Zip::Ok);
        m_data.writeFile(QStringLiteral("mapping.index"),
                         QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                                        "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                             .arg(addon, mapping, folder())
                             .toUtf8());
        CDevServerFault slow;
        slow.method = QStringLiteral("GET");
        slow.bytesPerSecond = 8 * 1000 * 1000;
        m_service->setFault(QStringLiteral("/packages/probe.zip"), slow);

        const QStringList login{QStringLiteral("login"), QStringLiteral("demo"), QStringLiteral("--password-stdin")};
        QCOMPARE(CCliRun::run(login, "demo-pass-2612\n").exitCode, 0);
    }

    // A second command on the location that an update works on refuses at once, says why and exits 1; the
    // update goes on undisturbed. Runs first: the update leaves a backup for the restore of the next row.
    void secondCommandOnOneLocationRefuses_data()
    {
        QTest::addColumn<QStringList>("second");
        QTest::newRow("backup") << QStringList{QStringLiteral("backup"), addon, mapping};
        QTest::newRow("restore") << QStringList{QStringLiteral("restore"), addon, mapping, QStringLiteral("--latest")};
        QTest::newRow("update") << QStringList{QStringLiteral("update"), addon, mapping, QStringLiteral("--force")};
    }
    void secondCommandOnOneLocationRefuses()
    {
        QFETCH(QStringList, second);
        QProcess first;
        first.start(CCliRun::program(), {QStringLiteral("update"), addon, mapping, QStringLiteral("--force")});
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (!seen.contains("downloading") && first.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
            first.waitForReadyRead(50);
            seen += first.readAllStandardError();
        }
        QVERIFY2(seen.contains("downloading"), seen.constData());

        const CCliRun refused = CCliRun::run(second);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("error 20: Probe (TOOL): another copy of the program is working "
                                                     "on Probe")),
                 qPrintable(refused.err));
        QVERIFY(first.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        for (const QString& file : files)
            QVERIFY2(CTestDataDir::readFile(folder() + QLatin1Char('/') + file) == m_new.value(file), qPrintable(file));
    }

    void killedAtEveryPhaseAndStartedAgain()
    {
        for (const QString& phase :
             {QStringLiteral("downloading"), QStringLiteral("backing up"), QStringLiteral("installing")}) {
            QCOMPARE(update(phase), -1);
            QVERIFY2(checkInstalled().isEmpty(), qPrintable(phase + QStringLiteral(": ") + checkInstalled()));
            QVERIFY2(checkListedBackups().isEmpty(), qPrintable(checkListedBackups()));
        }
        QCOMPARE(update(QString()), 0);
        for (const QString& file : files)
            QVERIFY2(CTestDataDir::readFile(folder() + QLatin1Char('/') + file) == m_new.value(file), qPrintable(file));
        QCOMPARE(CTestDataDir::readFile(folder() + QLatin1Char('/') + addon + QStringLiteral(".index")), mappingXml(4));
        QVERIFY(QDir(folder())
                    .entryList({QStringLiteral(".tessaray-install-*")}, QDir::AllEntries | QDir::Hidden)
                    .isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandCrash)
#include "tst_commandcrash.moc"
