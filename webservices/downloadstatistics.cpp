#include "downloadstatistics.h"

QJsonObject DownloadStatistics::toJson() const
{
    // JSON numbers are doubles: exact for every 64-bit time and size below 2^53, which covers them all.
    return QJsonObject{
        {QStringLiteral("server"), server},
        {QStringLiteral("url"), url},
        {QStringLiteral("start"), static_cast<double>(start)},
        {QStringLiteral("end"), static_cast<double>(end)},
        {QStringLiteral("elapsed"), static_cast<double>(elapsed)},
        {QStringLiteral("size"), static_cast<double>(size)},
        {QStringLiteral("chunks"), chunks},
        {QStringLiteral("chunk_size"), chunkSize},
        {QStringLiteral("filename"), fileName},
        {QStringLiteral("user_id"), userId},
        {QStringLiteral("initialLatency"), initialLatency},
        {QStringLiteral("latency"), latency},
        {QStringLiteral("operating_system"), operatingSystem},
        {QStringLiteral("client_identifier"), clientIdentifier},
        {QStringLiteral("version"), version},
    };
}
