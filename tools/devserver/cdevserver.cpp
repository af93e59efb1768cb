#include "cdevserver.h"

#include "cdevserverlistener.h"
#include "cdevserverstate.h"
#include "cpackagebuilder.h"

#include <QDir>
#include <QThread>

class CDevServerPrivate
{
public:
    CDevServerState state;
    QThread thread;
    CDevServerListener* listener = nullptr; // lives on `thread`, deleted when it ends

    // Runs `work` on the service's thread and waits for it.
    template <typename Work> void runOnServiceThread(Work work)
    {
        if (QThread::currentThread() == &thread)
            work();
        else
            QMetaObject::invokeMethod(listener, work, Qt::BlockingQueuedConnection);
    }
};

CDevServer::CDevServer(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<CDevServerPrivate>())
{
    d->thread.setObjectName(QStringLiteral("brelvar-devservice"));
    d->listener = new CDevServerListener(d->state);
    d->listener->moveToThread(&d->thread);
    connect(&d->thread, &QThread::finished, d->listener, &QObject::deleteLater);
    connect(d->listener, &CDevServerListener::requestServed, this, &CDevServer::requestServed);
    d->thread.start();
}

CDevServer::~CDevServer()
{
    stop();
    d->thread.quit();
    d->thread.wait();
}

bool CDevServer::setRoot(const QString& directory, QString* errorMessage)
{
    if (!d->state.setRoot(directory, errorMessage))
        return false;
    const QDir root(d->state.root());
    const QString packages = QDir::cleanPath(root.filePath(d->state.config().packagesFolder));
    QStringList problems;
    if (packages.startsWith(root.path() + QLatin1Char('/')))
        problems = CPackageBuilder::buildAll(root.filePath(QStringLiteral("package-sources")), packages);
    else
        problems.append(QStringLiteral("The packages folder \"%1\" is not below the root; no package is built.")
                            .arg(d->state.config().packagesFolder));
    if (errorMessage)
        *errorMessage = problems.join(QLatin1Char('\n'));
    return true;
}

QString CDevServer::root() const
{
    return d->state.root();
}

bool CDevServer::start(quint16 port, const QHostAddress& address)
{
    bool listening = false;
    CDevServerListener* listener = d->listener;
    d->runOnServiceThread([&listening, listener, port, address]() { listening = listener->listen(address, port); });
    return listening;
}

void CDevServer::stop()
{
    CDevServerListener* listener = d->listener;
    d->runOnServiceThread([listener]() { listener->close(); });
}

quint16 CDevServer::port() const
{
    return d->state.port();
}

QString CDevServer::baseUrl() const
{
    return d->state.baseUrl();
}

void CDevServer::addFile(const QString& urlPath, const QString& filePath)
{
    d->state.addFile(urlPath, filePath);
}

void CDevServer::setFault(const QString& path, const CDevServerFault& fault)
{
    d->state.setFault(path, fault);
}

void CDevServer::clearFaults()
{
    d->state.clearFaults();
}

QList<QJsonObject> CDevServer::statisticsUploads() const
{
    return d->state.statisticsUploads();
}

QList<CDevServerRequest> CDevServer::requests() const
{
    return d->state.requests();
}

void CDevServer::clearRequests()
{
    d->state.clearRequests();
}
