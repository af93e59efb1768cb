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

void CProgressLine::pulse(const CommandProgress& progress)
{
    // Preparing is a step of its own before the phase counts.
    const bool phaseChanged = progress.phase != m_phase || progress.preparing != m_preparing;
    if (phaseChanged) {
        m_phase = progress.phase;
        m_preparing = progress.preparing;
        m_sincePhase.restart();
        m_phaseStartBytes = progress.inBytes() ? qMax<qint64>(0, progress.done) : 0;
    }
    if (progress.preparing) {
        show(progress.phase == CommandPhase::Download  ? QStringLiteral("preparing for download")
             : progress.phase == CommandPhase::Install ? QStringLiteral("preparing for installation")
                                                       : QStringLiteral("preparing"),
             phaseChanged);
        return;
    }
    QString text = QStringLiteral("%0 %1%").arg(phaseVerb(progress.phase)).arg(progress.percent());
    if (progress.inBytes()) {
        const qint64 done = progress.done;
        const qint64 total = progress.total;
        text += QStringLiteral(", %0/%1 MB").arg(double(done) / 1e6, 0, 'f', 1).arg(double(total) / 1e6, 0, 'f', 1);
        const double seconds = m_sincePhase.elapsed() / 1000.0;
        const double rate = seconds > 0.5 ? double(done - m_phaseStartBytes) / seconds : 0.0;
        if (rate > 0) {
            text += QStringLiteral(", %0 MB/s").arg(rate / 1e6, 0, 'f', 1);
            if (total > done)
                text += QStringLiteral(", %0 left").arg(duration(qint64((total - done) / rate)));
        }
    } else {
        text += QStringLiteral(", %0/%1 files").arg(progress.done).arg(progress.total);
    }
    // A log shows where each step began and that it got to the end.
    show(text, phaseChanged || (progress.total > 0 && progress.done == progress.total));
}

void CProgressLine::show(const QString& text, bool always)
{
    if (m_terminal) {
        write(QStringLiteral("\r\x1b[K%0: %1").arg(m_label, text).left(200));
        m_drawn = true;
        return;
    }
    if (!always && m_sincePlainLine.elapsed() < plainLineInterval)
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
