#include "cclirun.h"
#include "commands/caddonstatus.h"
#include "commands/cinstallrecovery.h"
#include "commands/cinstalltransaction.h"
#include "commands/cioutils.h"
#include "ctestsandbox.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "foundation/cdatalocations.h"
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>
#include <thread>

namespace
{
const QUuid addon(QStringLiteral("{a7e1c6d2-5b43-4f0e-9c1a-2d3e4f5a6b7c}"));
const QUuid mapping(QStringLiteral("{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}"));
// What the add-on folder holds before the run; the run adds nav/added.dat, and its file mapping goes last.
const QStringList files{QStringLiteral("waypoints.dat"), QStringLiteral("nav/navaids.dat"),
                        QStringLiteral("nav/proc/sid.txt"), QStringLiteral("nav/added.dat")};
constexpr int mappingIndex = 4;

QByteArray mappingXml(bool backup)
{
    return QByteArray("<mapping cycle=\"2611\" revision=\"") + (backup ? "2\" backup=\"1\"" : "3\"") +
           "><sim simulator=\"USER\"><file name=\"waypoints.dat\"/></sim></mapping>";
}
} // namespace

// Installs and restores interrupted at every step (a kill is the transaction left where it stood), their
// rollbacks killed and blocked, and what the next command and `status` make of each.
class TestInstallRecovery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestSandbox> m_data;

    QString folder() const { return m_data->filePath(QStringLiteral("addon")); }
    QString target(int index) const
    {
        return index == mappingIndex ? CIOUtils::installedIndexPath(folder(), addon)
                                     : folder() + QLatin1Char('/') + files.at(index);
    }
    static QByteArray oldBytes(int index)
    {
        return index == mappingIndex ? mappingXml(false) : "old " + files.at(index).toUtf8();
    }
    static QByteArray newBytes(int index)
    {
        return index == mappingIndex ? mappingXml(true) : "new " + files.at(index).toUtf8();
    }

    // Each file is whole and of one edition; "old", "new", or what is wrong.
    QString installedEdition() const
    {
        QStringList seen;
        for (int i = 0; i <= mappingIndex; ++i) {
            const bool existed = i != 3; // nav/added.dat is new with the run
            const QByteArray bytes = CTestDataDir::readFile(target(i));
            const bool isOld =
                existed ? bytes == oldBytes(i) && QFileInfo(target(i)).isFile() : !QFileInfo::exists(target(i));
            seen.append(isOld                  ? QStringLiteral("old")
                        : bytes == newBytes(i) ? QStringLiteral("new")
                                               : files.value(i) + QStringLiteral(" torn"));
        }
        seen.removeDuplicates();
        return seen.size() == 1 ? seen.first() : QStringLiteral("mixed: ") + seen.join(QLatin1Char(' '));
    }

    // A run staged whole; prepared (journaled) unless `journal` is false.
    void stage(CInstallTransaction& run, bool journal = true)
    {
        QString problem;
        QVERIFY2(run.begin(&problem), qPrintable(problem));
        QList<CInstallTransaction::File> plan;
        for (int i = 0; i <= mappingIndex; ++i) {
            QFile staged(run.stagedPath(i));
            QVERIFY(staged.open(QIODevice::WriteOnly) && staged.write(newBytes(i)) > 0);
            plan.append(CInstallTransaction::File{run.stagedPath(i), target(i)});
        }
        if (journal)
            QVERIFY2(run.prepare(plan, &problem), qPrintable(problem));
    }

    // Turns the file at `path` into a folder that no file can be renamed over.
    static void block(const QString& path)
    {
        QFile::remove(path);
        QVERIFY(QDir().mkpath(path + QStringLiteral("/in-the-way")));
    }

    bool isPending() const { return !CInstallTransaction::pendingJournals(folder()).isEmpty(); }

    // `tessaray-cli status --json` (which recovers first): the location's status and reason.
    QJsonObject cliStatus() const
    {
        const CCliRun run =
            CCliRun::run({QStringLiteral("status"), QStringLiteral("--json"), QStringLiteral("--no-index-update")});
        if (run.exitCode != 0)
            qWarning().noquote() << run.err;
        return QJsonDocument::fromJson(run.out).array().at(0).toObject();
    }

