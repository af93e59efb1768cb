#include "ctestdatadir.h"

#include "commands/cioutils.h"
#include "foundation/clogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

CTestDataDir::CTestDataDir()
    : m_previousDataDir(qgetenv("TESSARAY_DATA_DIR"))
    , m_previousRegistry(qgetenv("TESSARAY_REGISTRY_FILE"))
    , m_previousLogName(CLogger::logFileName())
{
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(m_dir.path()));
    qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(registryFile()));
    CLogger::setLogFileName(QStringLiteral("test.log"));
}

CTestDataDir::~CTestDataDir()
{
    CLogger::setLogFileName(m_previousLogName);
    if (m_previousDataDir.isNull())
        qunsetenv("TESSARAY_DATA_DIR");
    else
        qputenv("TESSARAY_DATA_DIR", m_previousDataDir);
    if (m_previousRegistry.isNull())
        qunsetenv("TESSARAY_REGISTRY_FILE");
    else
        qputenv("TESSARAY_REGISTRY_FILE", m_previousRegistry);
}

QString CTestDataDir::logFile() const
{
    return filePath(QStringLiteral("logs/") + CLogger::logFileName());
}

QString CTestDataDir::writeFile(const QString& relativePath, const QByteArray& content) const
{
    const QString path = filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return path;
}

QByteArray CTestDataDir::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
