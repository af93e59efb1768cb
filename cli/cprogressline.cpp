#include "cprogressline.h"

#include <cstdio>

namespace
{
constexpr qint64 plainLineInterval = 5000; // ms

void write(const QString& text)
{
    fputs(text.toLocal8Bit().constData(), stderr);
    fflush(stderr);
}

QString duration(qint64 seconds)
{
    return seconds >= 60 ? QStringLiteral("%0 min %1 s").arg(seconds / 60).arg(seconds % 60)
                         : QStringLiteral("%0 s").arg(seconds);
}
} // namespace

CProgressLine::CProgressLine(const QString& label, bool terminal)
    : m_label(label)
    , m_terminal(terminal)
{
    m_sincePlainLine.start();
    m_sincePhase.start();
}

void CProgressLine::pulse(const QString& phase, qint64 done, qint64 total, bool bytes)
{
    // The two preparing pulses are steps of their own between the phases.
    const QString step = done == -100 ? QStringLiteral("-100") : done == -200 ? QStringLiteral("-200") : phase;
    const bool phaseChanged = step != m_phase;
    if (phaseChanged) {
        m_phase = step;
        m_sincePhase.restart();
        m_phaseStartBytes = bytes ? qMax<qint64>(0, done) : 0;
    }
    if (done == -100) {
        show(QStringLiteral("preparing for download"), phaseChanged);
        return;
    }
    if (done == -200) {
        show(QStringLiteral("preparing for installation"), phaseChanged);
        return;
    }
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    QString text = QStringLiteral("%0 %1%").arg(phase).arg(percent);
    if (bytes) {
        text += QStringLiteral(", %0/%1 MB").arg(double(done) / 1e6, 0, 'f', 1).arg(double(total) / 1e6, 0, 'f', 1);
        const double seconds = m_sincePhase.elapsed() / 1000.0;
        const double rate = seconds > 0.5 ? double(done - m_phaseStartBytes) / seconds : 0.0;
        if (rate > 0) {
            text += QStringLiteral(", %0 MB/s").arg(rate / 1e6, 0, 'f', 1);
            if (total > done)
                text += QStringLiteral(", %0 left").arg(duration(qint64((total - done) / rate)));
        }
    } else {
        text += QStringLiteral(", %0/%1 files").arg(done).arg(total);
    }
    show(text, phaseChanged);
}

void CProgressLine::show(const QString& text, bool phaseChanged)
{
    if (m_terminal) {
        write(QStringLiteral("\r\x1b[K%0: %1").arg(m_label, text).left(200));
        m_drawn = true;
        return;
    }
    if (!phaseChanged && m_sincePlainLine.elapsed() < plainLineInterval)
        return;
    m_sincePlainLine.restart();
    write(QStringLiteral("%0: %1\n").arg(m_label, text));
}

void CProgressLine::finish()
{
    if (m_terminal && m_drawn)
        write(QStringLiteral("\r\x1b[K"));
    m_drawn = false;
}
