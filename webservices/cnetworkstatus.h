#pragma once

#include "serverregion.h"

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <memory>

template <typename T> class CSingleton;

// Whether the web service is reachable, and the table of download regions.
//
// check() fetches "/status.txt" of the server address; any answer counts as reachable, even an HTTP error,
// a refused connection or a time-out. Only a host that cannot be resolved or a missing network count as
// not connected. The region table is filled by the user session and read by the settings view and the
// commands; other threads read isConnected() and the table, so both are safe to read from any thread.
class CNetworkStatus : public QObject
{
    Q_OBJECT

public:
    static CNetworkStatus* instance();
    // Tests only: deletes the object (with its regions); the next instance() starts afresh.
    static void resetInstance();

    // The last probe's answer; false until the first probe has answered.
    bool isConnected() const { return m_connected.load(); }
    // Starts one probe; its answer comes by `connectionChanged`. Probes may overlap.
    void check();
    // What the last probe met at the proxy or the server's certificate ("The proxy 10.0.0.8:3128 refused the
    // connection."), so that the window can say so rather than show the service as reachable without
    // comment; empty when the probe met neither.
    QString lastProblem() const;

    // Inserts a region unless its code is present already: the first entry of a code is kept.
    void addRegion(const QString& regionCode, const QString& regionName);
    // The region of a code, or nullptr. Records stay for the whole run.
    const ServerRegion* findRegion(const QString& regionCode) const;
    // Every region, ordered by code.
    QList<ServerRegion> regions() const;

signals:
    // After every probe, whether the value changed or not.
    void connectionChanged(bool connected);

private:
    friend class CSingleton<CNetworkStatus>;
    explicit CNetworkStatus(QObject* parent);

    // A probe that hangs is given up after this long, which counts as reachable like any time-out.
    static constexpr int ProbeTimeoutMs = 30000;

    std::atomic<bool> m_connected{false};
    mutable QMutex m_problemMutex;
    QString m_lastProblem;
    mutable QMutex m_regionsMutex;
    QMap<QString, std::shared_ptr<ServerRegion>> m_regions;
};

Q_DECLARE_METATYPE(CNetworkStatus*)
