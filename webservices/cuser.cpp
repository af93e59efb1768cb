#include "cuser.h"

#include "ccipherkeys.h"
#include "cjsonreply.h"
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
}

template <typename T> T CUser::read(T Record::*field) const
{
    QMutexLocker locker(&m_mutex);
    return m_record.*field;
}

QString CUser::token() const
{
    return read(&Record::token);
}

QString CUser::serverRegion() const
{
    return read(&Record::serverRegion);
}

int CUser::userId() const
{
    return read(&Record::userId);
}

QString CUser::userName() const
{
    return read(&Record::userName);
}

QString CUser::firstName() const
{
    return read(&Record::firstName);
}

QString CUser::lastName() const
{
    return read(&Record::lastName);
}

CRestFailure CUser::lastFailure() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastFailure;
}

void CUser::emitError(ERESTService service, const QString& message, const CRestFailure& failure)
{
    {
        QMutexLocker locker(&m_mutex);
        m_lastFailure = failure;
    }
    emit onRESTError(service, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}));
}

void CUser::login(const QString& userName, const QString& password)
{
    auto* tokenApi = new CRestAPI(this);
    auto* regionsApi = new CRestAPI(this);

    connect(tokenApi, &CRestAPI::succeed, this, [this, tokenApi](const QJsonDocument& reply) {
        onUserReply(ReplyForm::Password, tokenApi, reply, QString());
    });
    connect(tokenApi, &CRestAPI::failed, this, [this, tokenApi]() {
        emitError(ERESTService::PasswordCheck, QStringLiteral("Username and password does not match."),
                  tokenApi->lastFailure());
    });
    connect(tokenApi, &CRestAPI::failed, this, [this, tokenApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Unable to fetch server address."), tokenApi->lastFailure());
        tokenApi->deleteLater();
    });

    connect(regionsApi, &CRestAPI::failed, this,
            [this, regionsApi](QNetworkReply::NetworkError, const QJsonDocument& reply) {
                emitError(ERESTService::DownloadRegions,
                          QStringLiteral("Unable to fetch server regions. Server returns: %0")
                              .arg(QString::fromUtf8(reply.toJson(QJsonDocument::Compact))),
                          regionsApi->lastFailure());
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

bool CUser::restoreStoredOffline()
{
    const QString token =
        CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramToken), CCipherKeys::TokenKey);
    const QString userText =
        CDownloadLogUtils::decryptText(CSettings::stringValue(SettingsKey::ProgramUser), CCipherKeys::DefaultTextKey);
    bool isNumber = false;
    const uint userId = userText.toUInt(&isNumber, 10);
    if (token.isEmpty() || !isNumber || userId == 0 || userId > uint(std::numeric_limits<int>::max()))
        return false;
    QMutexLocker locker(&m_mutex);
    m_record.token = token;
    m_record.userId = int(userId);
    m_record.serverRegion = CSettings::stringValue(SettingsKey::ServerRegion);
    return true;
}

void CUser::restoreLogIn(const QStringList& arguments)
{
    const QString storedRegion = CSettings::stringValue(SettingsKey::ServerRegion);
    {
        QMutexLocker locker(&m_mutex);
        m_record.serverRegion = storedRegion;
    }
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
        emitError(ERESTService::UserRecord, QStringLiteral("Access token was not found."), CRestFailure());
        return;
    }

    auto* userApi = new CRestAPI(this);
    auto* regionsApi = new CRestAPI(this);
    connect(userApi, &CRestAPI::succeed, this, [this, userApi, token](const QJsonDocument& reply) {
        onUserReply(ReplyForm::Token, userApi, reply, token);
    });
    connect(userApi, &CRestAPI::failed, this, [this, userApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Unable to fetch server address."), userApi->lastFailure());
        userApi->deleteLater();
    });
    connect(regionsApi, &CRestAPI::failed, this, [this, regionsApi, userApi]() {
        emitError(ERESTService::UserRecord, QStringLiteral("Access token was not found."), regionsApi->lastFailure());
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
        const QJsonValue code = value.toObject().value(QStringLiteral("region_code"));
        const QJsonValue name = value.toObject().value(QStringLiteral("region_name"));
        if (code.isString() && !code.toString().isEmpty() && name.isString())
            status->addRegion(code.toString(), name.toString());
    }
}

void CUser::onUserReply(ReplyForm form, CRestAPI* api, const QJsonDocument& reply, const QString& knownToken)
{
    api->deleteLater();
    CJsonReply members(reply, QStringLiteral("user reply"));
    if (form == ReplyForm::Password) {
        const QJsonObject user = members.object(QStringLiteral("user"));
        if (members.isValid())
            members = CJsonReply(user, QStringLiteral("user record"));
    }

    Record record;
    record.userName = members.text(QStringLiteral("username"));
    record.firstName = members.text(QStringLiteral("first_name"));
    record.lastName = members.text(QStringLiteral("last_name"));
    const QString preferredRegion = members.text(QStringLiteral("preferred_region"));
    record.userId = members.positiveInt(QStringLiteral("user_id"));
    record.token = form == ReplyForm::Password ? members.nonEmptyText(QStringLiteral("token")) : knownToken;
    if (!members.isValid()) {
        emitError(ERESTService::UserRecord, members.problem(), CRestFailure::unusableReply(200, members.problem()));
        return;
    }

    {
        QMutexLocker locker(&m_mutex);
        record.serverRegion = m_record.serverRegion.trimmed().isEmpty() ? preferredRegion : m_record.serverRegion;
        m_record = record;
        m_lastFailure = CRestFailure();
    }
    saveCredentials(record);
    setState(1);
    if (form == ReplyForm::Password)
        emit passwordAuthCompleted(record.token);
    emit onRESTCompleted(ERESTService::UserRecord, reply);
}

void CUser::saveCredentials(const Record& record)
{
    // Each write goes through a settings object of its own that is released at once, so the file is written.
    CSettings::setValue(SettingsKey::ProgramToken, CDownloadLogUtils::encryptText(record.token, CCipherKeys::TokenKey));
    CSettings::setValue(SettingsKey::ProgramUser,
                        CDownloadLogUtils::encryptText(QString::number(record.userId), CCipherKeys::DefaultTextKey));
}

void CUser::forgetStoredCredentials()
{
    CSettings::remove(SettingsKey::ProgramToken);
    CSettings::remove(SettingsKey::ProgramUser);
}
