// tessaray-cli index show [FILE] [--json | --count]: every add-on and location of a data index or mapping list.
// tessaray-cli index refresh [--json] [--no-index-update]: brings the local data index up to date.

#include "cli/cclicommand.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cwebservices.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

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

// Asks the web service for the current edition, downloads it when the local one is another, parses it and
// loads the mapping list, as the program does at start; then prints the local index's id, revision,
// description and the numbers of supported and mapped add-ons.
int runRefresh(bool json, int timeoutSeconds)
{
    CDataIndex* index = CDataIndex::instance();
    QEventLoop loop;
    bool ended = false;
    bool succeeded = false;
    QStringList errors;
    QObject context;
    QObject::connect(index, &CDataIndex::completed, &context, [&](bool succeed) {
        ended = true;
        succeeded = succeed;
        loop.quit();
    });
    QObject::connect(index, &CDataIndex::error, &context, [&](int, int number, const QString& message) {
        errors << QStringLiteral("error %0: %1").arg(number).arg(message);
        // Some failures end the check; others are followed by the local copy and completed().
        if (!index->isChecking()) {
            ended = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutSeconds * 1000, &loop, &QEventLoop::quit);
    index->initialize();
    if (!ended)
        loop.exec();

    CCli::waitForWorkerThreads();

    for (const QString& error : qAsConst(errors))
        fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    if (!ended) {
        CCli::printError(4, QStringLiteral("The data index was not brought up to date within %0 seconds (web "
                                           "service %1).")
                                .arg(timeoutSeconds)
                                .arg(CSettings::stringValue(SettingsKey::ServerAddress)));
        return CCli::Failure;
    }
    const QString path = CDataLocations::dataIndexFilePath();
    const DataIndexHeader header = CDataIndexSerializer::readHeader(path);
    const int supported = index->supported().size();
    int mapped = 0;
    for (const IndexInfo* addon : index->mappedAddons())
        mapped += addon->paths.size();
    if (succeeded || supported > 0) {
        if (json) {
            CCli::printLine(
                QString::fromUtf8(QJsonDocument(QJsonObject{
                                                    {QStringLiteral("id"), CDownloadLogUtils::guidText(header.id)},
                                                    {QStringLiteral("revision"), header.revision},
                                                    {QStringLiteral("description"), header.description},
                                                    {QStringLiteral("file"), QDir::toNativeSeparators(path)},
                                                    {QStringLiteral("current"), index->isCurrent()},
                                                    {QStringLiteral("supported"), supported},
                                                    {QStringLiteral("mapped"), mapped},
                                                })
                                      .toJson(QJsonDocument::Compact)));
        } else {
            CCli::printLine(QStringList{CDownloadLogUtils::guidText(header.id), header.revision, header.description,
                                        QString::number(supported), QString::number(mapped)}
                                .join(QLatin1Char('\t')));
        }
    }
    // Without a mapping list the index completes unsuccessfully, yet nothing failed; a list that exists but
    // could not be read is a failure, as is an index that could not be brought up to date (even when the
    // old one still serves).
    const bool mappingListUnread = !succeeded && QFileInfo::exists(CDataLocations::mappingListFilePath());
    if (mappingListUnread)
        CCli::printError(3, QStringLiteral("The mapping list %0 could not be read.")
                                .arg(QDir::toNativeSeparators(CDataLocations::mappingListFilePath())));
    return errors.isEmpty() && !mappingListUnread ? CCli::Success : CCli::Failure;
}

int runIndex(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("index show [FILE] [--json | --count]\n"
                       "index refresh [--json] [--no-index-update] [--timeout SECONDS]\n\n"
                       "show lists every add-on and location of a data index or mapping list (default: the local\n"
                       "data index), one location a line: add-on GUID, name, mapping GUID, simulator, platform,\n"
                       "directory, cycle, revision, auto|manual and the location's rules, tab-separated.\n"
                       "refresh asks the web service for the current data index, downloads it when the local one\n"
                       "is another edition (the old one stays until the new one is complete and readable), loads\n"
                       "the mapping list and prints: index id, revision, description, supported add-ons, mapped\n"
                       "locations."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print one JSON document."));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Print only the number of add-ons and of locations."));
    const QCommandLineOption noUpdateOption(QStringLiteral("no-index-update"),
                                            QStringLiteral("refresh: keep and read the local copy."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("refresh: give up after SECONDS (default 120)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("120"));
    parser.addOptions({jsonOption, countOption, noUpdateOption, timeoutOption});
    parser.addPositionalArgument(QStringLiteral("action"), QStringLiteral("show or refresh"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("show: the index file to read."));
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    const QStringList positional = parser.positionalArguments();
    const QString action = positional.value(0);
    if (action == QLatin1String("refresh")) {
        if (positional.size() != 1)
            return CCli::usageError(parser, QStringLiteral("'index refresh' takes no FILE."));
        bool ok = false;
        const int timeout = parser.value(timeoutOption).toInt(&ok);
        if (!ok || timeout <= 0 || timeout > 86400)
            return CCli::usageError(parser, QStringLiteral("--timeout takes a number of seconds from 1 to 86400."));
        return runRefresh(parser.isSet(jsonOption), timeout);
    }
    if (action != QLatin1String("show"))
        return CCli::usageError(parser, QStringLiteral("Unknown or missing action; expected 'show' or 'refresh'."));
    if (positional.size() > 2)
        return CCli::usageError(parser, QStringLiteral("'index show' takes at most one FILE."));
    if (parser.isSet(jsonOption) && parser.isSet(countOption))
        return CCli::usageError(parser, QStringLiteral("--json and --count exclude each other."));
    const QString file = positional.size() == 2 ? positional.at(1) : CDataLocations::dataIndexFilePath();
    return runShow(file, parser.isSet(jsonOption), parser.isSet(countOption));
}

const CCliCommandRegistration registration(CCliCommand{
    QStringLiteral("index"),
    QStringLiteral("Show a data index or mapping list, or bring the local data index up to date."), runIndex});

} // namespace
