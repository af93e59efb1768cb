#include "cdevserverstate.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

bool CDevServerState::setRoot(const QString& directory, QString* errorMessage)
{
    const QFileInfo info(directory);
    if (!info.isDir() || !info.isReadable()) {
        if (errorMessage)
            *errorMessage = QStringLiteral("The folder \"%1\" does not exist or cannot be read.").arg(directory);
        return false;
    }
    CDevServiceConfig config;
    const QString configFile = QDir(directory).filePath(QStringLiteral("service.json"));
    if (QFileInfo::exists(configFile)) {
        QString problem;
        if (!CDevServiceConfig::load(configFile, config, problem)) {
            if (errorMessage)
                *errorMessage = problem;
            return false;
        }
    }
    QMutexLocker locker(&m_mutex);
    m_root = info.canonicalFilePath();
    m_config = config;
    return true;
}

CDevServiceConfig CDevServerState::config() const
{
    QMutexLocker locker(&m_mutex);
    return m_config;
}

QString CDevServerState::root() const
{
    QMutexLocker locker(&m_mutex);
    return m_root;
}

void CDevServerState::setEndpoint(const QHostAddress& address, quint16 port)
{
    QMutexLocker locker(&m_mutex);
    m_address = address;
    m_port = port;
}

quint16 CDevServerState::port() const
{
    QMutexLocker locker(&m_mutex);
    return m_port;
}

QString CDevServerState::baseUrl() const
{
    QMutexLocker locker(&m_mutex);
    QString host;
    if (m_address == QHostAddress::Any || m_address == QHostAddress::AnyIPv4)
        host = QStringLiteral("127.0.0.1");
    else if (m_address == QHostAddress::AnyIPv6)
        host = QStringLiteral("[::1]");
    else if (m_address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + m_address.toString() + QLatin1Char(']');
    else
        host = m_address.toString();
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

void CDevServerState::addFile(const QString& urlPath, const QString& filePath)
{
    QMutexLocker locker(&m_mutex);
    m_files.insert(pathKey(urlPath), filePath);
}

QString CDevServerState::addedFile(const QString& urlPath) const
{
    QMutexLocker locker(&m_mutex);
    return m_files.value(pathKey(urlPath));
}

void CDevServerState::setFault(const QString& path, const CDevServerFault& fault)
{
    QMutexLocker locker(&m_mutex);
    m_faults.insert(pathKey(path), fault);
}

void CDevServerState::clearFaults()
{
    QMutexLocker locker(&m_mutex);
    m_faults.clear();
}

CDevServerFault CDevServerState::takeFault(const QString& method, const QString& path)
{
    QMutexLocker locker(&m_mutex);
    CDevServerFault fault;
    if (takeHit(m_faults, pathKey(path), method, fault))
        return fault;
    if (takeHit(m_faults, QString(), method, fault))
        return fault;
    return CDevServerFault();
}

bool CDevServerState::takeHit(QHash<QString, CDevServerFault>& faults, const QString& key, const QString& method,
                              CDevServerFault& taken)
{
    const auto found = faults.find(key);
    if (found == faults.end())
        return false;
    if (!found->method.isEmpty() && found->method.compare(method, Qt::CaseInsensitive) != 0)
        return false;
    taken = *found;
    if (found->remainingHits > 0 && --found->remainingHits == 0)
        faults.erase(found);
    return taken.remainingHits != 0;
}

void CDevServerState::recordRequest(const CDevServerRequest& request)
{
    QMutexLocker locker(&m_mutex);
    m_requests.append(request);
    while (m_requests.size() > MaxRecordedRequests)
        m_requests.removeFirst();
}

QList<CDevServerRequest> CDevServerState::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

void CDevServerState::clearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_requests.clear();
}

void CDevServerState::recordStatistics(const QJsonObject& record)
{
    QMutexLocker locker(&m_mutex);
    m_statistics.append(record);
}

QList<QJsonObject> CDevServerState::statisticsUploads() const
{
    QMutexLocker locker(&m_mutex);
    return m_statistics;
}

QString CDevServerState::pathKey(const QString& path)
{
    QString decoded = path;
    const int question = decoded.indexOf(QLatin1Char('?'));
    if (question >= 0)
        decoded.truncate(question);
    if (!decoded.isEmpty() && !decoded.startsWith(QLatin1Char('/')))
        decoded.prepend(QLatin1Char('/'));
    return decoded.toLower();
}
