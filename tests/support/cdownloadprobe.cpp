#include "cdownloadprobe.h"

#include "downloader/chttpdownloadmanager.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

CDownloadProbe::CDownloadProbe(CHttpDownloadManager* manager)
    : m_manager(manager)
{
    connect(manager, &CHttpDownloadManager::filesizeFetched, this, [this](qint64 size) {
        events.append(QStringLiteral("size"));
        sizes.append(size);
    });
    connect(manager, &CHttpDownloadManager::latencyMeasured, this,
            [this](qint64 latency) { latencies.append(latency); });
    connect(manager, &CHttpDownloadManager::error, this, [this](QString&, CNetworkError error) {
        events.append(QStringLiteral("error"));
        errors.append(error);
    });
    connect(manager, &CHttpDownloadManager::finished, this, [this](QString& url, CNetworkError& error) {
        events.append(QStringLiteral("finished"));
        finishedUrls.append(url);
        finishes.append(error);
    });
}

bool CDownloadProbe::waitFinished(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (finishes.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    return !finishes.isEmpty();
}

bool CDownloadProbe::download(const QString& address, const QString& destination, int threads)
{
    if (!m_manager->appendTask(address, destination, threads))
        return false;
    m_manager->startTask(address);
    return waitFinished();
}

QByteArray CTestFiles::content(qint64 size, quint32 seed)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator generator(seed);
    const qint64 words = size / 4;
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), words);
    for (qint64 i = words * 4; i < size; ++i)
        bytes[int(i)] = char(generator.generate());
    return bytes;
}

bool CTestFiles::write(const QString& path, qint64 size, quint32 seed)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content(size, seed)) == size;
}

QByteArray CTestFiles::sha1(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}
