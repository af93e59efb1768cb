// tessaray-cli cycle: the current navigation-data cycle from the web service.

#include "cli/cclicommand.h"
#include "foundation/csettings.h"
#include "webservices/cdatacycle.h"
#include "webservices/cwebservices.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTimer>

namespace
{

constexpr int MaxTimeoutSeconds = 86400;

int runCycle(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fetches the current navigation-data cycle and prints cycle, description, effective date and "
                       "end date, tab-separated (dates as yyyy-MM-dd)."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON object."));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("Give up when the web service has not answered after SECONDS (default 30)."),
        QStringLiteral("SECONDS"), QStringLiteral("30"));
    parser.addOptions({jsonOption, timeoutOption});
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return CCli::usageError(parser, QStringLiteral("cycle takes no arguments."));
    bool ok = false;
    const int timeout = parser.value(timeoutOption).toInt(&ok);
    if (!ok || timeout <= 0 || timeout > MaxTimeoutSeconds)
        return CCli::usageError(
            parser, QStringLiteral("--timeout takes a number of seconds from 1 to %1.").arg(MaxTimeoutSeconds));

    CDataCycle* dataCycle = CDataCycle::instance();
    QEventLoop loop;
    bool answered = false;
    QObject context;
    QObject::connect(dataCycle, &CDataCycle::completed, &context, [&]() {
        answered = true;
        loop.quit();
    });
    QObject::connect(dataCycle, &CDataCycle::error, &context, [&]() {
        answered = true;
        loop.quit();
    });
    QTimer::singleShot(timeout * 1000, &loop, &QEventLoop::quit);
    dataCycle->tryGetCurrentCycle();
    loop.exec();

    if (answered)
        CCli::waitForWorkerThreads();

    const QString address = CSettings::stringValue(SettingsKey::ServerAddress);
    if (!answered) {
        CCli::printError(QNetworkReply::TimeoutError,
                         QStringLiteral("The web service at %1 did not answer within %2 seconds.")
                             .arg(address, QString::number(timeout)));
        return CCli::Failure;
    }
    const std::optional<CycleInfo> cycle = dataCycle->currentCycle();
    const CRestFailure failure = dataCycle->lastFailure();
    if (failure.isFailure() || !cycle) {
        CCli::printError(failure.isFailure() ? failure.code() : CCli::Failure,
                         CCli::withReason(QStringLiteral("The current cycle could not be fetched from %1").arg(address),
                                          failure.text()));
        return CCli::Failure;
    }

    const QString effective = cycle->effective.toString(Qt::ISODate);
    const QString end = cycle->end.toString(Qt::ISODate);
    if (parser.isSet(jsonOption)) {
        CCli::printLine(QString::fromUtf8(QJsonDocument(QJsonObject{
                                                            {QStringLiteral("cycle"), cycle->cycle},
                                                            {QStringLiteral("description"), cycle->description},
                                                            {QStringLiteral("effective"), effective},
                                                            {QStringLiteral("end"), end},
                                                            {QStringLiteral("internal_id"), cycle->cycleInternalId},
                                                        })
                                              .toJson(QJsonDocument::Compact)));
    } else {
        CCli::printLine(QStringLiteral("%1\t%2\t%3\t%4").arg(cycle->cycle).arg(cycle->description, effective, end));
    }
    return CCli::Success;
}

const CCliCommandRegistration cycleRegistration(
    {QStringLiteral("cycle"), QStringLiteral("Print the current cycle: number, description, effective and end dates"),
     runCycle});

} // namespace
