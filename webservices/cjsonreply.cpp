#include "cjsonreply.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>
#include <limits>

CJsonReply::CJsonReply(const QJsonDocument& document, const QString& what)
    : m_object(document.object())
    , m_what(what)
{
    if (!document.isObject())
        fail(QStringLiteral("The web service's %1 is not a JSON object.").arg(what));
}

CJsonReply::CJsonReply(const QJsonObject& object, const QString& what)
    : m_object(object)
    , m_what(what)
{
}

void CJsonReply::fail(const QString& problem)
{
    if (m_problem.isEmpty())
        m_problem = problem;
}

void CJsonReply::failMember(const QString& name, const QString& expectation)
{
    fail(QStringLiteral("The web service's %1 has no member \"%2\" that is %3.").arg(m_what, name, expectation));
}

QJsonValue CJsonReply::member(const QString& name, bool (QJsonValue::*hasType)() const, const QString& typeName)
{
    const QJsonValue value = m_object.value(name);
    if (!(value.*hasType)()) {
        failMember(name, typeName);
        return QJsonValue();
    }
    return value;
}

QString CJsonReply::text(const QString& name)
{
    return member(name, &QJsonValue::isString, QStringLiteral("a text")).toString();
}

QString CJsonReply::nonEmptyText(const QString& name)
{
    const QJsonValue value = m_object.value(name);
    if (!value.isString() || value.toString().trimmed().isEmpty()) {
        failMember(name, QStringLiteral("a non-empty text"));
        return QString();
    }
    return value.toString();
}

int CJsonReply::positiveInt(const QString& name)
{
    const double number = m_object.value(name).toDouble(-1);
    if (!(number >= 1 && number <= std::numeric_limits<int>::max() && std::floor(number) == number)) {
        failMember(name, QStringLiteral("a positive whole number"));
        return 0;
    }
    return static_cast<int>(number);
}

int CJsonReply::positiveIntText(const QString& name)
{
    const QJsonValue value = m_object.value(name);
    bool isNumber = false;
    const int number = value.toString().toInt(&isNumber, 10);
    if (!value.isString() || !isNumber || number < 1) {
        failMember(name, QStringLiteral("a positive decimal number in text"));
        return 0;
    }
    return number;
}

QDate CJsonReply::date(const QString& name)
{
    const QJsonValue value = m_object.value(name);
    const QString text = value.toString();
    QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        date = QDateTime::fromString(text, Qt::ISODate).date();
    if (!value.isString() || !date.isValid()) {
        failMember(name, QStringLiteral("an ISO 8601 date"));
        return QDate();
    }
    return date;
}

QJsonObject CJsonReply::object(const QString& name)
{
    return member(name, &QJsonValue::isObject, QStringLiteral("an object")).toObject();
}
