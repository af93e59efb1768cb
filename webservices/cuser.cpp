#include "cuser.h"

#include "ccipherkeys.h"
#include "cnetworkstatus.h"
#include "crestapi.h"
#include "foundation/csettings.h"
#include "foundation/csingleton.h"
#include "webservices/cdownloadlogutils.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

CUser* CUser::instance()
{
    return CSingleton<CUser>::instance();
}

void CUser::resetInstance()
{
    CSingleton<CUser>::reset();
}

CUser::CUser(QObject* parent)
    : CProgramState(parent)
{
    qRegisterMetaType<ERESTService>("ERESTService");
    qRegisterMetaType<Exception>("Exception");
}

CUser::~CUser()
{
    CSingleton<CUser>::forget(this);
}

void CUser::emitError(ERESTService service, const QString& message)
{
    emit onRESTError(service, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}));
}

void CUser::login(const QString& userName, const QString& password)
{
    auto* tokenApi = new CRestAPI(this);
    auto* regionsApi = new CRestAPI(this);

    connect(tokenApi, &CRestAPI::succeed, this, [this, tokenApi](const QJsonDocument& reply) {
        onUserReply(ReplyForm::Password, tokenApi, reply, QString());
    });
    connect(tokenApi, &CRestAPI::failed, this, [this]() {
        emitError(ERESTService::PasswordCheck, QStringLiteral("Username and password does not match."));
    });
    connect(tokenApi, &CRestAPI::failed, this, [this, tokenApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Unable to fetch server address."));
        tokenApi->deleteLater();
    });

    connect(regionsApi, &CRestAPI::failed, this,
            [this, regionsApi](QNetworkReply::NetworkError, const QJsonDocument& reply) {
                emitError(ERESTService::DownloadRegions,
                          QStringLiteral("Unable to fetch server regions. Server returns: %0")
                              .arg(QString::fromUtf8(reply.toJson(QJsonDocument::Compact))));
                regionsApi->deleteLater();
            });
    connect(regionsApi, &CRestAPI::succeed, this,
            [this, regionsApi, tokenApi, userName, password](const QJsonDocument& reply) {
                onRegions(reply);
                regionsApi->deleteLater();
                tokenApi->login(userName, password);
            });

    regionsApi->getServers();
}

void CUser::initialize()
{
    restoreLogIn(QCoreApplication::arguments());
}

void CUser::restoreLogIn(const QStringList& arguments)
{
    m_serverRegion = CSettings::stringValue(SettingsKey::ServerRegion);
    QString token =
        CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramToken), CCipherKeys::TokenKey);
    QString userText =
        CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramUser), CCipherKeys::DefaultTextKey);

    const QString forceToken = QStringLiteral("--force-token=");
    const QString forceUserId = QStringLiteral("--force-user-id=");
    const auto tokenArgument = std::find_if(arguments.cbegin(), arguments.cend(),
                                            [&](const QString& argument) { return argument.startsWith(forceToken); });
    if (tokenArgument != arguments.cend())
        token = tokenArgument->mid(forceToken.size()).trimmed();
    const auto userArgument = std::find_if(arguments.cbegin(), arguments.cend(),
                                           [&](const QString& argument) { return argument.startsWith(forceUserId); });
    if (userArgument != arguments.cend()) {
        const QString forced = userArgument->mid(forceUserId.size());
        if (forced.toInt() > 0)
            userText = forced;
    }

    bool isNumber = false;
    uint userId = userText.toUInt(&isNumber, 10);
    if (!isNumber || userId > uint(std::numeric_limits<int>::max()))
        userId = 0;

    if (token.isEmpty() || userId == 0) {
        emitError(ERESTService::UserRecord, QStringLiteral("Access token was not found."));
        return;
    }

    auto* userApi = new CRestAPI(this);
    auto* regionsApi = new CRestAPI(this);
    connect(userApi, &CRestAPI::succeed, this, [this, userApi, token](const QJsonDocument& reply) {
        onUserReply(ReplyForm::Token, userApi, reply, token);
    });
    connect(userApi, &CRestAPI::failed, this, [this, userApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Unable to fetch server address."));
        userApi->deleteLater();
    });
    connect(regionsApi, &CRestAPI::failed, this, [this, regionsApi, userApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Access token was not found."));
        regionsApi->deleteLater();
        userApi->deleteLater();
    });
    connect(regionsApi, &CRestAPI::succeed, this,
            [this, regionsApi, userApi, userId, token](const QJsonDocument& reply) {
                onRegions(reply);
                regionsApi->deleteLater();
                userApi->login(int(userId), token);
            });

    regionsApi->getServers();
}

void CUser::onRegions(const QJsonDocument& reply)
{
    CNetworkStatus* status = CNetworkStatus::instance();
    const QJsonArray regions = reply.array();
    for (const QJsonValue& value : regions) {
        const QJsonObject region = value.toObject();
        status->addRegion(region.value(QStringLiteral("region_code")).toString(),
                          region.value(QStringLiteral("region_name")).toString());
    }
}

void CUser::onUserReply(ReplyForm form, CRestAPI* api, const QJsonDocument& reply, const QString& knownToken)
{
    const QJsonObject record =
        form == ReplyForm::Password ? reply.object().value(QStringLiteral("user")).toObject() : reply.object();

    m_userName = record.value(QStringLiteral("username")).toString();
    m_firstName = record.value(QStringLiteral("first_name")).toString();
    m_lastName = record.value(QStringLiteral("last_name")).toString();
    const QString preferredRegion = record.value(QStringLiteral("preferred_region")).toString();
    m_userId = record.value(QStringLiteral("user_id")).toInt();
    m_token = form == ReplyForm::Password ? record.value(QStringLiteral("token")).toString() : knownToken;

    if (m_serverRegion.trimmed().isEmpty())
        m_serverRegion = preferredRegion;

    saveCredentials();
    setState(1);
    api->deleteLater();
    if (form == ReplyForm::Password)
        emit passwordAuthCompleted(m_token);
    emit onRESTCompleted(ERESTService::UserRecord, reply);
}

void CUser::saveCredentials() const
{
    // Each write goes through a settings object of its own that is released at once, so the file is written.
    CSettings::setValue(SettingsKey::ProgramToken, CDownloadLogUtils::encryptText(m_token, CCipherKeys::TokenKey));
    CSettings::setValue(SettingsKey::ProgramUser,
                        CDownloadLogUtils::encryptText(QString::number(m_userId), CCipherKeys::DefaultTextKey));
}

void CUser::forgetStoredCredentials()
{
    CSettings::remove(SettingsKey::ProgramToken);
    CSettings::remove(SettingsKey::ProgramUser);
}
