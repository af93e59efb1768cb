#include "ctestdevserver.h"

#include "downloader/threadhandover.h"
#include "foundation/csettings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef TESSARAY_TSAN
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace
{
// While not `watching`, ThreadSanitizer neither checks nor records what this thread reads and writes.
void setThreadSanitizerWatching(bool watching)
{
#ifdef TESSARAY_TSAN
    if (watching)
        __tsan_ignore_thread_end();
    else
        __tsan_ignore_thread_begin();
#else
    Q_UNUSED(watching)
#endif
}

QString deepCopy(const QString& text)
{
    return QString(text.constData(), text.size());
}
} // namespace

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
    case Serving::Redirected:
    case Serving::RedirectingForever: {
        // Under a path of its own, which redirects to the file itself, or to itself again.
        const bool endless = serving == Serving::RedirectingForever;
        const QString moved = (endless ? QStringLiteral("/loop") : QStringLiteral("/moved")) + path;
        fault.method.clear();
        fault.redirectStatus = endless ? 302 : 301;
        fault.redirectTo = endless ? moved : path;
        m_server.setFault(moved, fault);
        return url(moved);
    }
    }
    m_server.setFault(path, fault);
    return url(path);
}

QList<CServedRequest> CTestDevServer::receivedRequests() const
{
    // The service writes its log on its own thread, under a lock inside Qt that ThreadSanitizer cannot see,
    // so reading the log looks like a race to it. The copy is taken while it looks away, and deep, so that
    // the tests read their own thread's memory only.
    QList<CServedRequest> requests;
    setThreadSanitizerWatching(false);
    {
        const QList<CDevServerRequest> received = m_server.requests();
        for (const CDevServerRequest& request : received) {
            requests.append({deepCopy(request.method), deepCopy(request.path.section(QLatin1Char('?'), 0, 0)),
                             deepCopy(request.headers.value(QStringLiteral("range"))),
                             deepCopy(request.headers.value(QStringLiteral("user-agent"))),
                             deepCopy(request.headers.value(QStringLiteral("if-range"))), request.connection});
        }
    }
    setThreadSanitizerWatching(true);
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
        const QString relative = from.relativeFilePath(source);
        // Packages that a service on the source tree built are left behind: the copy's service packs its own
        // from the sources, which a copied package (with a fresh time) could pass for current.
        if (relative.startsWith(QLatin1String("packages/")) && relative.endsWith(QLatin1String(".zip")) &&
            from.exists(QStringLiteral("package-sources/") + it.fileInfo().completeBaseName()))
            continue;
        const QString target = QDir(directory).filePath(relative);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()))
            return false;
        QFile::remove(target);
        if (!QFile::copy(source, target))
            return false;
    }
    return true;
}
