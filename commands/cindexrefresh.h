#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Brings the local data index up to date through the web service, as the window does at start: asks for the
// current edition, downloads it when the local one is another (the old one stays until the new one is
// complete and readable) and loads the mapping list. Reports one finished(), within the time given.
// Commands keep copies of their records, so a refresh may run while they do.
class CIndexRefresh : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        bool ended = false;     // false: no answer within the time
        bool completed = false; // the index checked out and the mapping list was read
        QStringList errors;     // "error <number>: <message>" of each failure on the way
    };

    explicit CIndexRefresh(QObject* parent = nullptr);

    void start(int timeoutMilliseconds);
    Outcome outcome() const { return m_outcome; }

signals:
    void finished();

private:
    void end(bool ended);

    Outcome m_outcome;
    QTimer m_timeout;
    bool m_running = false;
};
