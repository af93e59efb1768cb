#pragma once

#include "downloader/cnetworkerror.h"
#include "webservices/downloadstatistics.h"

#include <QObject>
#include <QString>

#include <functional>

class CHttpDownloadManager;

// Fills one DownloadStatistics record while a download runs, so that the command that owns the download
// only has to send it: the fixed fields first (prepare), the start time before the address is asked for,
// the address when it arrives, and the rest from the manager's signals. The record is the caller's and must
// outlive the recorder.
class CDownloadStatisticsRecorder : public QObject
{
    Q_OBJECT

public:
    // `clock` gives the time in ms since the epoch; the system clock when none is given.
    CDownloadStatisticsRecorder(DownloadStatistics* statistics, std::function<qint64()> clock = {},
                                QObject* parent = nullptr);

    // The fields that do not depend on the download: server region, user id, operating system, program
    // version, client identifier "fms-client", the chunk size of the settings, latency 0.
    void prepare(const QString& serverRegion, qint32 userId);
    // Just before the download address is asked for.
    void markStart();
    // The address has arrived: url, the latency of that answer, and the file name (the part after the last
    // "/").
    void addressReceived(const QString& url);
    // Follows the manager's filesizeFetched, latencyMeasured and finished.
    void watch(CHttpDownloadManager* manager);

    // "<product type> <product version> (<system version>, <architecture>)".
    static QString operatingSystemText();

signals:
    // The download has ended (successfully or not) and the record is complete.
    void completed();

public slots:
    void onFileSize(qint64 size);
    void onLatency(qint64 latency);
    void onFinished(QString& url, CNetworkError& error);

private:
    qint64 now() const;

    DownloadStatistics* m_statistics;
    std::function<qint64()> m_clock;
};
