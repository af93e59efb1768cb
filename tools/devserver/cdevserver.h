#pragma once

#include "cdevserverrecords.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class CDevServerPrivate;

// The development stand-in for the Brelvar web service and its download servers.
//
// Serves, from a root folder: the REST endpoints the program calls (accounts, regions, cycle and data index
// from the folder's "service.json"), "/status.txt", the data index file, and package files with HEAD and
// single-range GET (206). File names are matched without regard to case. It listens on its own thread,
// so a test may block its own thread while the service answers. Every public method is thread-safe.
class CDevServer : public QObject
{
    Q_OBJECT

public:
    explicit CDevServer(QObject* parent = nullptr);
    ~CDevServer() override;

    // Loads "service.json" of `directory` and serves the files below it. False with a message when the
    // folder or its configuration cannot be read. A folder without "service.json" serves its files only.
    // Packs the folders of "package-sources" below it into the packages folder first (see CPackageBuilder);
    // a package that cannot be built does not make it fail: it returns true with the message naming it.
    bool setRoot(const QString& directory, QString* errorMessage = nullptr);
    QString root() const;

    // Listens on `port` (0 picks a free one). False when the address cannot be bound.
    bool start(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    void stop();
    quint16 port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseUrl() const;

    // Serves `filePath` at `urlPath` as well (tests' own files); matched without regard to case.
    void addFile(const QString& urlPath, const QString& filePath);

    // An empty path sets the global fault that applies to every request; a path fault applies to the
    // requests whose path (without query) equals it, compared without regard to case, and takes precedence
    // over the global one. Faults that cut or mislabel a body (drop, Content-Length) close the connection
    // after the answer; the others keep it open.
    void setFault(const QString& path, const CDevServerFault& fault);
    void clearFaults();

    // The statistics records clients uploaded, oldest first.
    QList<QJsonObject> statisticsUploads() const;
    // Every request received, oldest first.
    QList<CDevServerRequest> requests() const;
    void clearRequests();

signals:
    // After each answer has been sent; delivered on this object's thread.
    void requestServed(const QString& method, const QString& target, int status);

private:
    std::unique_ptr<CDevServerPrivate> d;
};
