#pragma once

#include "crestfailure.h"
#include "downloadstatistics.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QString>

// The data package a download address is asked for: (file name, internal id) as the data index gives them.
using DownloadRequest = QPair<QString, QString>;

// One method per endpoint of the web service's REST interface. Each call builds the URL (on the server
// address read from the settings at that moment) and the JSON body, sends them through a fresh
// CRestUtilities, and reports the reply by `finished` followed by `succeed` or `failed`. One object may
// serve several calls; the caller reads the reply document and deletes the object when done with it.
//
// Texts that go into a URL (the token, the region code) are percent-encoded, so that a token holding "&",
// "/" or "#" reaches the service whole and cannot change the request.
class CRestAPI : public QObject
{
    Q_OBJECT

public:
    explicit CRestAPI(QObject* parent = nullptr);

    // POST <server>/API/1/token?grant_type=password (appended to the address as it stands).
    void login(const QString& userName, const QString& password);
    // GET <server>/API/1/users/<user id>?token=<token>.
    void login(int userId, const QString& token);
    // GET <server>/api/1/download/regions.
    void getServers();
    // GET <server>/api/1/fmsdata/cycles/current.
    void getCurrentDataCycle();
    // GET <server>/api/1/fmsdata/index.
    void getFMSDataIndex();
    // POST <server>/api/1/download/<region>/fmsdata/<token> with the package's file name and internal id.
    void getDownloadUrl(const QString& regionCode, const QString& token, const DownloadRequest& request);
    // POST <server>/api/1/statistics/download with the fifteen members of the record.
    void uploadDownloadStatstics(const DownloadStatistics& statistics);

    // Why the last call failed (HTTP status and reason, or Qt's error text), read in a `failed` handler.
    CRestFailure lastFailure() const { return m_lastFailure; }

signals:
    void succeed(const QJsonDocument& message);
    void failed(QNetworkReply::NetworkError error, const QJsonDocument& message);
    void finished();

public slots:
    void onHttpRequestCompleted(const QJsonDocument& content);
    // `statusCode` carries the QNetworkReply::NetworkError value, not an HTTP status.
    void onHttpRequestFailed(int statusCode, const QJsonDocument& content);

private:
    // A request object for one call, connected to the two result slots.
    class CRestUtilities* newRequest(const QString& label);

    CRestFailure m_lastFailure;
};
