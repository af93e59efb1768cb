#include "cdownloadstatisticsrecorder.h"

#include "downloader/chttpdownloadmanager.h"
#include "downloader/chttpdownloadtask.h"
#include "version.h"
#include "webservices/cdownloadlogutils.h"

#include <QDateTime>
#include <QSysInfo>

CDownloadStatisticsRecorder::CDownloadStatisticsRecorder(DownloadStatistics* statistics, std::function<qint64()> clock,
                                                         QObject* parent)
    : QObject(parent)
    , m_statistics(statistics)
    , m_clock(std::move(clock))
{
}

qint64 CDownloadStatisticsRecorder::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

QString CDownloadStatisticsRecorder::operatingSystemText()
{
    // Where no Windows version number exists, the kernel's version says what that number meant.
    return QStringLiteral("%0 %1 (%2, %3)")
        .arg(QSysInfo::productType(), QSysInfo::productVersion(), QSysInfo::kernelVersion(),
             QSysInfo::currentCpuArchitecture());
}

void CDownloadStatisticsRecorder::prepare(const QString& serverRegion, qint32 userId)
{
    m_statistics->server = serverRegion;
    m_statistics->userId = userId;
    m_statistics->operatingSystem = operatingSystemText();
    m_statistics->version = QStringLiteral(TESSARAY_VERSION);
    m_statistics->clientIdentifier = QStringLiteral("fms-client");
    m_statistics->chunkSize = qint32(CHttpDownloadTask::chunkSize());
    m_statistics->latency = 0;
}

void CDownloadStatisticsRecorder::markStart()
{
    m_statistics->start = now();
}

void CDownloadStatisticsRecorder::addressReceived(const QString& url)
{
    m_statistics->url = url;
    m_statistics->initialLatency = qint32(now() - m_statistics->start);
    m_statistics->fileName = CDownloadLogUtils::textAfterLast(url, QStringLiteral("/"));
}

void CDownloadStatisticsRecorder::watch(CHttpDownloadManager* manager)
{
    connect(manager, &CHttpDownloadManager::filesizeFetched, this, &CDownloadStatisticsRecorder::onFileSize);
    connect(manager, &CHttpDownloadManager::latencyMeasured, this, &CDownloadStatisticsRecorder::onLatency);
    connect(manager, &CHttpDownloadManager::finished, this, &CDownloadStatisticsRecorder::onFinished);
}

void CDownloadStatisticsRecorder::onFileSize(qint64 size)
{
    m_statistics->size = size;
    const qint64 chunk = m_statistics->chunkSize == 0 ? 1 : m_statistics->chunkSize;
    m_statistics->chunks = qint32(size / chunk + 1);
}

void CDownloadStatisticsRecorder::onLatency(qint64 latency)
{
    m_statistics->latency += qint32(latency);
}

void CDownloadStatisticsRecorder::onFinished(QString& url, CNetworkError& error)
{
    Q_UNUSED(url)
    Q_UNUSED(error)
    m_statistics->end = now();
    m_statistics->elapsed = m_statistics->end - m_statistics->start;
    emit completed();
}
