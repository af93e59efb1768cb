#pragma once

#include "crestfailure.h"
#include "cycleinfo.h"
#include "foundation/cprogramstate.h"

#include <QMutex>
#include <QString>
#include <QVariant>

#include <optional>

template <typename T> class CSingleton;

// The current navigation-data cycle, fetched from the web service on a thread of its own.
//
// State 1 after a cycle has been received, 0 after a failed attempt; a failure keeps the cycle stored before.
// A reply without a usable cycle is a failure: the stored cycle is never replaced by one of zeros. Lives on
// the application's thread, where the results arrive; the accessors copy under a lock, so that the commands
// may read them from their own threads.
class CDataCycle : public CProgramState
{
    Q_OBJECT

public:
    static CDataCycle* instance();
    // Tests only: deletes the object; the next instance() starts afresh.
    static void resetInstance();

    // Same as tryGetCurrentCycle().
    void initialize() override;
    // Starts one request; the result comes by `completed` or `error`.
    void tryGetCurrentCycle();

    // The last cycle received; none before the first success.
    std::optional<CycleInfo> currentCycle() const;
    // Why the last attempt failed (HTTP status and reason, Qt's error text, or what was wrong with the
    // reply); no failure after a success.
    CRestFailure lastFailure() const;

signals:
    void completed(int webServiceId);
    // `message` says what happened (see CWebServices::errorReceived).
    void error(int webServiceId, int errorNumber, const QString& message);

private slots:
    void onWorkCompleted(int webServiceId, int errorCode, const QVariant& data);
    void onRequestFailed(int webServiceId, const CRestFailure& failure);

private:
    friend class CSingleton<CDataCycle>;
    explicit CDataCycle(QObject* parent);

    mutable QMutex m_mutex; // guards the two below
    std::optional<CycleInfo> m_cycle;
    CRestFailure m_lastFailure;
};
