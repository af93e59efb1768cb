#include "cclirun.h"
#include "commands/caddonstatus.h"
#include "commands/cinstalltransaction.h"
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
const QString addonText = addon.toString(QUuid::WithoutBraces);

struct Planned
{
    QString path;      // below the add-on folder
    QByteArray before; // empty: not there
    QByteArray after;
};
// A restore's files: one is new with it, and its file mapping (with the backup mark) goes last.
const QList<Planned> plan{{QStringLiteral("waypoints.dat"), "old wpt", "new wpt"},
                          {QStringLiteral("nav/navaids.dat"), "old nav", "new nav"},
                          {QStringLiteral("nav/proc/sid.txt"), "old sid", "new sid"},
                          {QStringLiteral("nav/added.dat"), "", "new added"},
                          {addonText + QStringLiteral(".index"), "<mapping cycle=\"2611\" revision=\"3\"/>",
                           "<mapping cycle=\"2611\" revision=\"2\" backup=\"1\"/>"}};
const int mappingIndex = plan.size() - 1;
} // namespace

// Installs and restores interrupted at every step (a kill leaves the transaction where it stood), their
// rollbacks killed and blocked, and what the next command and `status` make of each.
class TestInstallRecovery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestSandbox> m_data;

    QString folder() const { return m_data->filePath(QStringLiteral("addon")); }
    QString target(int index) const { return folder() + QLatin1Char('/') + plan.at(index).path; }
    QStringList leftovers() const
    {
        return QDir(folder()).entryList({QStringLiteral(".tessaray-install-*")},
                                        QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    // "old" or "new" when every file is whole and of that edition, else "mixed".
    QString installedEdition() const
    {
        QSet<QString> seen;
        for (int i = 0; i < plan.size(); ++i) {
            const QByteArray bytes = QFileInfo(target(i)).isFile() ? CTestDataDir::readFile(target(i)) : QByteArray();
            seen.insert(QLatin1String(bytes == plan.at(i).before ? "old" : bytes == plan.at(i).after ? "new" : "torn"));
        }
        return seen.size() == 1 ? *seen.begin() : QStringLiteral("mixed");
    }

    // A run staged whole and, when `journal`, prepared.
    void stage(CInstallTransaction& run, bool journal = true)
    {
        QString problem;
        QVERIFY2(run.begin(&problem), qPrintable(problem));
        QList<CInstallTransaction::File> files;
        for (int i = 0; i < plan.size(); ++i) {
            QFile staged(run.stagedPath(i));
            QVERIFY(staged.open(QIODevice::WriteOnly) && staged.write(plan.at(i).after) > 0);
            files.append(CInstallTransaction::File{run.stagedPath(i), target(i)});
        }
        if (journal)
            QVERIFY2(run.prepare(files, &problem), qPrintable(problem));
    }

    // Turns the file at `path` into a folder that no file can be renamed over.
    static void block(const QString& path)
    {
        QFile::remove(path);
        QVERIFY(QDir().mkpath(path + QStringLiteral("/in-the-way")));
    }

    // `tessaray-cli status --json`, which recovers first: the location's record.
    static QJsonObject cliStatus()
    {
        const CCliRun run =
            CCliRun::run({QStringLiteral("status"), QStringLiteral("--json"), QStringLiteral("--no-index-update")});
        return QJsonDocument::fromJson(run.out).array().at(0).toObject();
    }

private slots:
    void init()
    {
        m_data = std::make_unique<CTestSandbox>();
        for (const Planned& file : plan) {
            if (!file.before.isEmpty())
                m_data->writeFile(QStringLiteral("addon/") + file.path, file.before);
        }
        // The index's edition is the old one: it reads "updated".
        m_data->writeFile(QStringLiteral("data.index"),
                          QStringLiteral("<addonIndexes cycle=\"2611\" id=\"{5e44e40f-3003-4869-89f3-babd8f3a9dcc}\">"
                                         "<addon name=\"Probe\" guid=\"%0\" revision=\"3\"><mapping simulator=\"TOOL\">"
                                         "<directory path=\"[PROGRAMROOT]\"/></mapping></addon></addonIndexes>")
                              .arg(addonText)
                              .toUtf8());
        m_data->writeFile(QStringLiteral("mapping.index"),
                          QStringLiteral("<addonIndexes><addon name=\"Probe\" guid=\"%0\"><mapping simulator=\"TOOL\" "
                                         "mappingGuid=\"%1\"><directory path=\"%2\"/></mapping></addon></addonIndexes>")
                              .arg(addonText, mapping.toString(QUuid::WithoutBraces), folder())
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

    // The window's start completes an interrupted run as a command's does, without being asked to do anything.
    void windowStartFinishesAnInterruptedRun()
    {
        {
            CInstallTransaction run(folder(), mapping);
            stage(run);
            QString problem;
            QVERIFY2(run.commit(0, &problem), qPrintable(problem));
        } // killed after one file
        QCOMPARE(installedEdition(), QStringLiteral("mixed"));
        QProcess window;
        window.start(qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/app/tessaray"), QStringList());
        QVERIFY(window.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(leftovers(), QStringList(), 20000);
        window.terminate();
        QVERIFY(window.waitForFinished(10000));
        QCOMPARE(installedEdition(), QStringLiteral("new"));
    }

    // Journal paths name one place in any spelling, never a sibling that merely starts alike.
    void pathsComparedInOneSpelling()
    {
        QVERIFY(CInstallTransaction::isInside(QStringLiteral("C:/Sims/Addon/nav/a.dat"),
                                              QStringLiteral("c:\\Sims\\Addon")));
        QVERIFY(!CInstallTransaction::isInside(QStringLiteral("/x/addon2/a.dat"), QStringLiteral("/x/addon")));
    }

    // A restore left at each step; `swapped` files went in first (-1: killed before its journal, 99: killed
    // while rolling back). The next command finishes it in the journal's direction, removes every staging
    // folder (a link planted among them is removed, never followed), and `status` reads only then.
    void interruptedRunIsFinishedByTheNextCommand_data()
    {
        QTest::addColumn<int>("swapped");
        QTest::newRow("killed while staging") << -1;
        QTest::newRow("killed after the journal") << 0;
        QTest::newRow("killed after one file") << 1;
        QTest::newRow("killed before the file mapping") << mappingIndex;
        QTest::newRow("killed after the last file") << mappingIndex + 1;
        QTest::newRow("killed while rolling back") << 99;
    }
    void interruptedRunIsFinishedByTheNextCommand()
    {
        QFETCH(int, swapped);
        const bool forward = swapped >= 0 && swapped != 99;
        const QString outside = m_data->writeFile(QStringLiteral("outside/keep.dat"), "keep");
        QVERIFY(QFile::link(QFileInfo(outside).path(), folder() + QStringLiteral("/.tessaray-install-planted")));
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
                QTRY_COMPARE_WITH_TIMEOUT(CTestDataDir::readFile(target(mappingIndex)), plan.last().before, 5000);
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
                QVERIFY(QDir(target(2)).removeRecursively());
            }
        } // killed: the run goes without a word
        // Mixed or not, never taken for the edition the file mapping names.
        QCOMPARE(CAddonStatus::of(addon, mapping).state == AddonStatus::Interrupted, swapped >= 0);
        QCOMPARE(cliStatus().value(QStringLiteral("status")).toString(),
                 forward ? QStringLiteral("restored") : QStringLiteral("updated"));
        QCOMPARE(installedEdition(), forward ? QStringLiteral("new") : QStringLiteral("old"));
        QCOMPARE(leftovers(), QStringList()); // no journal either: it is named like its staging folder
        QCOMPARE(CTestDataDir::readFile(outside), QByteArray("keep"));
    }

    // A put-back that fails is retried; one that keeps failing leaves the journal and the old file, the
    // message says where that is, and `status` reads "interrupted" with why until the next command can
    // finish the rollback.
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
            QCOMPARE(CTestDataDir::readFile(kept), plan.first().before);
            const QJsonObject pending = cliStatus();
            QCOMPARE(pending.value(QStringLiteral("status")).toString(), QStringLiteral("interrupted"));
            QVERIFY2(pending.value(QStringLiteral("reason")).toString().contains(QDir::toNativeSeparators(kept)),
                     qPrintable(pending.value(QStringLiteral("reason")).toString()));
            QVERIFY(CAddonStatus::of(addon, mapping).needsUpdate());
            QVERIFY(QDir(target(0)).removeRecursively());
            QCOMPARE(cliStatus().value(QStringLiteral("status")).toString(), QStringLiteral("updated"));
        }
        QCOMPARE(installedEdition(), QStringLiteral("old"));
        QCOMPARE(leftovers(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestInstallRecovery)
#include "tst_installrecovery.moc"
