#include "chttpdownloadmanager.h"

#include "downloader/cfileutils.h"
#include "downloader/chttpdownloadtask.h"
#include "foundation/clogger.h"
#include "webservices/cdownloadlogutils.h"

#include <QFileInfo>
#include <QUrl>

CHttpDownloadManager::CHttpDownloadManager(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<CNetworkError>();
    qRegisterMetaType<CFilePiece>();
}

CHttpDownloadManager::~CHttpDownloadManager()
{
    stopAllTasks();
}

bool CHttpDownloadManager::appendTask(const QString& url, const QString& path, int threads)
{
    if (m_tasks.contains(key(url))) {
        BV_LOG(1, QStringLiteral("URL already in taskmap. Unable to add the url '%0' again.").arg(url));
        return false;
    }
    BV_LOG(1, QStringLiteral("Appended download task: url=%0; path=%1, thread=%2").arg(url, path).arg(threads));
    QString destination = CFileUtils::normalizePath(path);
    BV_LOG(1, QStringLiteral("Data will be stored as: %0").arg(destination));
    if (QFileInfo(destination).isDir()) {
        const QString urlPath = QUrl(url).path();
        destination +=
            QLatin1Char('/') + CDownloadLogUtils::textAfterLast(urlPath.isEmpty() ? url : urlPath, QStringLiteral("/"));
    }

    BV_LOG(1, QStringLiteral("Dispatching downloader"));
    auto* task = new CHttpDownloadTask(url, destination, this);
    BV_LOG(1, QStringLiteral("Download task created."));
    task->setThreadCount(threads);
    BV_LOG(1, QStringLiteral("Adding task to taskmap"));
    m_tasks.insert(key(url), task);
    BV_LOG(1, QStringLiteral("Task added."));
    return true;
}

void CHttpDownloadManager::startTask(const QString& url)
{
    BV_LOG(1, QStringLiteral("Starting download task..."));
    CHttpDownloadTask* task = m_tasks.value(key(url));
    if (!task) {
        BV_LOG(5, QStringLiteral("No task registered for url %0").arg(url));
        return;
    }
    if (m_running.contains(task)) {
        BV_LOG(1, QStringLiteral("Unable to start task: Task is already in taskmap."));
        return;
    }
    BV_LOG(1, QStringLiteral("Connecting task signals..."));
    connect(task, &CHttpDownloadTask::finished, this, &CHttpDownloadManager::slotTaskFinished);
    connect(task, &CHttpDownloadTask::errorReceived, this, &CHttpDownloadManager::slotError);
    connect(task, &CHttpDownloadTask::fileSizeReceived, this, &CHttpDownloadManager::filesizeFetched);
    connect(task, &CHttpDownloadTask::latencyMeasured, this, &CHttpDownloadManager::latencyMeasured);
    BV_LOG(1, QStringLiteral("Appending task to download queue"));
    m_running.append(task);
    BV_LOG(1, QStringLiteral("Starting task..."));
    task->start();
    BV_LOG(1, QStringLiteral("Task started..."));
}

void CHttpDownloadManager::deleteTask(const QString& url)
{
    BV_LOG(1, QStringLiteral("Try to stop task with url %0").arg(url));
    if (url.isEmpty()) {
        const QList<CHttpDownloadTask*> running = m_running;
        for (CHttpDownloadTask* task : running) {
            task->stop();
            disconnect(task, nullptr, this, nullptr);
        }
        m_running.clear();
        BV_LOG(1, QStringLiteral("Task stopped. Removing item from taskmap"));
        BV_LOG(1, QStringLiteral("Task removed from taskmap."));
        return;
    }
    CHttpDownloadTask* task = m_tasks.value(key(url));
    if (task && m_running.contains(task)) {
        task->stop();
        disconnect(task, nullptr, this, nullptr);
        m_running.removeAll(task);
    }
    BV_LOG(1, QStringLiteral("Task stopped. Removing item from taskmap"));
    m_tasks.remove(key(url));
    if (task)
        task->deleteLater();
    BV_LOG(1, QStringLiteral("Task removed from taskmap."));
}

void CHttpDownloadManager::stopAllTasks()
{
    const QList<QString> urls = m_tasks.keys();
    for (const QString& url : urls) {
        CHttpDownloadTask* task = m_tasks.value(url);
        if (!m_running.contains(task))
            continue;
        BV_LOG(1, QStringLiteral("Stopping task %0").arg(url));
        task->stop();
        BV_LOG(1, QStringLiteral("Disconnecting task %0").arg(url));
        disconnect(task, nullptr, this, nullptr);
        BV_LOG(1, QStringLiteral("Deleting task %0").arg(url));
        task->deleteLater();
        m_running.removeAll(task);
        // A deleted task must not stay registered, or its URL could never be appended again.
        m_tasks.remove(url);
        BV_LOG(1, QStringLiteral("Task %0 removed").arg(url));
    }
}

DownloadTaskRecord CHttpDownloadManager::currentTaskRecord() const
{
    if (m_running.isEmpty())
        return DownloadTaskRecord();
    return m_running.first()->record();
}

void CHttpDownloadManager::slotError(CNetworkError netError)
{
    BV_LOG(1, QStringLiteral("Error received"));
    auto* task = qobject_cast<CHttpDownloadTask*>(sender());
    if (!task) {
        BV_LOG(1, QStringLiteral("Task is null, return"));
        return;
    }
    QString url = task->url();
    emit error(url, netError);
}

void CHttpDownloadManager::slotTaskFinished()
{
    BV_LOG(1, QStringLiteral("Task finished. Cleaning up..."));
    auto* task = qobject_cast<CHttpDownloadTask*>(sender());
    if (!task) {
        BV_LOG(1, QStringLiteral("Task is null. returning"));
        return;
    }
    QString url = task->url();
    CNetworkError result = task->error();
    emit finished(url, result);
    BV_LOG(1, QStringLiteral("Deleting task '%0'").arg(url));
    if (m_tasks.value(key(url)) == task)
        deleteTask(url);
    BV_LOG(1, QStringLiteral("Task deleted. Cleanup completed"));
}
