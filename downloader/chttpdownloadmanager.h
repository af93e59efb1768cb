#pragma once

#include "downloader/cnetworkerror.h"
#include "downloader/downloadtaskrecord.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class CHttpDownloadTask;

// The download engine's interface: register a URL with a destination, start it, and learn the file size,
// the first-byte latencies and the end of the download with its error record.
//
// For a started download that ends, exactly one of these reaches the caller: `finished` with code 0 once
// the destination is complete, or `error` followed by `finished`, both with the error record. The url they
// carry is the URL as given to appendTask. URLs are requested exactly as given, and compared without regard
// to case: two URLs that differ only in case are one download. The manager and its tasks live on the thread
// that created the manager; connect on that thread (the signals pass references).
class CHttpDownloadManager : public QObject
{
    Q_OBJECT

public:
    explicit CHttpDownloadManager(QObject* parent = nullptr);
    ~CHttpDownloadManager() override;

    // Registers a download; false when the URL is registered already. A destination that is an existing
    // directory receives the file under the name the URL ends with. `threads` is the number of workers.
    bool appendTask(const QString& url, const QString& path, int threads);
    void startTask(const QString& url);
    // Stops and forgets the task; an empty url stops every running task.
    void deleteTask(const QString& url);
    void stopAllTasks();

    // A copy of the record of the first running task, or the empty record when none runs.
    DownloadTaskRecord currentTaskRecord() const;

    // The registered task of `url`, or null.
    CHttpDownloadTask* task(const QString& url) const { return m_tasks.value(key(url)); }

signals:
    void filesizeFetched(qint64 filesize);
    void latencyMeasured(qint64 latency);
    void finished(QString& url, CNetworkError& error);
    void allTaskFinished();
    void error(QString& url, CNetworkError error);

public slots:
    void slotTaskFinished();
    void slotError(CNetworkError netError);

private:
    static QString key(const QString& url) { return url.toLower(); }

    QMap<QString, CHttpDownloadTask*> m_tasks; // by key(url)
    QList<CHttpDownloadTask*> m_running;
};
