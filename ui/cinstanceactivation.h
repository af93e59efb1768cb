#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// Lets a second start of the program bring the running window to the front instead of exiting
// silently. The instance that holds the single-instance guard listens on a local socket named after the
// guard's key; a later start connects, writes one line and exits.
class CInstanceActivation : public QObject
{
    Q_OBJECT

public:
    explicit CInstanceActivation(const QString& guardKey, QObject* parent = nullptr);

    // Only the guard's holder calls this: a socket file that a killed holder left behind is removed first.
    bool listen();
    static QString serverName(const QString& guardKey);
    // From the second start: true when the running instance took the request.
    static bool askRunningInstance(const QString& guardKey, int timeoutMs = 2000);

signals:
    void activationRequested();

private:
    QString m_name;
    QLocalServer* m_server;
};
