#include "cnetworkstatus.h"

#include "foundation/csettings.h"
#include "foundation/csingleton.h"
#include "webservices/cnetworkaccess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

CNetworkStatus* CNetworkStatus::instance()
{
    return CSingleton<CNetworkStatus>::instance();
}

void CNetworkStatus::resetInstance()
{
    CSingleton<CNetworkStatus>::reset();
}

CNetworkStatus::CNetworkStatus(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<CNetworkStatus*>("CNetworkStatus*");
}

void CNetworkStatus::check()
{
    const QUrl url(CSettings::stringValue(SettingsKey::ServerAddress) + QStringLiteral("/status.txt"));
    QNetworkAccessManager* manager = CNetworkAccess::createManager(nullptr);
    connect(manager, &QNetworkAccessManager::finished, this, [this, manager](QNetworkReply* reply) {
        bool connected = false;
        if (reply) {
            const QNetworkReply::NetworkError error = reply->error();
            // Through a proxy, a host that is not found is the proxy's: the Internet may well be there.
            const QString problem = CNetworkAccess::failureText(*reply);
            connected = !problem.isEmpty() ||
                        (error != QNetworkReply::HostNotFoundError && error != QNetworkReply::UnknownNetworkError);
            QMutexLocker locker(&m_problemMutex);
            m_lastProblem = problem;
            reply->deleteLater();
        }
        m_connected.store(connected);
        emit connectionChanged(connected);
        manager->deleteLater();
    });
    // Without a context the manager would outlive a deleted status object; with this one it goes with it.
    connect(this, &QObject::destroyed, manager, &QObject::deleteLater);
    QNetworkRequest request(url);
    request.setTransferTimeout(ProbeTimeoutMs);
    manager->get(request);
}

QString CNetworkStatus::lastProblem() const
{
    QMutexLocker locker(&m_problemMutex);
    return m_lastProblem;
}

void CNetworkStatus::addRegion(const QString& regionCode, const QString& regionName)
{
    QMutexLocker locker(&m_regionsMutex);
    if (m_regions.contains(regionCode))
        return;
    m_regions.insert(regionCode, std::make_shared<ServerRegion>(ServerRegion{regionCode, regionName}));
}

const ServerRegion* CNetworkStatus::findRegion(const QString& regionCode) const
{
    QMutexLocker locker(&m_regionsMutex);
    const auto found = m_regions.constFind(regionCode);
    return found == m_regions.constEnd() ? nullptr : found.value().get();
}

QList<ServerRegion> CNetworkStatus::regions() const
{
    QMutexLocker locker(&m_regionsMutex);
    QList<ServerRegion> list;
    for (const auto& region : m_regions)
        list.append(*region);
    return list;
}
