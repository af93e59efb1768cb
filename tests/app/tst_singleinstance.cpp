#include "cdatadirtest.h"
#include "foundation/csingleinstanceguard.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

// Starts the real program on the offscreen platform, as a user would start it twice.
class TestSingleInstance : public CDataDirTest
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (QProcess* process : qAsConst(m_processes)) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
        m_processes.clear();
        CDataDirTest::cleanup();
    }

    void secondStartQuits_data()
    {
        QTest::addColumn<bool>("lockFileDeleted");
        QTest::newRow("first one running") << false;
        // Nothing tells then that the segment found is not stale; taking it over would fail, and the second
        // copy must still refuse to run rather than exit quietly.
        QTest::newRow("first one's lock file deleted") << true;
    }
    void secondStartQuits()
    {
        QFETCH(bool, lockFileDeleted);
        QProcess* first = startProgram();
        QVERIFY(first->waitForStarted(10000));
        QVERIFY(waitForOutput(first, "Memory GUID"));
        if (lockFileDeleted)
            QVERIFY(QFile::remove(CSingleInstanceGuard::lockFilePath(CSingleInstanceGuard::DefaultKey)));

        QProcess* second = startProgram();
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 1);
        QVERIFY(second->readAllStandardError().contains("Multiple instance found. The program is now quit."));

        QVERIFY(keepsRunning(first, 500));
        // The refusal is a level-1 line: the threshold keeps it out of the log file.
        const QDir logs(data().filePath(QStringLiteral("logs")));
        for (const QString& name : logs.entryList(QDir::Files))
            QVERIFY(!CTestDataDir::readFile(logs.filePath(name)).contains("Multiple instance"));
    }

    void startAfterCrashRuns()
    {
        QProcess* first = startProgram();
        QVERIFY(first->waitForStarted(10000));
        QVERIFY(waitForOutput(first, "Memory GUID"));
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(10000));

        QProcess* next = startProgram();
        QVERIFY(next->waitForStarted(10000));
        QVERIFY(waitForOutput(next, "Memory GUID"));
        QVERIFY(keepsRunning(next, 500));

        // And a live instance still refuses the one after it.
        QProcess* another = startProgram();
        QVERIFY(another->waitForFinished(20000));
        QCOMPARE(another->exitCode(), 1);
    }

private:
    QProcess* startProgram()
    {
        auto* process = new QProcess();
        m_processes.append(process);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TESSARAY_DATA_DIR"), data().path());
        environment.insert(QStringLiteral("TESSARAY_REGISTRY_FILE"), data().registryFile());
        environment.insert(QStringLiteral("TESSARAY_LOG_ECHO"), QStringLiteral("1"));
        process->setProcessEnvironment(environment);
        process->start(qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/app/tessaray"), QStringList());
        return process;
    }

    static bool keepsRunning(QProcess* process, int milliseconds)
    {
        return !process->waitForFinished(milliseconds) && process->state() == QProcess::Running;
    }
    // Collects the process's stderr until `text` has appeared (the log lines are echoed there).

    static bool waitForOutput(QProcess* process, const QByteArray& text)
    {
        QByteArray collected;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000 && process->state() != QProcess::NotRunning) {
            process->waitForReadyRead(200);
            collected += process->readAllStandardError();
            if (collected.contains(text))
                return true;
        }
        return false;
    }

    QList<QProcess*> m_processes;
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
