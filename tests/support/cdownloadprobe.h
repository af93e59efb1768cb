#pragma once

#include "downloader/cnetworkerror.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class CHttpDownloadManager;

// Records what a download manager tells its caller, in order, so that tests can check that a download ends
// with exactly one report: "finished" alone, or "error" then "finished".
class CDownloadProbe : public QObject
{
    Q_OBJECT

public:
    explicit CDownloadProbe(CHttpDownloadManager* manager);

    // Waits (running the event loop) until the first `finished`; false after `timeoutMs`.
    bool waitFinished(int timeoutMs = 60000);
    // Appends `address` to the manager, starts it and waits as waitFinished() does; false when the manager
    // refuses it or it has not finished in time.
    bool download(const QString& address, const QString& destination, int threads);

    QStringList events; // "size", "error", "finished", in arrival order (latencies left out)
    QList<qint64> sizes;
    QList<qint64> latencies;
    QStringList finishedUrls;
    QList<CNetworkError> errors;
    QList<CNetworkError> finishes;

    int errorCount() const { return errors.size(); }
    int finishedCount() const { return finishes.size(); }
    // The code of the first `finished`, -1 when there was none.
    int finishedCode() const { return finishes.isEmpty() ? -1 : finishes.first().code(); }

private:
    CHttpDownloadManager* m_manager;
};

// Test files: deterministic pseudo-random content, and the digest to compare downloads with.
namespace CTestFiles
{
QByteArray content(qint64 size, quint32 seed = 1);
// Writes `size` bytes of content(size, seed) to `path` (parents made); false on failure.
bool write(const QString& path, qint64 size, quint32 seed = 1);
QByteArray sha1(const QString& path);
} // namespace CTestFiles
