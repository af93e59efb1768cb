#include "cwebservicestask.h"

#include "cjsonreply.h"
#include "crestapi.h"
#include "cycleinfo.h"
#include "fmsdataindexinfo.h"

#include <QUrl>

#include <atomic>
#include <memory>

namespace
{
std::atomic<int> liveTasks{0};

QVariant readCycle(const QJsonDocument& reply, QString* problem)
{
    return QVariant::fromValue(CycleInfo::fromJson(reply, problem));
}

QVariant readDataIndex(const QJsonDocument& reply, QString* problem)
{
    CJsonReply members(reply, QStringLiteral("data index reply"));
    auto info = std::make_unique<FMSDataIndexInfo>();
    const QString id = members.text(QStringLiteral("Id"));
    info->version = members.text(QStringLiteral("Version"));
    info->url = members.text(QStringLiteral("Url"));
    info->comments = members.text(QStringLiteral("Comments"));
    info->id = QUuid::fromString(id);
    if (members.isValid() && info->id.isNull())
        members.fail(
            QStringLiteral("The web service's data index reply has an \"Id\" that is not a GUID: %1.").arg(id));
    const QUrl url(info->url, QUrl::StrictMode);
    if (members.isValid() &&
        (!url.isValid() || !(url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) ||
         url.host().isEmpty()))
        members.fail(QStringLiteral("The web service's data index reply has a \"Url\" that is no http address: %1.")
                         .arg(info->url));
    *problem = members.problem();
    return members.isValid() ? QVariant::fromValue(info.release()) : QVariant();
}
} // namespace

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

void CWebServicesTask::fail(int webServiceId, const CRestFailure& failure)
{
    emit failed(webServiceId, failure);
    emit error(webServiceId, failure.networkError, failure.text());
    emit stopped();
}

void CWebServicesTask::request(int webServiceId, void (CRestAPI::*send)(),
                               QVariant (*read)(const QJsonDocument& reply, QString* problem))
{
    auto* api = new CRestAPI(this);
    connect(api, &CRestAPI::succeed, this, [this, webServiceId, read](const QJsonDocument& message) {
        QString problem;
        const QVariant data = read(message, &problem);
        if (!problem.isEmpty()) {
            fail(webServiceId, CRestFailure::unusableReply(200, problem));
            return;
        }
        emit done(webServiceId, 0, data);
        emit stopped();
    });
    connect(api, &CRestAPI::failed, this, [this, webServiceId, api]() { fail(webServiceId, api->lastFailure()); });
    (api->*send)();
}

void CWebServicesTask::doGetCurrentFMSCycle()
{
    request(CurrentCycleService, &CRestAPI::getCurrentDataCycle, readCycle);
}

void CWebServicesTask::doGetFMSIndex()
{
    request(DataIndexService, &CRestAPI::getFMSDataIndex, readDataIndex);
}
