#pragma once

#include <QDate>
#include <QJsonObject>
#include <QString>

class QJsonDocument;

// Reads the members of one JSON reply of the web service by their expected types and keeps the first
// problem found. A 200 reply proves nothing: every member the program relies on must be there with its
// type, or the reply is refused as a whole and nothing of it is used.
//
// Each read of a missing or mistyped member records the problem and returns an empty value; later reads
// keep the first problem, so a caller reads everything and checks isValid() once.
class CJsonReply
{
public:
    // `what` names the reply in the problem text ("cycle reply"). A document that is not an object
    // (empty body, an array, not JSON) is a problem at once.
    CJsonReply(const QJsonDocument& document, const QString& what);
    CJsonReply(const QJsonObject& object, const QString& what);

    // A string member.
    QString text(const QString& name);
    // A string member that is not empty once trimmed.
    QString nonEmptyText(const QString& name);
    // A number member that is a whole number from 1 to INT_MAX.
    int positiveInt(const QString& name);
    // A string member holding a decimal number from 1 to INT_MAX ("2612").
    int positiveIntText(const QString& name);
    // A string member holding an ISO 8601 date, or date and time ("2026-11-26", "2026-11-26T00:00:00Z").
    QDate date(const QString& name);
    // An object member.
    QJsonObject object(const QString& name);

    // Records `problem` unless an earlier one is recorded.
    void fail(const QString& problem);
    bool isValid() const { return m_problem.isEmpty(); }
    // "The web service's cycle reply has no text member \"Cycle\"."; empty while valid.
    QString problem() const { return m_problem; }

private:
    QJsonValue member(const QString& name, bool (QJsonValue::*hasType)() const, const QString& typeName);
    void failMember(const QString& name, const QString& expectation);

    QJsonObject m_object;
    QString m_what;
    QString m_problem;
};
