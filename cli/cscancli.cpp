// tessaray-cli scan [--index FILE] [--json] [--save]: finds the data index's add-ons on this machine.

#include "cli/cclicommand.h"
#include "dataindex/caddonsearcher.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/cworkerthread.h"
#include "webservices/cdownloadlogutils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>
#include <vector>

namespace
{

// Reads an index file into `add` (which takes each record); false with `error` set when it can't be read.
template <typename Add> bool readIndex(const QString& file, Add add, Exception& error)
{
    bool failed = false;
    CDataIndexSerializer serializer;
    QObject::connect(&serializer, &CDataIndexSerializer::addonFound, add);
    QObject::connect(&serializer, &CDataIndexSerializer::taskError, [&](const Exception& reported) {
        error = reported;
        failed = true;
    });
    serializer.deserialize(file);
    return !failed;
}

void showProgress(const QString& text)
{
    // Progress is drawn on a terminal only, over one line.
    const QByteArray line = QStringLiteral("\r\x1b[K%0").arg(text.left(100)).toLocal8Bit();
    fputs(line.constData(), stderr);
    fflush(stderr);
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
    CDataIndex* dataIndex = CDataIndex::instance();
    Exception error;
    if (!readIndex(
            indexFile, [dataIndex](IndexInfo* addon) { dataIndex->addSupportedAddon(addon); }, error)) {
        CCli::printError(error.errorNumber, error.message);
        return CCli::Failure;
    }

    const bool progress = CCli::stderrIsTerminal();
    std::vector<std::unique_ptr<IndexInfo>> found;
    QEventLoop loop;
    auto* searcher = new CAddonSearcher;
    searcher->setAddons(&dataIndex->supported().map());
    QObject receiver;
    QObject::connect(searcher, &CAddonSearcher::addonFound, &receiver,
                     [&found](IndexInfo* addon, int) { found.emplace_back(addon); });
    if (progress) {
        QObject::connect(searcher, &CAddonSearcher::searchStarted, &receiver,
                         [](const QString& name, const QString& simulator) {
                             showProgress(QStringLiteral("Searching for %0, (%1).").arg(name, simulator));
                         });
    }
    QObject::connect(searcher, &CAddonSearcher::searchCompleted, &loop, &QEventLoop::quit);
    QThread* thread = CWorkerThread::start(searcher, QStringLiteral("Addon search"), &CAddonSearcher::search);
    loop.exec();
    thread->quit();
    thread->wait();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (progress)
        showProgress(QString());

    if (parser.isSet(jsonOption)) {
        QJsonArray list;
        for (const auto& addon : found) {
            const IndexPathInfo* location = addon->paths.first();
            list.append(QJsonObject{
                {QStringLiteral("addonGuid"), CDownloadLogUtils::guidText(addon->guid)},
                {QStringLiteral("name"), addon->name},
                {QStringLiteral("simulator"), CSimulators::shortName(location->simulator)},
                {QStringLiteral("directory"), location->directory},
                {QStringLiteral("mappingGuid"), CDownloadLogUtils::guidText(location->mappingGuid)},
                {QStringLiteral("patterns"), QJsonArray::fromStringList(location->patterns)},
                {QStringLiteral("titles"), QJsonArray::fromStringList(location->matchedTitles)},
            });
        }
        CCli::printLine(QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented).trimmed()));
    } else {
        for (const auto& addon : found) {
            const IndexPathInfo* location = addon->paths.first();
            CCli::printLine(
                QStringList{addon->name, CSimulators::shortName(location->simulator), location->directory}.join(
                    QLatin1Char('\t')));
        }
    }
    if (progress)
        fprintf(stderr, "Scan completed - %d addons detected.\n", int(found.size()));

    if (!parser.isSet(saveOption))
        return CCli::Success;

    // Mappings already in the list stay and are not repeated; the list is written only when what it held
    // was read completely, so that a damaged or foreign file never loses the user's hand-made mappings.
    const QString mappingFile = CDataLocations::mappingListFilePath();
    if (!dataIndex->loadMappedAddons(mappingFile, &error)) {
        CCli::printError(error.errorNumber, QStringLiteral("%0; mapping.index left unchanged").arg(error.message));
        return CCli::Failure;
    }
    QList<IndexInfo*> records;
    for (auto& addon : found)
        records.append(addon.release());
    const CDataIndex::FoundAddonsMerge merge = dataIndex->addFoundAddons(records);
    if (!dataIndex->saveMappedAddons(mappingFile, &error)) {
        CCli::printError(error.errorNumber, error.message);
        return CCli::Failure;
    }
    fprintf(stderr, "%s\n",
            QStringLiteral("Saved %0 new mappings to %1 (%2 already mapped).")
                .arg(merge.added)
                .arg(QDir::toNativeSeparators(mappingFile))
                .arg(merge.alreadyMapped)
                .toLocal8Bit()
                .constData());
    return CCli::Success;
}

const CCliCommandRegistration registration(CCliCommand{
    QStringLiteral("scan"), QStringLiteral("Search this machine for the add-ons of the data index."), runScan});

} // namespace
