#pragma once

#include "cdevserverrecords.h"
#include "cdevserviceconfig.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>

// What the development service's public side and its connections share: the root folder, extra files,
// faults and the record of what clients sent. Every method locks, so any thread may call.
class CDevServerState
{
public:
    // Oldest entries are dropped beyond this, so that a long-running service does not grow without end.
    static constexpr int MaxRecordedRequests = 10000;

    // Loads the folder's "service.json" when there is one; on failure nothing changes.
    bool setRoot(const QString& directory, QString* errorMessage);
    QString root() const;
    CDevServiceConfig config() const;

    void setEndpoint(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString baseUrl() const;

    void addFile(const QString& urlPath, const QString& filePath);
    // The file added for `urlPath`, or empty.
    QString addedFile(const QString& urlPath) const;

    void setFault(const QString& path, const CDevServerFault& fault);
    void clearFaults();
    // The fault that meets one request: the path's own fault, else the global one, else none (a default
    // fault). Counts the hit, and a fault whose hits are used up is removed.
    CDevServerFault takeFault(const QString& method, const QString& path);

    void recordRequest(const CDevServerRequest& request);
    QList<CDevServerRequest> requests() const;
    void clearRequests();

    void recordStatistics(const QJsonObject& record);
    QList<QJsonObject> statisticsUploads() const;

    // Paths are compared as decoded text, without the query and in lower case.
    static QString pathKey(const QString& path);

private:
    static bool takeHit(QHash<QString, CDevServerFault>& faults, const QString& key, const QString& method,
                        CDevServerFault& taken);

    mutable QMutex m_mutex;
    QString m_root;
    CDevServiceConfig m_config;
    QHostAddress m_address = QHostAddress(QHostAddress::LocalHost);
    quint16 m_port = 0;
    QHash<QString, QString> m_files;
    QHash<QString, CDevServerFault> m_faults; // the key "" holds the global fault
    QList<CDevServerRequest> m_requests;
    QList<QJsonObject> m_statistics;
};
