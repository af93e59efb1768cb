#include "cdevserviceconfig.h"

#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace
{

QString randomToken()
{
    QByteArray bytes(24, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(bytes.toHex());
}

bool readText(const QJsonObject& object, const QString& key, bool required, QString& value, QString& problem)
{
    const QJsonValue member = object.value(key);
    if (member.isUndefined() && !required)
        return true;
    if (!member.isString() || (required && member.toString().isEmpty())) {
        problem = QStringLiteral("\"%1\" must be a non-empty text").arg(key);
        return false;
    }
    value = member.toString();
    return true;
}

} // namespace

QJsonObject CDevServiceAccount::userRecord() const
{
    return QJsonObject{
        {QStringLiteral("username"), userName},
        {QStringLiteral("first_name"), firstName},
        {QStringLiteral("last_name"), lastName},
        {QStringLiteral("user_id"), userId},
        {QStringLiteral("preferred_region"), preferredRegion},
    };
}

bool CDevServiceConfig::load(const QString& filePath, CDevServiceConfig& config, QString& errorMessage)
{
    config = CDevServiceConfig();
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        errorMessage = QStringLiteral("%1: cannot be read (%2).").arg(filePath, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        errorMessage = QStringLiteral("%1: not valid JSON at offset %2 (%3).")
                           .arg(filePath)
                           .arg(parseError.offset)
                           .arg(parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        errorMessage = QStringLiteral("%1: the document must be a JSON object.").arg(filePath);
        return false;
    }
    const QJsonObject root = document.object();
    const auto fail = [&](const QString& where, const QString& problem) {
        errorMessage = QStringLiteral("%1: %2: %3.").arg(filePath, where, problem);
        return false;
    };

    const QJsonValue accounts = root.value(QStringLiteral("accounts"));
    if (!accounts.isUndefined() && !accounts.isArray())
        return fail(QStringLiteral("accounts"), QStringLiteral("must be an array"));
    const QJsonArray accountList = accounts.toArray();
    for (int i = 0; i < accountList.size(); ++i) {
        const QString where = QStringLiteral("accounts[%1]").arg(i);
        if (!accountList.at(i).isObject())
            return fail(where, QStringLiteral("must be an object"));
        const QJsonObject object = accountList.at(i).toObject();
        CDevServiceAccount account;
        QString problem;
        if (!readText(object, QStringLiteral("username"), true, account.userName, problem) ||
            !readText(object, QStringLiteral("password"), true, account.password, problem) ||
            !readText(object, QStringLiteral("first_name"), false, account.firstName, problem) ||
            !readText(object, QStringLiteral("last_name"), false, account.lastName, problem) ||
            !readText(object, QStringLiteral("preferred_region"), false, account.preferredRegion, problem) ||
            !readText(object, QStringLiteral("token"), false, account.token, problem))
            return fail(where, problem);
        const QJsonValue userId = object.value(QStringLiteral("user_id"));
        const double number = userId.toDouble(-1);
        if (!userId.isDouble() || number < 1 || number > 2147483647 || number != static_cast<int>(number))
            return fail(where, QStringLiteral("\"user_id\" must be a whole number from 1 to 2147483647"));
        account.userId = static_cast<int>(number);
        if (config.findByUserName(account.userName))
            return fail(where, QStringLiteral("the user name \"%1\" is taken twice").arg(account.userName));
        if (account.token.isEmpty())
            account.token = randomToken();
        if (config.findByToken(account.token))
            return fail(where, QStringLiteral("the token is taken twice"));
        config.accounts.append(account);
    }

    const QJsonValue regions = root.value(QStringLiteral("regions"));
    if (!regions.isUndefined() && !regions.isArray())
        return fail(QStringLiteral("regions"), QStringLiteral("must be an array"));
    config.regions = regions.toArray();
    for (int i = 0; i < config.regions.size(); ++i) {
        const QJsonObject region = config.regions.at(i).toObject();
        QString code;
        QString name;
        QString problem;
        if (!config.regions.at(i).isObject() || !readText(region, QStringLiteral("region_code"), true, code, problem) ||
            !readText(region, QStringLiteral("region_name"), true, name, problem))
            return fail(QStringLiteral("regions[%1]").arg(i),
                        problem.isEmpty() ? QStringLiteral("must be an object") : problem);
    }

    for (const QString& key : {QStringLiteral("cycle"), QStringLiteral("index")}) {
        const QJsonValue member = root.value(key);
        if (!member.isUndefined() && !member.isObject())
            return fail(key, QStringLiteral("must be an object"));
    }
    config.cycle = root.value(QStringLiteral("cycle")).toObject();
    config.index = root.value(QStringLiteral("index")).toObject();
    if (!config.index.isEmpty() && config.index.value(QStringLiteral("File")).toString().isEmpty())
        return fail(QStringLiteral("index"), QStringLiteral("\"File\" must name the data index below the root"));

    const QJsonValue packages = root.value(QStringLiteral("packages"));
    if (!packages.isUndefined() && (!packages.isString() || packages.toString().isEmpty()))
        return fail(QStringLiteral("packages"), QStringLiteral("must name a folder below the root"));
    config.packagesFolder = packages.toString(QStringLiteral("packages"));
    return true;
}

const CDevServiceAccount* CDevServiceConfig::findByUserName(const QString& userName) const
{
    for (const CDevServiceAccount& account : accounts) {
        if (account.userName.compare(userName, Qt::CaseInsensitive) == 0)
            return &account;
    }
    return nullptr;
}

const CDevServiceAccount* CDevServiceConfig::findByToken(const QString& token) const
{
    if (token.isEmpty())
        return nullptr;
    for (const CDevServiceAccount& account : accounts) {
        if (account.token == token)
            return &account;
    }
    return nullptr;
}

bool CDevServiceConfig::hasRegion(const QString& regionCode) const
{
    for (const QJsonValue& region : regions) {
        if (region.toObject()
                .value(QStringLiteral("region_code"))
                .toString()
                .compare(regionCode, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
