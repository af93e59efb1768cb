// tessaray-cli diagnostics FILE: the zip for a support request.

#include "cli/cclicommand.h"
#include "commands/cdiagnosticsbundle.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace
{
int runDiagnostics(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes one zip for a support request: the log files, settings.conf without credentials or "
                       "tokens, the simulator folders and how each was found, the data index header, the mapping "
                       "list, the state of every location, pending install journals, version and system. A file "
                       "already at FILE is replaced once the zip is complete."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The zip to write."));
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return CCli::usageError(parser, QStringLiteral("diagnostics takes exactly one FILE."));
    const QString path = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    if (QFileInfo(path).isDir())
        return CCli::usageError(
            parser, QStringLiteral("%1 is a folder; name the zip to write.").arg(QDir::toNativeSeparators(path)));

    Exception error;
    if (!CDiagnosticsBundle::write(path, true, &error)) {
        CCli::printError(error.errorNumber, error.message);
        return CCli::Failure;
    }
    CCli::printLine(QDir::toNativeSeparators(path));
    return CCli::Success;
}

const CCliCommandRegistration registration({QStringLiteral("diagnostics"),
                                            QStringLiteral("Write a zip for a support request: diagnostics FILE"),
                                            runDiagnostics});
} // namespace
