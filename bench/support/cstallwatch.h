#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

// How long the event loop of the thread it lives on could not answer: the longest gap between the ticks of a
// 1 ms timer, which on the GUI thread is what a user feels as a frozen window. The benchmarks of the model
// and of the data index and the window share it.
class CStallWatch
{
public:
    CStallWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() { tick(); });
    }

    void start()
    {
        m_longest = 0;
        m_last = 0;
        m_ticks = 0;
        m_clock.start();
        m_timer.start(1);
    }
    // Stops the watch; the last gap runs up to now.
    void stop()
    {
        m_timer.stop();
        m_longest = qMax(m_longest, m_clock.nsecsElapsed() - m_last);
        m_elapsed = m_clock.nsecsElapsed();
    }
    double longestMs() const { return m_longest / 1e6; }
    double elapsedMs() const { return m_elapsed / 1e6; }
    int ticks() const { return m_ticks; }

    // Runs `step`, then the event loop until `done` says the step has ended; the longest gap, in ms.
    template <typename Step, typename Done> double measure(Step step, Done done)
    {
        start();
        step();
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        stop();
        return longestMs();
    }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = qMax(m_longest, now - m_last);
        m_last = now;
        ++m_ticks;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_elapsed = 0;
    int m_ticks = 0;
};
