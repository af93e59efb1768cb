#include "ctestdatadir.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

// Starts the real program on the offscreen platform, as a user would start it twice.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartQuits();
    void startAfterCrashRuns();

private:
    QProcess* startProgram();
    static bool keepsRunning(QProcess* process, int milliseconds);
    // Collects the process's stderr until `text` has appeared (the log lines are echoed there).
    static bool waitForOutput(QProcess* process, const QByteArray& text);

    std::unique_ptr<CTestDataDir> m_dir;
    QList<QProcess*> m_processes;
};

void TestSingleInstance::init()
{
    m_dir = std::make_unique<CTestDataDir>();
}

void TestSingleInstance::cleanup()
{
    for (QProcess* process : qAsConst(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        delete process;
    }
    m_processes.clear();
    m_dir.reset();
}

QProcess* TestSingleInstance::startProgram()
{
    auto* process = new QProcess();
    m_processes.append(process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TESSARAY_DATA_DIR"), m_dir->path());
    environment.insert(QStringLiteral("TESSARAY_REGISTRY_FILE"), m_dir->registryFile());
    environment.insert(QStringLiteral("TESSARAY_LOG_ECHO"), QStringLiteral("1"));
    process->setProcessEnvironment(environment);
    process->start(qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/app/tessaray"), QStringList());
    return process;
}

bool TestSingleInstance::keepsRunning(QProcess* process, int milliseconds)
{
    return !process->waitForFinished(milliseconds) && process->state() == QProcess::Running;
}

bool TestSingleInstance::waitForOutput(QProcess* process, const QByteArray& text)
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

void TestSingleInstance::secondStartQuits()
{
    QProcess* first = startProgram();
    QVERIFY(first->waitForStarted(10000));
    QVERIFY(waitForOutput(first, "Memory GUID"));

    QProcess* second = startProgram();
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);
    QVERIFY(second->readAllStandardError().contains("Multiple instance found. The program is now quit."));

    QVERIFY(keepsRunning(first, 500));
    // The refusal is a level-1 line: the threshold keeps it out of the log file.
    const QDir logs(m_dir->filePath(QStringLiteral("logs")));
    for (const QString& name : logs.entryList(QDir::Files))
        QVERIFY(!CTestDataDir::readFile(logs.filePath(name)).contains("Multiple instance"));
}

void TestSingleInstance::startAfterCrashRuns()
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

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
