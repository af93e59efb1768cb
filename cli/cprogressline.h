#pragma once

#include <QElapsedTimer>
#include <QString>

// Progress of one running command on stderr: on a terminal one line redrawn in place (add-on, phase,
// percent, MB/s and time left while downloading, files while backing up or installing); otherwise plain
// lines, one for each phase and at most one every few seconds, so that a log stays readable.
class CProgressLine
{
public:
    CProgressLine(const QString& label, bool terminal);

    // A pulse of the command: (-100,-100) preparing, (-200,-200) download done, otherwise (done, total) in
    // bytes while `phase` is the download, in files otherwise. `phase` is CUpdateCommand's phase or a text.
    void pulse(const QString& phase, qint64 done, qint64 total, bool bytes);
    // Ends the line (on a terminal) before other output.
    void finish();

private:
    void show(const QString& text, bool phaseChanged);

    QString m_label;
    bool m_terminal;
    QString m_phase;
    QElapsedTimer m_sincePlainLine;
    QElapsedTimer m_sincePhase;
    qint64 m_phaseStartBytes = 0;
    bool m_drawn = false;
};
