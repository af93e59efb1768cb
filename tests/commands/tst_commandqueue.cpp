#include "cdatadirtest.h"
#include "commands/clocationlock.h"
#include "commands/cprogramcommandqueue.h"
#include "commands/cqueueable.h"
#include "ctestdatadir.h"
#include "foundation/clogger.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace
{

// What the commands of one test did, written from their threads.
struct Journal
{
    QMutex mutex;
    QStringList started;
    QStringList finished;
    QList<QThread*> threads;
    int running = 0;
    int mostAtOnce = 0;

    void begin(const QString& name)
    {
        QMutexLocker locker(&mutex);
        mostAtOnce = std::max(mostAtOnce, ++running);
        started.append(name);
        threads.append(QThread::currentThread());
    }
    void end(const QString& name)
    {
        QMutexLocker locker(&mutex);
        --running;
        finished.append(name);
    }
    int finishedCount()
    {
        QMutexLocker locker(&mutex);
        return finished.size();
    }
    bool hasStarted(const QString& name)
    {
        QMutexLocker locker(&mutex);
        return started.contains(name);
    }
};

// A command that works for a while on its thread, polling its cancel flag like the real ones.
class ProbeCommand : public CQueueable
{
    Q_OBJECT

public:
    ProbeCommand(const QString& name, const CommandInfo& info, Journal* journal, int workMs)
        : CQueueable(nullptr, new CommandInfo(info))
        , m_name(name)
        , m_journal(journal)
        , m_workMs(workMs)
    {
    }

    void run() override
    {
        emit taskStarted(this);
        m_journal->begin(m_name);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < m_workMs && !isStopRequested())
            QThread::msleep(2);
        if (isStopRequested())
            reportCancel(BV_EXCEPTION(1, 6, QStringLiteral("User canceled.")));
        m_journal->end(m_name);
        complete();
        complete(); // a command completes once, however often it says so
    }

    // The folder whose lock the command needs before it may start; none when empty.
    void setLocation(const QString& folder) { m_lock = std::make_unique<CLocationLock>(folder); }
    bool reserve() override { return !m_lock || m_lock->tryLock(); }

protected:
    void releaseReservation() override
    {
        if (m_lock)
            m_lock->unlock();
    }

private:
    QString m_name;
    Journal* m_journal;
    int m_workMs;
    std::unique_ptr<CLocationLock> m_lock;
};

CommandInfo infoFor(int addon, int mapping, int type = Backup)
{
    return CommandInfo(QUuid(uint(addon), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                       QUuid(uint(mapping), 1, 0, 0, 0, 0, 0, 0, 0, 0, 0), type);
}

} // namespace

class TestCommandQueue : public CDataDirTest
{
    Q_OBJECT

private slots:
    void init()
    {
        CDataDirTest::init();
        // Commands of the test before have ended with its queue.
        m_journal.started.clear();
        m_journal.finished.clear();
        m_journal.threads.clear();
        m_completions.clear();
    }

