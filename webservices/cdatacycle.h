#pragma once

#include "cycleinfo.h"
#include "foundation/cprogramstate.h"

#include <QString>
#include <QVariant>

#include <memory>

template <typename T> class CSingleton;

// The current navigation-data cycle, fetched from the web service on a thread of its own.
//
// State 1 after a cycle has been received, 0 after a failed attempt; a failure keeps the cycle stored before.
// Lives on the application's thread, where the results arrive.
class CDataCycle : public CProgramState
{
    Q_OBJECT

public:
    static CDataCycle* instance();
    // Tests only: deletes the object; the next instance() starts afresh.
    static void resetInstance();
    ~CDataCycle() override;

    // Same as tryGetCurrentCycle().
    void initialize() override;
    // Starts one request; the result comes by `completed` or `error`.
    void tryGetCurrentCycle();

    // The last cycle received, or nullptr before the first success.
    const CycleInfo* currentCycle() const { return m_cycle.get(); }

signals:
    void completed(int webServiceId);
    void error(int webServiceId, int errorNumber, const QString& message);

private slots:
    void onWorkCompleted(int webServiceId, int errorCode, const QVariant& data);
    void onErrorReceived(int webServiceId, int errorNumber, const QString& message);

private:
    friend class CSingleton<CDataCycle>;
    explicit CDataCycle(QObject* parent);

    std::unique_ptr<CycleInfo> m_cycle;
};
