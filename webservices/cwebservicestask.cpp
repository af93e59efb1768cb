#include "cwebservicestask.h"

#include "crestapi.h"
#include "cycleinfo.h"
#include "fmsdataindexinfo.h"

#include <QJsonObject>

#include <atomic>

namespace
{
std::atomic<int> liveTasks{0};
}

CWebServicesTask::CWebServicesTask()
{
    ++liveTasks;
}

CWebServicesTask::~CWebServicesTask()
{
    --liveTasks;
}

int CWebServicesTask::liveCount()
{
    return liveTasks.load();
}

void CWebServicesTask::doGetCurrentFMSCycle()
{
    auto* api = new CRestAPI(this);
    connect(api, &CRestAPI::succeed, this, [this](const QJsonDocument& message) {
        emit done(CurrentCycleService, 0, QVariant::fromValue(CycleInfo::fromJson(message.object())));
        emit stopped();
    });
    connect(api, &CRestAPI::failed, this, [this](QNetworkReply::NetworkError code, const QJsonDocument&) {
        emit error(CurrentCycleService, code, QString());
        emit stopped();
    });
    api->getCurrentDataCycle();
}

void CWebServicesTask::doGetFMSIndex()
{
    auto* api = new CRestAPI(this);
    connect(api, &CRestAPI::succeed, this, [this](const QJsonDocument& message) {
        const QJsonObject object = message.object();
        auto* info = new FMSDataIndexInfo;
        info->id = QUuid::fromString(object.value(QStringLiteral("Id")).toString());
        info->version = object.value(QStringLiteral("Version")).toString();
        info->url = object.value(QStringLiteral("Url")).toString();
        info->comments = object.value(QStringLiteral("Comments")).toString();
        emit done(DataIndexService, 0, QVariant::fromValue(info));
        emit stopped();
    });
    connect(api, &CRestAPI::failed, this, [this](QNetworkReply::NetworkError code, const QJsonDocument&) {
        emit error(DataIndexService, code, QString());
        emit stopped();
    });
    api->getFMSDataIndex();
}