    void runsInOrderOneAtATimeOnOwnThreads()
    {
        CProgramCommandQueue queue;
        QSignalSpy started(&queue, &CProgramCommandQueue::taskStarted);
        QPointer<ProbeCommand> first = add(queue, QStringLiteral("A"), infoFor(1, 1, Update), 60);
        add(queue, QStringLiteral("B"), infoFor(2, 2, Backup), 60);
        add(queue, QStringLiteral("C"), infoFor(3, 3, Restore), 60);
        QVERIFY(first);

        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), 3, 10000);
        QCOMPARE(m_journal.started, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        QCOMPARE(m_journal.finished, m_journal.started);
        QCOMPARE(m_journal.mostAtOnce, 1);
        QCOMPARE(started.count(), 3);

        QSet<QThread*> threads(m_journal.threads.begin(), m_journal.threads.end());
        QCOMPARE(threads.size(), 3);
        QVERIFY(!threads.contains(QThread::currentThread()));
        // Done commands are deleted on their threads, which then end.
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!queue.isRunning(), 5000);
    }

    void refusesDuplicates()
    {
        CProgramCommandQueue queue;
        QVERIFY(add(queue, QStringLiteral("backup"), infoFor(7, 7, Backup), 300));
        // Same mapping, other command type: still the same key.
        QVERIFY(!add(queue, QStringLiteral("update"), infoFor(7, 7, Update), 10));
        // Same add-on, other mapping: a different key.
        QVERIFY(add(queue, QStringLiteral("other mapping"), infoFor(7, 8, Backup), 10));

        QTRY_VERIFY_WITH_TIMEOUT(m_journal.hasStarted(QStringLiteral("backup")), 5000);
        QVERIFY(!add(queue, QStringLiteral("while running"), infoFor(7, 7, Backup), 10));

        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!queue.isRunning(), 5000);
        QVERIFY(add(queue, QStringLiteral("after done"), infoFor(7, 7, Backup), 10));
        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), 3, 10000);
    }

    void cancelsWaitingCommand()
    {
        CProgramCommandQueue queue;
        QSignalSpy removed(&queue, &CProgramCommandQueue::taskRemoved);
        add(queue, QStringLiteral("long"), infoFor(1, 1), 300);
        QPointer<ProbeCommand> waiting = add(queue, QStringLiteral("waiting"), infoFor(2, 2), 10);
        add(queue, QStringLiteral("last"), infoFor(3, 3), 10);

        QVERIFY(!queue.removeTask(infoFor(9, 9))); // not queued
        QVERIFY(queue.removeTask(infoFor(2, 2)));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(queue.waitingCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(waiting.isNull(), 5000);

        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), 2, 10000);
        QCOMPARE(m_journal.started, (QStringList{QStringLiteral("long"), QStringLiteral("last")}));
    }

    void cancelsRunningCommand()
    {
        CProgramCommandQueue queue;
        ProbeCommand* running = add(queue, QStringLiteral("endless"), infoFor(4, 4), 60000);
        QSignalSpy errors(running, &CQueueable::taskError);
        QTRY_VERIFY_WITH_TIMEOUT(m_journal.hasStarted(QStringLiteral("endless")), 5000);

        QVERIFY(queue.removeTask(infoFor(4, 4)));
        // It stays in the queue until it reports completion by itself.
        QVERIFY(queue.isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(m_completions.size(), 1, 5000);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().value<Exception>().message, QStringLiteral("User canceled."));
        QVERIFY(!queue.isRunning());
    }

    void findsRunningUpdates_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("found");
        QTest::newRow("update") << int(Update) << 1;
        QTest::newRow("backup") << int(Backup) << 0;
    }
    void findsRunningUpdates()
    {
        QFETCH(int, type);
        QFETCH(int, found);
        CProgramCommandQueue queue;
        QSignalSpy spy(&queue, &CProgramCommandQueue::onUpdateRemovalItemFound);
        add(queue, QStringLiteral("running"), infoFor(5, 5, type), 60000);
        add(queue, QStringLiteral("waiting update"), infoFor(6, 6, Update), 10);
        QTRY_VERIFY_WITH_TIMEOUT(m_journal.hasStarted(QStringLiteral("running")), 5000);

        queue.findRunningUpdates();
        QCOMPARE(spy.count(), found);
        if (found)
            QCOMPARE(spy.first().first().value<CommandInfo>().key(), infoFor(5, 5).key());

        queue.removeTask(infoFor(5, 5));
        QTRY_VERIFY_WITH_TIMEOUT(m_journal.hasStarted(QStringLiteral("waiting update")), 5000);
        queue.removeTask(infoFor(6, 6));
        QTRY_VERIFY_WITH_TIMEOUT(!queue.isRunning() && queue.waitingCount() == 0, 5000);
    }

    // A command whose location another copy of the program works on waits while the others run, and goes
    // once the location is free; a command line (no waiting) has it start, and refuse, in its turn.
    void busyLocation_data()
    {
        QTest::addColumn<bool>("wait");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("the window waits")
            << true << QStringList{QStringLiteral("other add-on"), QStringLiteral("busy")};
        QTest::newRow("the command line does not")
            << false << QStringList{QStringLiteral("busy"), QStringLiteral("other add-on")};
    }
    void busyLocation()
    {
        QFETCH(bool, wait);
        QFETCH(QStringList, order);
        const QString folder = data().filePath(QStringLiteral("addon"));
        CLocationLock otherCopy(folder);
        QVERIFY(otherCopy.tryLock());

        CProgramCommandQueue queue;
        queue.setWaitForBusyLocations(wait);
        QSignalSpy waiting(&queue, &CProgramCommandQueue::taskWaiting);
        auto* busy = new ProbeCommand(QStringLiteral("busy"), infoFor(1, 1), &m_journal, 10);
        busy->setLocation(folder);
        connect(busy, &CQueueable::taskCompleted, &queue, [&queue](CQueueable* task) { queue.taskDone(task); });
        QVERIFY(queue.addTask(busy));
        add(queue, QStringLiteral("other add-on"), infoFor(2, 2), 300);

        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), wait ? 1 : 2, 5000);
        QTest::qWait(3 * CProgramCommandQueue::PollInterval); // polls that find the location still busy
        QCOMPARE(waiting.count(), wait ? 1 : 0);
        otherCopy.unlock();
        QTRY_COMPARE_WITH_TIMEOUT(m_journal.finishedCount(), 2, 5000);
        QCOMPARE(m_journal.started, order);
    }

    void destructionDeletesWaitingCommands()
    {
        QPointer<ProbeCommand> a;
        QPointer<ProbeCommand> b;
        {
            CProgramCommandQueue queue;
            a = add(queue, QStringLiteral("a"), infoFor(1, 2), 10);
            b = add(queue, QStringLiteral("b"), infoFor(3, 4), 10);
        }
        QVERIFY(a.isNull());
        QVERIFY(b.isNull());
    }

private:
    // Plays the window model: hands every completed command back to the queue.
    // Null when the queue refuses the command.

    ProbeCommand* add(CProgramCommandQueue& queue, const QString& name, const CommandInfo& info, int workMs)
    {
        auto* command = new ProbeCommand(name, info, &m_journal, workMs);
        connect(command, &CQueueable::taskCompleted, &queue, [&queue, this](CQueueable* task) {
            m_completions.append(1);
            queue.taskDone(task);
        });
        if (queue.addTask(command))
            return command;
        delete command;
        return nullptr;
    }

    Journal m_journal;
    QList<int> m_completions;
};

QTEST_GUILESS_MAIN(TestCommandQueue)
#include "tst_commandqueue.moc"
