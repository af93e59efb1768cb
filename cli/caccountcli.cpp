// tessaray-cli login, logout and whoami: the user session from a shell.

#include "cli/cclicommand.h"
#include "foundation/csettings.h"
#include "platform/cterminal.h"
#include "webservices/cuser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <string>

namespace
{

constexpr int MaxTimeoutSeconds = 86400;
const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                       QStringLiteral("Give up when the web service has not answered after SECONDS "
                                                      "(default 30)."),
                                       QStringLiteral("SECONDS"), QStringLiteral("30"));

// The outcome of one log-in: the first report of the session.
struct LogInResult
{
    bool answered = false;
    bool succeeded = false;
    QString message;
    CRestFailure failure; // why the step failed, when a request was made
};

// Runs `start` and waits for the session's first report, or for the time-out.
LogInResult waitForSession(const std::function<void()>& start, int timeoutSeconds)
{
    // The REST layer shows replies on the debug output; a shell user wants only the result.
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.rest.debug=false"));

    LogInResult result;
    CUser* user = CUser::instance();
    QEventLoop loop;
    QObject context;
    QObject::connect(user, &CUser::onRESTCompleted, &context, [&]() {
        if (result.answered)
            return;
        result = {true, true, QString(), CRestFailure()};
        loop.quit();
    });
    QObject::connect(user, &CUser::onRESTError, &context, [&](ERESTService, const QJsonDocument& error) {
        // A wrong password is reported twice; the first report says what happened.
        if (result.answered)
            return;
        result = {true, false, error.object().value(QStringLiteral("error")).toString(), user->lastFailure()};
        loop.quit();
    });
    QTimer::singleShot(timeoutSeconds * 1000, &loop, &QEventLoop::quit);
    start();
    if (!result.answered)
        loop.exec();
    return result;
}

int reportFailure(const LogInResult& result, int timeoutSeconds)
{
    if (!result.answered) {
        CCli::printError(QNetworkReply::TimeoutError,
                         QStringLiteral("The web service at %1 did not answer within %2 seconds.")
                             .arg(CSettings::stringValue(SettingsKey::ServerAddress), QString::number(timeoutSeconds)));
        return CCli::Failure;
    }
    // The session's own words first, then what the web service or the network said, unless that is the same.
    const QString detail = result.failure.text();
    const bool showDetail = !detail.isEmpty() && detail != result.message;
    CCli::printError(result.failure.isFailure() ? result.failure.code() : CCli::Failure,
                     showDetail ? QStringLiteral("%1 (%2)").arg(result.message, detail) : result.message);
    return CCli::Failure;
}

bool readTimeout(const QCommandLineParser& parser, int& seconds)
{
    bool ok = false;
    seconds = parser.value(timeoutOption).toInt(&ok);
    return ok && seconds > 0 && seconds <= MaxTimeoutSeconds;
}

// One record: user name, user id, region.
void printUser(bool json)
{
    const CUser* user = CUser::instance();
    if (json) {
        CCli::printLine(QString::fromUtf8(QJsonDocument(QJsonObject{
                                                            {QStringLiteral("username"), user->userName()},
                                                            {QStringLiteral("user_id"), user->userId()},
                                                            {QStringLiteral("region"), user->serverRegion()},
                                                            {QStringLiteral("first_name"), user->firstName()},
                                                            {QStringLiteral("last_name"), user->lastName()},
                                                        })
                                              .toJson(QJsonDocument::Compact)));
        return;
    }
    CCli::printLine(QStringLiteral("%1\t%2\t%3").arg(user->userName()).arg(user->userId()).arg(user->serverRegion()));
}

// Reads one line from stdin; with `hidden` the terminal does not echo it. False at the end of input.
bool readLine(bool hidden, QString& line)
{
    const bool restore = hidden && CTerminal::setInputEcho(false);
    std::string text;
    const bool read = static_cast<bool>(std::getline(std::cin, text));
    if (restore)
        CTerminal::setInputEcho(true);
    if (hidden)
        fputs("\n", stderr);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    line = QString::fromLocal8Bit(text.c_str(), int(text.size()));
    return read;
}

int runLogin(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Signs in to the web service and stores the log-in, enciphered, in the program's settings. "
                       "Prints user name, user id and download region, tab-separated."));
    parser.addPositionalArgument(QStringLiteral("USERNAME"), QStringLiteral("The account's user name."));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"),
                                           QStringLiteral("Read the password from the first line of stdin."));
    parser.addOption(passwordStdin);
    parser.addOption(timeoutOption);
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return CCli::usageError(parser, QStringLiteral("login takes exactly one USERNAME."));
    int timeout = 0;
    if (!readTimeout(parser, timeout))
        return CCli::usageError(
            parser, QStringLiteral("--timeout takes a number of seconds from 1 to %1.").arg(MaxTimeoutSeconds));

    QString password;
    if (parser.isSet(passwordStdin)) {
        if (!readLine(false, password)) {
            CCli::printError(CCli::Failure, QStringLiteral("No password on stdin."));
            return CCli::Failure;
        }
    } else if (CTerminal::stdinIsTerminal()) {
        fputs("Password: ", stderr);
        fflush(stderr);
        if (!readLine(true, password))
            return CCli::Failure;
    } else {
        return CCli::usageError(parser, QStringLiteral("stdin is not a terminal: pass --password-stdin to read the "
                                                       "password from it."));
    }

    const QString userName = parser.positionalArguments().first();
    const LogInResult result = waitForSession([&]() { CUser::instance()->login(userName, password); }, timeout);
    if (!result.succeeded)
        return reportFailure(result, timeout);
    printUser(false);
    return CCli::Success;
}

int runLogout(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Forgets the stored log-in (token and user id)."));
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return CCli::usageError(parser, QStringLiteral("logout takes no arguments."));
    CUser::forgetStoredCredentials();
    return CCli::Success;
}

int runWhoami(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Restores the stored log-in with the web service, as the program does at start, and prints "
                       "user name, user id and download region, tab-separated."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print one JSON object, with the user's names as well."));
    parser.addOption(jsonOption);
    parser.addOption(timeoutOption);
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return CCli::usageError(parser, QStringLiteral("whoami takes no arguments."));
    int timeout = 0;
    if (!readTimeout(parser, timeout))
        return CCli::usageError(
            parser, QStringLiteral("--timeout takes a number of seconds from 1 to %1.").arg(MaxTimeoutSeconds));

    // Only the stored values count: this command's own arguments are no program arguments.
    const LogInResult result = waitForSession([]() { CUser::instance()->restoreLogIn(QStringList()); }, timeout);
    if (!result.succeeded)
        return reportFailure(result, timeout);
    printUser(parser.isSet(jsonOption));
    return CCli::Success;
}

const CCliCommandRegistration
    loginRegistration({QStringLiteral("login"),
                       QStringLiteral("Sign in and store the log-in: login USERNAME [--password-stdin]"), runLogin});
const CCliCommandRegistration logoutRegistration({QStringLiteral("logout"), QStringLiteral("Forget the stored log-in"),
                                                  runLogout});
const CCliCommandRegistration whoamiRegistration(
    {QStringLiteral("whoami"), QStringLiteral("Restore the stored log-in; print user name, id and region"), runWhoami});

} // namespace
