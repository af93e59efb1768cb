#include "cli/cclicommand.h"
#include "foundation/clogger.h"
#include "version.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

namespace
{

QString overview()
{
    QString text =
        QStringLiteral("Usage: tessaray-cli [--data-dir DIR] <command> [options]\n\n"
                       "Drives the Tessaray core without a window.\n\n"
                       "Options:\n"
                       "  --data-dir DIR  Use DIR as the program data directory (overrides TESSARAY_DATA_DIR).\n"
                       "  -h, --help      Show this help; '<command> --help' shows a command's options.\n"
                       "  -v, --version   Show the program version.\n\n"
                       "Commands:\n");
    for (const CCliCommand& command : CCli::commands())
        text += QStringLiteral("  %1 %2\n").arg(command.name, -14).arg(command.summary);
    return text;
}

void print(FILE* stream, const QString& text)
{
    fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaray-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARAY_VERSION));

    // Global options come before the command's name; everything after it belongs to the command.
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    while (!arguments.isEmpty() && arguments.first().startsWith(QLatin1Char('-'))) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            print(stdout, overview());
            return CCli::Success;
        }
        if (option == QLatin1String("-v") || option == QLatin1String("--version")) {
            print(stdout, QStringLiteral("tessaray-cli %1\n").arg(QStringLiteral(TESSARAY_VERSION)));
            return CCli::Success;
        }
        if (option == QLatin1String("--data-dir") && !arguments.isEmpty()) {
            qputenv("TESSARAY_DATA_DIR", arguments.takeFirst().toLocal8Bit());
            continue;
        }
        if (option.startsWith(QLatin1String("--data-dir="))) {
            qputenv("TESSARAY_DATA_DIR", option.mid(11).toLocal8Bit());
            continue;
        }
        print(stderr, QStringLiteral("Unknown option '%1'.\n\n").arg(option) + overview());
        return CCli::UsageError;
    }
    if (arguments.isEmpty()) {
        print(stderr, overview());
        return CCli::UsageError;
    }

    const QString name = arguments.takeFirst();
    const CCliCommand* command = CCli::findCommand(name);
    if (!command) {
        print(stderr, QStringLiteral("Unknown command '%1'.\n\n").arg(name) + overview());
        return CCli::UsageError;
    }

    CLogger::setLogFileName(CLogger::logFileNameFor(QDateTime::currentDateTime()));
    arguments.prepend(QStringLiteral("tessaray-cli %1").arg(name));
    return command->run(arguments);
}
