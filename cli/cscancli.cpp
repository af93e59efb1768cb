// tessaray-cli scan [--index FILE] [--json] [--save]: finds the data index's add-ons on this machine.

#include "cli/cclicommand.h"
#include "commands/caddonscan.h"
#include "commands/clocalindex.h"
#include "foundation/cdatalocations.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace
{
void showProgress(const QString& text)
{
    // Progress is drawn on a terminal only, over one line.
    const QByteArray line = QStringLiteral("\r\x1b[K%0").arg(text.left(100)).toLocal8Bit();
    fputs(line.constData(), stderr);
    fflush(stderr);
}

QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

int runScan(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("scan [--index FILE] [--json] [--save]\n\n"
                       "Searches this machine for the add-ons of the data index (default: the local data.index).\n"
                       "Prints one line per add-on found: name, simulator, folder, tab-separated."));
    const QCommandLineOption indexOption(QStringLiteral("index"), QStringLiteral("The data index to use."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    const QCommandLineOption saveOption(
        QStringLiteral("save"),
        QStringLiteral("Add what was found to the mapped add-ons and write mapping.index (mappings already there "
                       "are kept and not repeated)."));
    parser.addOptions({indexOption, jsonOption, saveOption});
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return CCli::usageError(parser, QStringLiteral("'scan' takes no arguments."));

    const QString indexFile =
        parser.isSet(indexOption) ? parser.value(indexOption) : CDataLocations::dataIndexFilePath();
    Exception error;
    if (!CLocalIndex::loadSupported(indexFile, &error)) {
        CCli::printError(error.errorNumber, error.message);
        return CCli::Failure;
    }

    const bool progress = CCli::stderrIsTerminal();
    CAddonScan scan;
    QEventLoop loop;
    if (progress) {
        QObject::connect(&scan, &CAddonScan::searchStarted, &loop, [](const QString& name, const QString& simulator) {
            showProgress(QStringLiteral("Searching for %0, (%1).").arg(name, simulator));
        });
    }
    QObject::connect(&scan, &CAddonScan::finished, &loop, &QEventLoop::quit);
    scan.start();
    loop.exec();
    CCli::waitForWorkerThreads();
    if (progress)
        showProgress(QString());

    const QList<FoundAddon> found = scan.found();
    if (parser.isSet(jsonOption)) {
        QJsonArray list;
        for (const FoundAddon& addon : found) {
            list.append(QJsonObject{
                {QStringLiteral("addonGuid"), guidText(addon.addonGuid)},
                {QStringLiteral("name"), addon.name},
                {QStringLiteral("simulator"), addon.simulator},
                {QStringLiteral("directory"), addon.directory},
                {QStringLiteral("mappingGuid"), guidText(addon.mappingGuid)},
                {QStringLiteral("patterns"), QJsonArray::fromStringList(addon.patterns)},
                {QStringLiteral("titles"), QJsonArray::fromStringList(addon.titles)},
            });
        }
        CCli::printLine(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented).trimmed()));
    } else {
        for (const FoundAddon& addon : found)
            CCli::printLine(QStringList{addon.name, addon.simulator, addon.directory}.join(QLatin1Char('\t')));
    }
    if (progress)
        fprintf(stderr, "Scan completed - %d addons detected.\n", int(found.size()));

    if (!parser.isSet(saveOption))
        return CCli::Success;

    // Mappings already in the list stay and are not repeated; the list is written only when what it held
    // was read completely, so that a damaged or foreign file never loses the user's hand-made mappings.
    if (!CLocalIndex::loadMappings(&error)) {
        CCli::printError(error.errorNumber, QStringLiteral("%0; mapping.index left unchanged").arg(error.message));
        return CCli::Failure;
    }
    const CAddonScan::Merge merge = scan.addToMapped();
    if (!CLocalIndex::saveMappings(&error)) {
        CCli::printError(error.errorNumber, error.message);
        return CCli::Failure;
    }
    fprintf(stderr, "%s\n",
            QStringLiteral("Saved %0 new mappings to %1 (%2 already mapped).")
                .arg(merge.added)
                .arg(QDir::toNativeSeparators(CDataLocations::mappingListFilePath()))
                .arg(merge.alreadyMapped)
                .toLocal8Bit()
                .constData());
    return CCli::Success;
}

const CCliCommandRegistration registration(CCliCommand{
    QStringLiteral("scan"), QStringLiteral("Search this machine for the add-ons of the data index."), runScan});

} // namespace
