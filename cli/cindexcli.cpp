// tessaray-cli index show [FILE] [--json | --count]: every add-on and location of a data index or mapping list.
// tessaray-cli index refresh [--json] [--no-index-update]: brings the local data index up to date.

#include "cli/cclicommand.h"
#include "commands/cindexrefresh.h"
#include "commands/clocalindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"

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
QString guidText(const QUuid& guid)
{
    return guid.toString(QUuid::WithoutBraces);
}

// The rules of a location on one line: "pattern:…; filesystem:dir|file; registry:key|value; uninstall:…".
QString rulesText(const LocationListing& location)
{
    QStringList rules;
    for (const QString& pattern : location.patterns)
        rules << QStringLiteral("pattern:%0").arg(pattern);
    for (const auto& rule : location.filesystem)
        rules << QStringLiteral("filesystem:%0|%1").arg(rule.first, rule.second);
    for (const auto& rule : location.registry)
        rules << QStringLiteral("registry:%0|%1").arg(rule.first, rule.second);
    for (const LocationListing::Uninstall& rule : location.uninstall) {
        if (!rule.productGuid.isNull())
            rules << QStringLiteral("uninstall:%0").arg(rule.productGuid.toString());
        else
            rules << QStringLiteral("uninstall:%0|%1").arg(rule.keyName, rule.valueName);
    }
    return rules.join(QStringLiteral("; "));
}

QJsonArray pairsJson(const QList<QPair<QString, QString>>& pairs, const QString& first, const QString& second)
{
    QJsonArray list;
    for (const auto& pair : pairs)
        list.append(QJsonObject{{first, pair.first}, {second, pair.second}});
    return list;
}

QJsonObject locationJson(const LocationListing& location)
{
    QJsonArray uninstall;
    for (const LocationListing::Uninstall& rule : location.uninstall) {
        if (!rule.productGuid.isNull())
            uninstall.append(QJsonObject{{QStringLiteral("productGuid"), guidText(rule.productGuid)}});
        else
            uninstall.append(
                QJsonObject{{QStringLiteral("keyName"), rule.keyName}, {QStringLiteral("valueName"), rule.valueName}});
    }
    return QJsonObject{
        {QStringLiteral("mappingGuid"), guidText(location.mappingGuid)},
        {QStringLiteral("platform"), location.platform},
        {QStringLiteral("simulator"), location.simulator},
        {QStringLiteral("directory"), location.directory},
        {QStringLiteral("cycle"), location.cycle},
        {QStringLiteral("revision"), location.revision},
        {QStringLiteral("specified"), location.specified ? QStringLiteral("manual") : QStringLiteral("auto")},
        {QStringLiteral("backup"), location.backup},
        {QStringLiteral("patterns"), QJsonArray::fromStringList(location.patterns)},
        {QStringLiteral("filesystem"),
         pairsJson(location.filesystem, QStringLiteral("directory"), QStringLiteral("fileName"))},
        {QStringLiteral("registry"),
         pairsJson(location.registry, QStringLiteral("keyPath"), QStringLiteral("valueName"))},
        {QStringLiteral("uninstall"), uninstall},
    };
}

int runShow(const QString& file, bool json, bool count)
{
    QList<AddonListing> addons;
    Exception failure;
    if (!CIndexListing::read(file, &addons, &failure)) {
        CCli::printError(failure.errorNumber, failure.message);
        return CCli::Failure;
    }

    if (count) {
        int locations = 0;
        for (const AddonListing& addon : qAsConst(addons))
            locations += addon.locations.size();
        CCli::printLine(QStringLiteral("%0\t%1").arg(addons.size()).arg(locations));
        return CCli::Success;
    }

    if (json) {
        QJsonArray list;
        for (const AddonListing& addon : qAsConst(addons)) {
            QJsonArray locations;
            for (const LocationListing& location : addon.locations)
                locations.append(locationJson(location));
            list.append(QJsonObject{
                {QStringLiteral("guid"), guidText(addon.guid)},
                {QStringLiteral("name"), addon.name},
                {QStringLiteral("cycle"), addon.cycle},
                {QStringLiteral("revision"), addon.revision},
                {QStringLiteral("masterfile"), addon.masterfile},
                {QStringLiteral("internalId"), addon.internalId},
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
    for (const AddonListing& addon : qAsConst(addons)) {
        for (const LocationListing& location : addon.locations) {
            lines.append(QStringList{
                guidText(addon.guid), addon.name, guidText(location.mappingGuid), location.simulator, location.platform,
                location.directory, QString::number(location.cycle), QString::number(location.revision),
                location.specified ? QStringLiteral("manual") : QStringLiteral("auto"), rulesText(location)}
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
    CIndexRefresh refresh;
    QEventLoop loop;
    QObject::connect(&refresh, &CIndexRefresh::finished, &loop, &QEventLoop::quit);
    refresh.start(timeoutSeconds * 1000);
    loop.exec();
    CCli::waitForWorkerThreads();

    const CIndexRefresh::Outcome outcome = refresh.outcome();
    for (const QString& error : outcome.errors)
        fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
    if (!outcome.ended) {
        CCli::printError(4, QStringLiteral("The data index was not brought up to date within %0 seconds (web "
                                           "service %1).")
                                .arg(timeoutSeconds)
                                .arg(CSettings::stringValue(SettingsKey::ServerAddress)));
        return CCli::Failure;
    }
    const IndexSummary summary = CIndexListing::summary();
    if (outcome.completed || summary.supported > 0) {
        if (json) {
            CCli::printLine(
                QString::fromUtf8(QJsonDocument(QJsonObject{
                                                    {QStringLiteral("id"), guidText(summary.id)},
                                                    {QStringLiteral("revision"), summary.revision},
                                                    {QStringLiteral("description"), summary.description},
                                                    {QStringLiteral("file"), QDir::toNativeSeparators(summary.file)},
                                                    {QStringLiteral("current"), summary.current},
                                                    {QStringLiteral("supported"), summary.supported},
                                                    {QStringLiteral("mapped"), summary.mapped},
                                                })
                                      .toJson(QJsonDocument::Compact)));
        } else {
            CCli::printLine(QStringList{guidText(summary.id), summary.revision, summary.description,
                                        QString::number(summary.supported), QString::number(summary.mapped)}
                                .join(QLatin1Char('\t')));
        }
    }
    // Without a mapping list the index completes unsuccessfully, yet nothing failed; a list that exists but
    // could not be read is a failure, as is an index that could not be brought up to date (even when the
    // old one still serves).
    const bool mappingListUnread = !outcome.completed && QFileInfo::exists(CDataLocations::mappingListFilePath());
    if (mappingListUnread)
        CCli::printError(3, QStringLiteral("The mapping list %0 could not be read.")
                                .arg(QDir::toNativeSeparators(CDataLocations::mappingListFilePath())));
    return outcome.errors.isEmpty() && !mappingListUnread ? CCli::Success : CCli::Failure;
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
                                           QStringLiteral("refresh: give up after SECONDS (default 60)."),
                                           QStringLiteral("SECONDS"), QStringLiteral("60"));
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
