#pragma once

#include "cdevserverapi.h"
#include "cdevserverresponse.h"

#include <QString>

class CDevServerState;
struct CDevServerFault;
struct CHttpRequest;

// Turns one request into the development service's answer: the fault's status when one is set, the
// connectivity probe, the REST endpoints, and the files below the root.
class CDevServerRouter
{
public:
    explicit CDevServerRouter(CDevServerState& state);

    CDevServerResponse respond(const CHttpRequest& request, const CDevServerFault& fault);

    // The file below `root` that `urlPath` (decoded) names, each path element matched without regard to
    // case when the exact name does not exist. Empty when there is none, when the path leaves the root
    // (".." elements, links pointing outside) or names a folder, and for the service's own configuration.
    static QString resolveFile(const QString& root, const QString& urlPath);

private:
    CDevServerResponse serveFile(const QString& filePath, const CHttpRequest& request, const CDevServerFault& fault);

    // The address the client used to reach the service (its Host field), else the listening address.
    QString baseUrlFor(const CHttpRequest& request) const;

    CDevServerState& m_state;
    CDevServerApi m_api;
};
