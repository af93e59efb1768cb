#include "cdataindexreader.h"

#include "dataindex/cindexfileparser.h"
#include "downloader/chttpdownloadmanager.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/cworkerthread.h"

#include <QCoreApplication>

namespace
{
constexpr int fileErrorNumber = 3;
} // namespace

CDataIndexReader::CDataIndexReader(QObject* parent)
    : QObject(parent)
{
}

bool CDataIndexReader::isUpdateSuppressed(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument.trimmed().toLower() == QLatin1String("--no-index-update"))
            return true;
    }
    return false;
}

QString CDataIndexReader::downloadPath()
{
    return CDataLocations::dataIndexFilePath() + QStringLiteral(".download");
}

void CDataIndexReader::read(bool current, const std::optional<IndexInformation>& information)
{
    BV_LOG(1, QStringLiteral("Reading data index."));
    const bool suppressed = isUpdateSuppressed(QCoreApplication::arguments());
    if (current || !information || suppressed) {
        BV_LOG(1, QStringLiteral("Try to parse data index."));
        parseIndex(CDataLocations::dataIndexFilePath());
        return;
    }

    const QString url = information->location;
    m_manager = new CHttpDownloadManager(this);
    connect(m_manager, &CHttpDownloadManager::finished, this, &CDataIndexReader::onIndexFileDownloaded);
    if (!m_manager->appendTask(url, downloadPath(), 1)) {
        CNetworkError refused;
        refused.setMessage(QStringLiteral("The data index address '%0' can't be downloaded.").arg(url));
        QString reported = url;
        onIndexFileDownloaded(reported, refused);
        return;
    }
    m_manager->startTask(url);
}

void CDataIndexReader::onIndexFileDownloaded(QString& url, CNetworkError& error)
{
    BV_LOG(1, QStringLiteral("Index file downloaded."));
    if (m_manager) {
        m_manager->disconnect(this);
        m_manager->deleteLater();
        m_manager = nullptr;
    }
    if (error.hasError()) {
        BV_LOG(6, QStringLiteral("Index file download error: network error."));
        emit networkError(url, error);
        parseIndex(CDataLocations::dataIndexFilePath());
        return;
    }
    BV_LOG(1, QStringLiteral("Try to parse index."));
    parseOnWorker(CDataLocations::dataIndexFilePath(), downloadPath(), url);
}

void CDataIndexReader::parseIndex(const QString& path)
{
    parseOnWorker(path, QString(), QString());
}

void CDataIndexReader::parseOnWorker(const QString& path, const QString& candidate, const QString& url)
{
    BV_LOG(1, QStringLiteral("Parsing index file %0.").arg(path));
    auto* parser = new CIndexFileParser(path, candidate);
    connect(parser, &CIndexFileParser::done, this, [this, url](const CIndexFileParser::Result& result) {
        if (!result.candidateProblem.isEmpty()) {
            const QString message = QStringLiteral("The data index downloaded from %0 is not usable (%1); the "
                                                   "local copy is kept.")
                                        .arg(url, result.candidateProblem);
            BV_LOG(6, message);
            emit failed(BV_EXCEPTION(fileErrorNumber, 6, message));
        }
        if (!result.parseProblem.isEmpty())
            emit failed(BV_EXCEPTION(fileErrorNumber, 6, result.parseProblem));
        emit parsed(result.addons, result.replaced);
        emit installed();
        deleteLater();
    });
    CWorkerThread::start(parser, QStringLiteral("index parser"), &CIndexFileParser::run);
}
