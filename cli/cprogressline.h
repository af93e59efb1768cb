#pragma once

#include "commands/commandprogress.h"

#include <QElapsedTimer>
#include <QString>

// Progress of one running command on stderr: on a terminal one line redrawn in place (add-on, phase,
// percent, MB/s and time left while downloading, files while backing up or installing); otherwise plain
// lines, one for each phase and at most one every few seconds, so that a log stays readable.
class CProgressLine
{
public:
    CProgressLine(const QString& label, bool terminal);

    void pulse(const CommandProgress& progress);
    // Ends the line (on a terminal) before other output.
    void finish();

private:
    // On a terminal, draws the line; otherwise writes it when `always`, or when a while has passed.
    void show(const QString& text, bool always);

    QString m_label;
    bool m_terminal;
    CommandPhase m_phase = CommandPhase::Other;
    bool m_preparing = false;
    QElapsedTimer m_sincePlainLine;
    QElapsedTimer m_sincePhase;
    qint64 m_phaseStartBytes = 0;
    bool m_drawn = false;
};
