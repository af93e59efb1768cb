#include "ctestdevserver.h"

#include "app/csettings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

CTestDevServer::CTestDevServer(const QString& root)
{
    const QString folder = root.isEmpty() ? m_scratch.path() : root;
    if (!m_server.setRoot(folder, &m_errorMessage))
        return;
    m_running = m_server.start(0);
    if (!m_running)
        m_errorMessage = QStringLiteral("The development service could not listen on a loopback port.");
}

CTestDevServer::~CTestDevServer()
{
    m_server.stop();
}

QString CTestDevServer::writeFile(const QString& relativePath, const QByteArray& content) const
{
    const QString path = QDir(m_server.root()).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return path;
}

bool CTestDevServer::start(QString* error)
{
    if (!m_running && error)
        *error = m_errorMessage;
    return m_running;
}

void CTestDevServer::reset()
{
    m_server.clearFaults();
    m_server.clearRequests();
}

QString CTestDevServer::url(const QString& path, Serving serving)
{
    CDevServerFault fault;
    fault.method = QStringLiteral("GET");
    switch (serving) {
    case Serving::Normally:
        return url(path);
    case Serving::Slowly:
        fault.bytesPerSecond = SlowBytesPerSecond;
        break;
    case Serving::IgnoringRanges:
        fault.ignoreRange = true;
        break;
    case Serving::Failing:
        fault.method.clear();
        fault.status = 500;
        break;
    }
    m_server.setFault(path, fault);
    return url(path);
}

QList<CServedRequest> CTestDevServer::receivedRequests() const
{
    QList<CServedRequest> requests;
    const QList<CDevServerRequest> received = m_server.requests();
    for (const CDevServerRequest& request : received) {
        requests.append({request.method, request.path.section(QLatin1Char('?'), 0, 0),
                         request.headers.value(QStringLiteral("range")),
                         request.headers.value(QStringLiteral("user-agent")), request.connection});
    }
    return requests;
}

void CTestDevServer::useAsServerAddress() const
{
    CSettings::setValue(SettingsKey::ServerAddress, baseUrl());
}

QString CTestDevServer::samplesRoot()
{
    const QByteArray source = qgetenv("TESSARAY_SOURCE_DIR");
    return QDir(QFile::decodeName(source)).filePath(QStringLiteral("samples/service"));
}

bool CTestDevServer::copySamples(const QString& directory)
{
    const QDir from(samplesRoot());
    if (!from.exists())
        return false;
    QDirIterator it(from.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = QDir(directory).filePath(from.relativeFilePath(source));
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            return false;
        QFile::remove(target);
        if (!QFile::copy(source, target))
            return false;
    }
    return true;
}
