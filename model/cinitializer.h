#pragma once

#include "foundation/exception.h"
#include "webservices/erestservice.h"

#include <QJsonDocument>
#include <QMetaObject>
#include <QObject>
#include <QString>

// The start-up sequence: fetches the current navigation-data cycle, then restores the stored log-in, and
// reports one `completed(true)`, or on the first failure `error` followed by `completed(false)`.
//
// The window model starts it, and starts it again when the network comes back. Each run replaces the
// connections to the cycle's results instead of adding to them, so that one cycle result restores the
// log-in once however often the sequence was started. The session's results stay connected from the first
// use on: a password log-in from the log-in page completes the sequence too, and its token is forwarded as
// `passwordAuthCompleted`. Lives on the application's thread, where the cycle and the session report.
class CInitializer : public QObject
{
    Q_OBJECT

public:
    static CInitializer* instance();
    // Tests only: deletes the object; the next instance() starts afresh.
    static void resetInstance();

    // Starts the whole sequence and records the program's version in the settings.
    void initialize();

signals:
    void completed(bool succeed);
    // Always followed by completed(false).
    void error(const Exception& ex);
    // For notes to the window along the way; nothing sends one yet.
    void info(const QString& message);
    void passwordAuthCompleted(const QString& token);

public slots:
    void initializeUser();
    // Starts the cycle fetch that leads on to the log-in.
    void initializeDataCycle();
    // Service 0 or 1 is a finished log-in; other steps are not the end of the sequence.
    void onUserInitialized(ERESTService service, const QJsonDocument& content);
    // The code is the service number, the message the session's error document as JSON text.
    void onUserInitializeFailed(ERESTService service, const QJsonDocument& message);
    void onError(const Exception& ex);

private:
    explicit CInitializer(QObject* parent);
    static CInitializer* holder(bool reset);
    // Once to each of the session's results, replacing the connections made before.
    void connectSession();

    void onDataCycleCompleted(int webServiceId);
    void onDataCycleError(int webServiceId, int errorNumber, const QString& message);

    // To the session, made anew by every run, so that they follow the session object of that moment.
    QMetaObject::Connection m_userCompleted;
    QMetaObject::Connection m_userFailed;
    QMetaObject::Connection m_passwordAuth;
    // To the data cycle, replaced by every run.
    QMetaObject::Connection m_cycleCompleted;
    QMetaObject::Connection m_cycleError;
};
