#pragma once

#include "crestfailure.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QVariant>

class CRestAPI;

// One web-service request on a thread of its own (see CWebServices): calls the endpoint, turns the JSON
// reply into a record and hands it back in a QVariant, then reports `stopped`, which ends its thread.
//
// A reply that lacks a member the record needs, or has it with another type, is a failure like a network
// error (QNetworkReply::ProtocolFailure): no record of zeros and empty texts is ever handed on.
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
    // errorCode the QNetworkReply::NetworkError value; the message says what happened ("HTTP 500 Internal
    // Server Error", "Connection refused", or what is wrong with the reply).
    void error(int webServiceId, int errorCode, const QString& errorMessage);
    // The same failure in full, emitted just before `error`, for callers that show the HTTP status.
    void failed(int webServiceId, const CRestFailure& failure);

public slots:
    void doGetCurrentFMSCycle();
    void doGetFMSIndex();

private:
    // Calls `send` on a new CRestAPI; a successful reply goes to `read`, which returns the record or sets
    // the problem with the reply.
    void request(int webServiceId, void (CRestAPI::*send)(),
                 QVariant (*read)(const QJsonDocument& reply, QString* problem));
    void fail(int webServiceId, const CRestFailure& failure);
};