private slots:
    void init()
    {
        m_data = std::make_unique<CTestSandbox>();
        for (int i = 0; i <= mappingIndex; ++i) {
            if (i != 3)
                m_data->writeFile(QStringLiteral("addon/") +
                                      (i == mappingIndex ? QFileInfo(target(i)).fileName() : files.at(i)),
                                  oldBytes(i));
        }
        // The data index lists cycle 2611 revision 3: the old edition reads "updated".
        m_data->writeFile(
            QStringLiteral("data.index"),
            QStringLiteral(
                "<addonIndexes cycle=\"2611\" id=\"{5e44e40f-3003-4869-89f3-babd8f3a9dcc}\" internalId=\"int\">"
                "<addon name=\"Probe\" guid=\"%0\" revision=\"3\" masterfile=\"probe.zip\">"
                "<mapping simulator=\"TOOL\"><directory path=\"[PROGRAMROOT]\"/></mapping></addon>"
                "</addonIndexes>")
                .arg(addon.toString(QUuid::WithoutBraces))
                .toUtf8());
        m_data->writeFile(
            QStringLiteral("mapping.index"),
            QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                           "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                .arg(addon.toString(QUuid::WithoutBraces), mapping.toString(QUuid::WithoutBraces), folder())
                .toUtf8());
        CDataIndex* index = CDataIndex::instance();
        CDataIndexSerializer reader;
        QObject::connect(&reader, &CDataIndexSerializer::addonFound, index, &CDataIndex::addSupportedAddon);
        reader.deserialize(CDataLocations::dataIndexFilePath());
        Exception error;
        QVERIFY2(index->loadMappedAddons(CDataLocations::mappingListFilePath(), &error), qPrintable(error.message));
        QCOMPARE(CAddonStatus::of(addon, mapping).state, AddonStatus::Updated);
    }
    void cleanup()
    {
        CDataIndex::resetInstance();
        m_data.reset();
    }

    void pathsComparedInOneSpelling_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inside");
        QTest::newRow("drive letter in the other case") << "C:/Sims/Addon/nav/a.dat"
                                                        << "c:\\Sims\\Addon" << true;
        QTest::newRow("dots and a trailing separator") << "/x/addon/./nav/../a.dat"
                                                       << "/x/addon/" << true;
        QTest::newRow("a sibling whose name starts alike") << "/x/addon2/a.dat"
                                                           << "/x/addon" << false;
        QTest::newRow("climbing out") << "/x/addon/../other/a.dat"
                                      << "/x/addon" << false;
        QTest::newRow("the folder itself") << "/x/addon/"
                                           << "/x/addon" << false;
    }
    void pathsComparedInOneSpelling()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, inside);
        QCOMPARE(CInstallTransaction::isInside(path, folder), inside);
    }

    // A restore left at each step; `swapped` files went in first (-1: killed before its journal, 99: killed
    // while rolling back). The next command finishes it in the journal's direction, removes every staging
    // folder (a link planted among them is removed, never followed), and `status` reads only then.
    void interruptedRunIsFinishedByTheNextCommand_data()
    {
        QTest::addColumn<int>("swapped");
        QTest::addColumn<QString>("edition");
        QTest::addColumn<QString>("status");
        QTest::newRow("killed while staging") << -1 << "old"
                                              << "updated";
        QTest::newRow("killed after the journal") << 0 << "new"
                                                  << "restored";
        QTest::newRow("killed after one file") << 1 << "new"
                                               << "restored";
        QTest::newRow("killed before the file mapping") << mappingIndex << "new"
                                                        << "restored";
        QTest::newRow("killed after the last file") << mappingIndex + 1 << "new"
                                                    << "restored";
        QTest::newRow("killed while rolling back") << 99 << "old"
                                                   << "updated";
    }
    void interruptedRunIsFinishedByTheNextCommand()
    {
        QFETCH(int, swapped);
        QFETCH(QString, edition);
        QFETCH(QString, status);
        const QString outside = m_data->writeFile(QStringLiteral("outside/keep.dat"), "keep");
        QVERIFY(
            QFile::link(QFileInfo(outside).absolutePath(), folder() + QStringLiteral("/.tessaray-install-planted")));
        {
            CInstallTransaction run(folder(), mapping);
            stage(run, swapped >= 0);
            QString problem;
            for (int i = 0; i < qMin(swapped, mappingIndex + 1); ++i)
                QVERIFY2(run.commit(i, &problem), qPrintable(problem));
            if (swapped == 99) {
                // The put-back of sid.txt is retried while the process is killed: the journal says
                // "rollback", the file mapping is back and the rest are not.
                block(target(2));
                const pid_t child = fork();
                if (child == 0) {
                    run.rollback(&problem);
                    _exit(0);
                }
                QTRY_VERIFY_WITH_TIMEOUT(CTestDataDir::readFile(run.journalPath()).contains("\"rollback\""), 5000);
                QTRY_COMPARE_WITH_TIMEOUT(CTestDataDir::readFile(target(mappingIndex)), oldBytes(mappingIndex), 5000);
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
                QVERIFY(QDir(target(2)).removeRecursively());
            }
        } // killed: the run goes without a word
        if (swapped >= 0) {
            // Mixed or not, never taken for the edition the file mapping names.
            QCOMPARE(CAddonStatus::of(addon, mapping).state, AddonStatus::Interrupted);
        }
        const QJsonObject after = cliStatus();
        QCOMPARE(after.value(QStringLiteral("status")).toString(), status);
        QCOMPARE(installedEdition(), edition);
        QVERIFY(!isPending());
        QCOMPARE(QDir(folder()).entryList({QStringLiteral(".tessaray-install-*")},
                                          QDir::AllEntries | QDir::Hidden | QDir::System),
                 QStringList());
        QCOMPARE(CTestDataDir::readFile(outside), QByteArray("keep"));
    }

    // A run that recovery can't finish stays pending, and `status` says so and why, whatever the files say.
    void unfinishableRunReadsInterrupted()
    {
        {
            CInstallTransaction run(folder(), mapping);
            stage(run);
            QString problem;
            QVERIFY(run.commit(0, &problem));
        }
        block(target(1));
        const QJsonObject after = cliStatus();
        QCOMPARE(after.value(QStringLiteral("status")).toString(), QStringLiteral("interrupted"));
        QVERIFY2(after.value(QStringLiteral("reason")).toString().contains(QDir::toNativeSeparators(target(1))),
                 qPrintable(after.value(QStringLiteral("reason")).toString()));
        QVERIFY(isPending());
        QVERIFY(CAddonStatus::of(addon, mapping).needsUpdate());

        QVERIFY(QDir(target(1)).removeRecursively());
        QCOMPARE(cliStatus().value(QStringLiteral("status")).toString(), QStringLiteral("restored"));
        QCOMPARE(installedEdition(), QStringLiteral("new"));
    }

    // A put-back that fails is retried; one that keeps failing leaves the journal and the old file, and the
    // message says where that is. The next command finishes the rollback.
    void failedPutBackKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("clearedWhileRetried");
        QTest::newRow("cleared while retried") << true;
        QTest::newRow("still in the way") << false;
    }
    void failedPutBackKeepsTheOldFile()
    {
        QFETCH(bool, clearedWhileRetried);
        CInstallTransaction run(folder(), mapping);
        stage(run);
        QString problem;
        for (int i = 0; i <= mappingIndex; ++i)
            QVERIFY2(run.commit(i, &problem), qPrintable(problem));
        block(target(0));
        std::thread clearer;
        if (clearedWhileRetried)
            clearer = std::thread([this]() {
                QThread::msleep(300);
                QDir(target(0)).removeRecursively();
            });
        const bool rolledBack = run.rollback(&problem);
        if (clearer.joinable())
            clearer.join();
        QCOMPARE(rolledBack, clearedWhileRetried);
        if (!clearedWhileRetried) {
            const QString kept = run.stagingFolder() + QStringLiteral("/old/0");
            QVERIFY2(problem.contains(QDir::toNativeSeparators(kept)), qPrintable(problem));
            QCOMPARE(CTestDataDir::readFile(kept), oldBytes(0));
            QVERIFY(isPending());
            QVERIFY(QDir(target(0)).removeRecursively());
            QVERIFY2(CInstallRecovery::recoverFolder(folder(), &problem), qPrintable(problem));
        }
        QCOMPARE(installedEdition(), QStringLiteral("old"));
        QVERIFY(!isPending());
        QVERIFY(!QFileInfo::exists(run.stagingFolder()));
    }
};

QTEST_GUILESS_MAIN(TestInstallRecovery)
#include "tst_installrecovery.moc"
