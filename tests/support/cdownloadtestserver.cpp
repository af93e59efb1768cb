#include "cdownloadtestserver.h"

#include "cdownloadprobe.h"

#include <QDir>

QList<CServedRequest> CDownloadTestServer::requests(const QString& method) const
{
    QList<CServedRequest> requests = receivedRequests();
    if (!method.isEmpty()) {
        requests.erase(std::remove_if(requests.begin(), requests.end(),
                                      [&method](const CServedRequest& request) { return request.method != method; }),
                       requests.end());
    }
    return requests;
}

QString CDownloadTestServer::serveFile(const QString& relativePath, qint64 size, quint32 seed) const
{
    const QString path = QDir(rootPath()).filePath(relativePath);
    return CTestFiles::write(path, size, seed) ? path : QString();
}
