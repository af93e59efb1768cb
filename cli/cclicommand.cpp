#include "cclicommand.h"

#include "foundation/cworkerthread.h"
#include "platform/cterminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMap>
#include <QTimer>

#include <cstdio>

namespace
{
QMap<QString, CCliCommand>& registry()
{
    static QMap<QString, CCliCommand> commands;
    return commands;
}

// "tessaray-cli <command>" of the subcommand being run.
QString& currentCommandLine()
{
    static QString commandLine;
    return commandLine;
}

void printTo(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}
} // namespace

void CCli::registerCommand(const CCliCommand& command)
{
    registry().insert(command.name, command);
}

const CCliCommand* CCli::findCommand(const QString& name)
{
    auto it = registry().constFind(name);
    return it == registry().constEnd() ? nullptr : &it.value();
}

QList<CCliCommand> CCli::commands()
{
    return registry().values();
}

void CCli::printError(int code, const QString& message)
{
    // 0 means success to every caller of a shell; a failure that has no number of its own is a plain 1.
    const int shown = code == 0 ? Failure : code;
    printTo(stderr, QStringLiteral("error %1: %2\n").arg(QString::number(shown), message));
}

QString CCli::withReason(const QString& lead, const QString& reason)
{
    if (reason.isEmpty())
        return lead + QLatin1Char('.');
    if (reason.endsWith(QLatin1Char('.')))
        return lead + QStringLiteral(". ") + reason;
    return lead + QStringLiteral(": ") + reason + QLatin1Char('.');
}

void CCli::printLine(const QString& line)
{
    printTo(stdout, line + QLatin1Char('\n'));
    fflush(stdout);
}

namespace
{
// QCommandLineParser names the program after argv[0] (a build path); the help of a subcommand should show
// the name a user types.
QString helpTextOf(const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    const QStringList applicationArguments = QCoreApplication::arguments();
    if (!applicationArguments.isEmpty() && !currentCommandLine().isEmpty())
        text.replace(text.indexOf(applicationArguments.constFirst()), applicationArguments.constFirst().size(),
                     currentCommandLine());
    return text;
}
} // namespace

int CCli::usageError(const QCommandLineParser& parser, const QString& message)
{
    printTo(stderr, message + QLatin1Char('\n'));
    printTo(stderr, helpTextOf(parser));
    return UsageError;
}

bool CCli::parseOrExit(QCommandLineParser& parser, const QStringList& arguments, int& status)
{
    const QCommandLineOption help = parser.addHelpOption();
    currentCommandLine() = arguments.isEmpty() ? QString() : arguments.constFirst();
    if (!parser.parse(arguments)) {
        status = usageError(parser, parser.errorText());
        return true;
    }
    if (parser.isSet(help)) {
        printTo(stdout, helpTextOf(parser));
        status = Success;
        return true;
    }
    return false;
}

bool CCli::stderrIsTerminal()
{
    return CTerminal::stderrIsTerminal();
}

void CCli::waitForWorkerThreads()
{
    QEventLoop drain;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &drain, [&drain]() {
        if (CWorkerThread::liveCount() == 0)
            drain.quit();
    });
    poll.start(10);
    QTimer::singleShot(5000, &drain, &QEventLoop::quit);
    if (CWorkerThread::liveCount() != 0)
        drain.exec();
}
