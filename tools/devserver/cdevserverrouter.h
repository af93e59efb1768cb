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

private:
    CDevServerResponse serveFile(const QString& filePath, const CHttpRequest& request, const CDevServerFault& fault);

    // The address the client used to reach the service (its Host field), else the listening address.
    QString baseUrlFor(const CHttpRequest& request) const;

    CDevServerState& m_state;
    CDevServerApi m_api;
};
