#pragma once

#include <QJsonObject>
#include <QString>

// What one data download reports to the web service: where and how fast the file came, in how many pieces,
// for which user, on which system. Filled by the update command, sent by CRestAPI::uploadDownloadStatstics.
struct DownloadStatistics
{
    QString server;            // "server": the download region
    QString url;               // "url"
    qint64 start = 0;          // "start": ms since the epoch
    qint64 end = 0;            // "end": ms since the epoch
    qint64 elapsed = 0;        // "elapsed": end minus start, ms
    qint64 size = 0;           // "size": bytes
    qint32 chunks = 0;         // "chunks": number of pieces
    qint32 chunkSize = 0;      // "chunk_size": bytes
    QString fileName;          // "filename"
    qint32 userId = 0;         // "user_id"
    qint32 initialLatency = 0; // "initialLatency": ms
    qint32 latency = 0;        // "latency": ms
    QString operatingSystem;   // "operating_system"
    QString clientIdentifier;  // "client_identifier"
    QString version;           // "version": the program's version

    // The fifteen members under the keys above; every number as a JSON number.
    QJsonObject toJson() const;
};
