#pragma once

#include "crestfailure.h"

#include <QObject>
#include <QString>
#include <QVariant>

class CWebServicesTask;

// Runs each start-up request of the web service (the current cycle, the data index descriptor) on a thread
// of its own: one CWebServicesTask and one QThread per request, both deleted when the request is over.
// Results arrive by queued signals on the thread of this object.
class CWebServices : public QObject
{
    Q_OBJECT

public:
    explicit CWebServices(QObject* parent = nullptr);

    // Web-service id 1; `workCompleted` carries a CycleInfo.
    void getCurrentAIRACCycle();
    // Web-service id 256; `workCompleted` carries an FMSDataIndexInfo* that the receiver owns.
    void getFMSIndex();

    // Request threads alive in the process, so that tests can see that finished threads are deleted.
    static int liveThreadCount();

signals:
    void workCompleted(int webServiceId, int errorCode, const QVariant& data);
    // `description` says what happened: "HTTP 500 Internal Server Error", Qt's error text, or what is wrong
    // with a reply that arrived (errorCode QNetworkReply::ProtocolFailure then).
    void errorReceived(int webServiceID, int errorCode, const QString& description);
    // The same failure in full, emitted just before errorReceived.
    void requestFailed(int webServiceId, const CRestFailure& failure);

private:
    // Starts `work` of a new task on a new thread; logs `startMessage` before and `doneMessage` when the
    // task is done, both under `function`.
    void startTask(void (CWebServicesTask::*work)(), const QString& function, const QString& startMessage,
                   const QString& doneMessage);
};
