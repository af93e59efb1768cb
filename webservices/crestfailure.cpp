#include "crestfailure.h"

#include <QNetworkReply>

namespace
{
bool isErrorStatus(int httpStatus)
{
    return httpStatus >= 300;
}
} // namespace

QString CRestFailure::text() const
{
    if (!isErrorStatus(httpStatus))
        return reason;
    return reason.isEmpty() ? QStringLiteral("HTTP %1").arg(httpStatus)
                            : QStringLiteral("HTTP %1 %2").arg(QString::number(httpStatus), reason);
}

int CRestFailure::code() const
{
    return isErrorStatus(httpStatus) ? httpStatus : networkError;
}

CRestFailure CRestFailure::unusableReply(int httpStatus, const QString& problem)
{
    return CRestFailure{QNetworkReply::ProtocolFailure, httpStatus, problem};
}
