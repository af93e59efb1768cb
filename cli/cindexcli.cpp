// tessaray-cli index show FILE [--json]: every add-on and location of a data index or mapping list.

#include "cli/cclicommand.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/csimulators.h"
#include "webservices/cdownloadlogutils.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <vector>

namespace
{

// The rules of a location on one line: "pattern:…; filesystem:dir|file; registry:key|value; uninstall:…".
QString rulesText(const IndexPathInfo& location)
{
    QStringList rules;
    for (const QString& pattern : location.patterns)
        rules << QStringLiteral("pattern:%0").arg(pattern);
    for (const FileSystemRule& rule : location.filesystem)
        rules << QStringLiteral("filesystem:%0|%1").arg(rule.directory, rule.fileName);
    for (const RegistryRule& rule : location.registry)
        rules << QStringLiteral("registry:%0|%1").arg(rule.keyPath, rule.valueName);
    for (const UninstallRule& rule : location.uninstall) {
        if (rule.hasProductGuid)
            rules << QStringLiteral("uninstall:%0").arg(rule.productGuid.toString());
        else
            rules << QStringLiteral("uninstall:%0|%1").arg(rule.keyName, rule.valueName);
    }
    return rules.join(QStringLiteral("; "));
}

QJsonObject locationJson(const IndexPathInfo& location)
{
    QJsonArray filesystem;
    for (const FileSystemRule& rule : location.filesystem)
        filesystem.append(
            QJsonObject{{QStringLiteral("directory"), rule.directory}, {QStringLiteral("fileName"), rule.fileName}});
    QJsonArray registry;
    for (const RegistryRule& rule : location.registry)
        registry.append(
            QJsonObject{{QStringLiteral("keyPath"), rule.keyPath}, {QStringLiteral("valueName"), rule.valueName}});
    QJsonArray uninstall;
    for (const UninstallRule& rule : location.uninstall) {
        if (rule.hasProductGuid)
            uninstall.append(
                QJsonObject{{QStringLiteral("productGuid"), CDownloadLogUtils::guidText(rule.productGuid)}});
        else
            uninstall.append(
                QJsonObject{{QStringLiteral("keyName"), rule.keyName}, {QStringLiteral("valueName"), rule.valueName}});
    }
    return QJsonObject{
        {QStringLiteral("mappingGuid"), CDownloadLogUtils::guidText(location.mappingGuid)},
        {QStringLiteral("platform"), platformName(location.platform)},
        {QStringLiteral("simulator"), CSimulators::shortName(location.simulator)},
        {QStringLiteral("directory"), location.directory},
        {QStringLiteral("cycle"), location.cycle},
        {QStringLiteral("revision"), location.revision},
        {QStringLiteral("specified"), location.specified ? QStringLiteral("manual") : QStringLiteral("auto")},
        {QStringLiteral("backup"), location.backup},
        {QStringLiteral("patterns"), QJsonArray::fromStringList(location.patterns)},
        {QStringLiteral("filesystem"), filesystem},
        {QStringLiteral("registry"), registry},
        {QStringLiteral("uninstall"), uninstall},
    };
}

int runShow(const QString& file, bool json, bool count)
{
    std::vector<std::unique_ptr<IndexInfo>> addons; // in file order
    Exception failure;
    bool failed = false;
    CDataIndexSerializer serializer;
    QObject::connect(&serializer, &CDataIndexSerializer::addonFound,
                     [&addons](IndexInfo* addon) { addons.emplace_back(addon); });
    QObject::connect(&serializer, &CDataIndexSerializer::taskError, [&](const Exception& error) {
        failure = error;
        failed = true;
    });
    serializer.deserialize(file);
    if (failed) {
        CCli::printError(failure.errorNumber, failure.message);
        return CCli::Failure;
    }

    if (count) {
        int locations = 0;
        for (const auto& addon : addons)
            locations += addon->paths.size();
        CCli::printLine(QStringLiteral("%0\t%1").arg(addons.size()).arg(locations));
        return CCli::Success;
    }

    if (json) {
        QJsonArray list;
        for (const auto& addon : addons) {
            QJsonArray locations;
            for (const IndexPathInfo* location : addon->paths)
                locations.append(locationJson(*location));
            list.append(QJsonObject{
                {QStringLiteral("guid"), CDownloadLogUtils::guidText(addon->guid)},
                {QStringLiteral("name"), addon->name},
                {QStringLiteral("cycle"), addon->cycle},
                {QStringLiteral("revision"), addon->revision},
                {QStringLiteral("masterfile"), addon->masterfile},
                {QStringLiteral("internalId"), addon->internalId},
                {QStringLiteral("locations"), locations},
            });
        }
        CCli::printLine(QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("file"), file}, {QStringLiteral("addons"), list}})
                .toJson(QJsonDocument::Indented)
                .trimmed()));
        return CCli::Success;
    }

    // One write for the whole listing: a data index has thousands of locations.
    QStringList lines;
    for (const auto& addon : addons) {
        for (const IndexPathInfo* location : addon->paths) {
            lines.append(QStringList{
                CDownloadLogUtils::guidText(addon->guid), addon->name,
                CDownloadLogUtils::guidText(location->mappingGuid), CSimulators::shortName(location->simulator),
                platformName(location->platform), location->directory, QString::number(location->cycle),
                QString::number(location->revision),
                location->specified ? QStringLiteral("manual") : QStringLiteral("auto"), rulesText(*location)}
                             .join(QLatin1Char('\t')));
        }
    }
    if (!lines.isEmpty())
        CCli::printLine(lines.join(QLatin1Char('\n')));
    return CCli::Success;
}

int runIndex(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("index show FILE [--json | --count]\n\n"
                       "Lists every add-on and location of a data index or mapping list, one location a line:\n"
                       "add-on GUID, name, mapping GUID, simulator, platform, directory, cycle, revision,\n"
                       "auto|manual and the location's rules, tab-separated."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Print only the number of add-ons and of locations."));
    parser.addOptions({jsonOption, countOption});
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("show"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The index file to read."));
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty() || positional.first() != QLatin1String("show"))
        return CCli::usageError(parser, QStringLiteral("Unknown or missing action; expected 'show'."));
    if (positional.size() != 2)
        return CCli::usageError(parser, QStringLiteral("'index show' takes exactly one FILE."));
    if (parser.isSet(jsonOption) && parser.isSet(countOption))
        return CCli::usageError(parser, QStringLiteral("--json and --count exclude each other."));
    return runShow(positional.at(1), parser.isSet(jsonOption), parser.isSet(countOption));
}

const CCliCommandRegistration registration(CCliCommand{
    QStringLiteral("index"), QStringLiteral("Show the add-ons and locations of a data index or mapping list."),
    runIndex});

} // namespace
