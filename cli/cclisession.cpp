#include "cclisession.h"

#include "cli/cclicommand.h"
#include "commands/cindexrefresh.h"
#include "commands/cinstallrecovery.h"
#include "commands/clocalindex.h"
#include "commands/clocationselector.h"
#include "foundation/csettings.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace
{
// Runs `start`, then the event loop until it is quit or the time is up; false on time-out.
bool waitFor(const std::function<void(QEventLoop&)>& start)
{
    QEventLoop loop;
    bool timedOut = false;
    QTimer::singleShot(CCliSession::ServiceTimeoutSeconds * 1000, &loop, [&]() {
        timedOut = true;
        loop.quit();
    });
    start(loop);
    loop.exec();
    return !timedOut;
}

QString serviceAddress()
{
    return CSettings::stringValue(SettingsKey::ServerAddress);
}
} // namespace

void CCliSession::note(const QString& text)
{
    fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString CCliSession::label(const AddonStatus& location)
{
    return QStringLiteral("%0 (%1)").arg(location.name, location.simulator);
}

void CCliSession::recoverFirst()
{
    Exception error;
    if (!CLocalIndex::loadMappings(&error))
        return; // loadIndex() says why
    const QMap<QString, QString> pending = CInstallRecovery::recoverMappedLocations();
    for (auto it = pending.cbegin(); it != pending.cend(); ++it)
        note(QStringLiteral("warning: the interrupted install in %0 is still pending: %1.")
                 .arg(QDir::toNativeSeparators(it.key()), it.value()));
}

bool CCliSession::isServiceReachable()
{
    bool connected = false;
    QObject context;
    waitFor([&](QEventLoop& loop) {
        QObject::connect(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged, &context, [&](bool state) {
            connected = state;
            loop.quit();
        });
        CNetworkStatus::instance()->check();
    });
    return connected;
}

bool CCliSession::signIn(bool online)
{
    if (!online) {
        if (CUser::instance()->restoreStoredOffline())
            return true;
        CCli::printError(1, QStringLiteral("No one is signed in; 'tessaray-cli login USERNAME' signs in."));
        return false;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.rest.debug=false"));
    QString failure;
    bool answered = false;
    QObject context;
    const bool inTime = waitFor([&](QEventLoop& loop) {
        QObject::connect(CUser::instance(), &CUser::onRESTCompleted, &context, [&]() {
            answered = true;
            loop.quit();
        });
        QObject::connect(CUser::instance(), &CUser::onRESTError, &context,
                         [&](ERESTService, const QJsonDocument& error) {
                             if (answered)
                                 return;
                             answered = true;
                             failure = error.object().value(QStringLiteral("error")).toString();
                             loop.quit();
                         });
        CUser::instance()->restoreLogIn(QStringList());
    });
    if (inTime && failure.isEmpty() && CUser::instance()->userId() > 0)
        return true;
    if (!inTime)
        failure = QStringLiteral("no answer from the web service within %0 s").arg(ServiceTimeoutSeconds);
    // What stood in the way (a proxy, a certificate) says more than the session's own words.
    const QString met = CNetworkStatus::instance()->lastProblem();
    if (!met.isEmpty())
        failure = met;
    CCli::printError(1, QStringLiteral("The stored log-in could not be restored (%0). Is the web service at %1 "
                                       "reachable, and has this account signed in ('tessaray-cli login USERNAME')?")
                            .arg(failure.isEmpty() ? QStringLiteral("no reason given") : failure, serviceAddress()));
    return false;
}

bool CCliSession::loadIndex(bool refresh)
{
    if (refresh) {
        CIndexRefresh refreshing;
        QEventLoop loop;
        QObject::connect(&refreshing, &CIndexRefresh::finished, &loop, &QEventLoop::quit);
        refreshing.start(ServiceTimeoutSeconds * 1000);
        loop.exec();
        CCli::waitForWorkerThreads();
        for (const QString& error : refreshing.outcome().errors)
            note(QStringLiteral("warning: ") + error);
        if (!refreshing.outcome().completed)
            note(QStringLiteral("warning: the data index could not be brought up to date; the local copy is used."));
    }
    Exception error;
    QString warning;
    if (!CLocalIndex::load(&error, &warning)) {
        CCli::printError(error.errorNumber, error.message);
        return false;
    }
    if (!warning.isEmpty())
        note(QStringLiteral("warning: ") + warning);
    return true;
}

bool CCliSession::parseAddonArguments(QCommandLineParser& parser, const QStringList& arguments,
                                      const QCommandLineOption& all, int* status)
{
    if (CCli::parseOrExit(parser, arguments, *status))
        return false;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(all) == !positional.isEmpty() || positional.size() > 2) {
        *status = CCli::usageError(parser, QStringLiteral("Give --all, or ADDON [MAPPING]."));
        return false;
    }
    return true;
}

QList<AddonStatus> CCliSession::selectTargets(bool all, const QStringList& positional, Select select, int* status)
{
    const QList<AddonStatus> locations = CAddonStatus::all();
    if (all) {
        if (locations.isEmpty()) {
            CCli::printError(1, QStringLiteral("No add-on is mapped yet; 'tessaray-cli scan --save' finds them."));
            *status = CCli::Failure;
        }
        return locations;
    }
    CLocationSelector::Selection chosen =
        CLocationSelector::select(locations, positional.value(0), positional.value(1));
    if (chosen.locations.size() > 1 && select == Select::OneAtMost) {
        chosen.error = QStringLiteral("%0 has %1 mapped locations; name one of them.")
                           .arg(chosen.locations.first().name)
                           .arg(chosen.locations.size());
        for (const AddonStatus& location : qAsConst(chosen.locations))
            chosen.candidates.append(QStringLiteral("%0 (%1) %2")
                                         .arg(location.simulator, location.mappingGuid.toString(QUuid::WithoutBraces),
                                              QDir::toNativeSeparators(location.folder)));
        chosen.locations.clear();
        chosen.addonKnown = false; // a usage matter: the arguments must say which
    }
    if (!chosen.locations.isEmpty())
        return chosen.locations;
    // A name that fits no add-on, or several, is the caller's mistake (2); an add-on without the location
    // asked for is a fact about this machine (1).
    *status = chosen.addonKnown ? CCli::Failure : CCli::UsageError;
    CCli::printError(*status, chosen.error);
    for (const QString& candidate : qAsConst(chosen.candidates))
        note(QStringLiteral("  ") + candidate);
    return {};
}
