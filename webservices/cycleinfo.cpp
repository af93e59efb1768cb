#include "cycleinfo.h"

#include "cjsonreply.h"

CycleInfo CycleInfo::fromJson(const QJsonDocument& reply, QString* problem)
{
    CJsonReply members(reply, QStringLiteral("cycle reply"));
    CycleInfo info;
    info.cycle = members.positiveIntText(QStringLiteral("Cycle"));
    info.description = members.text(QStringLiteral("Description"));
    info.effective = members.date(QStringLiteral("Effective"));
    info.end = members.date(QStringLiteral("End"));
    info.cycleInternalId = members.text(QStringLiteral("CycleInternalId"));
    if (problem)
        *problem = members.problem();
    return members.isValid() ? info : CycleInfo();
}

void CycleInfo::registerMetaType()
{
    qRegisterMetaType<CycleInfo>("CycleInfo");
}
