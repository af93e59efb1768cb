#pragma once

#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QVariant>

// One web-service request on a thread of its own (see CWebServices): calls the endpoint, turns the JSON
// reply into a record and hands it back in a QVariant, then reports `stopped`, which ends its thread.
class CWebServicesTask : public QObject
{
    Q_OBJECT

public:
    // Web-service ids.
    static constexpr int CurrentCycleService = 1;
    static constexpr int DataIndexService = 256;

    CWebServicesTask();
    ~CWebServicesTask() override;

    // Tasks alive in the process, so that tests can see that finished tasks are deleted.
    static int liveCount();

signals:
    void stopped();
    // errorCode 0; data a CycleInfo (id 1) or an owned FMSDataIndexInfo* (id 256).
    void done(int webServiceId, int errorCode, const QVariant& data);
    // errorCode the QNetworkReply::NetworkError value; the message is empty: callers word it.
    void error(int webServiceId, int errorCode, const QString& errorMessage);

public slots:
    void doGetCurrentFMSCycle();
    void doGetFMSIndex();
};
