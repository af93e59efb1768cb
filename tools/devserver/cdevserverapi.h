#pragma once

#include "cdevserverresponse.h"

#include <QString>

class CDevServerState;
struct CHttpRequest;

// The REST endpoints of the development service, answered from the root's "service.json":
//
//   POST /API/1/token?grant_type=password            {"username", "user_password", "client_identifier"}
//   GET  /API/1/users/<user id>?token=<token>
//   GET  /api/1/download/regions
//   GET  /api/1/fmsdata/cycles/current
//   GET  /api/1/fmsdata/index
//   POST /api/1/download/<region>/fmsdata/<token>    {"filename", "internal_id"}
//   POST /api/1/statistics/download                  a download record, kept for tests to read
//
// Paths are matched without regard to case. Refusals carry a JSON object with "error" (and
// "error_description" where a client might show it): 400 for bodies that are not the JSON expected,
// 401 for a wrong password or token, 404 for what is not there, 405 for a wrong method.
class CDevServerApi
{
public:
    explicit CDevServerApi(CDevServerState& state);

    // False when the path is not below "/api/"; otherwise the answer is in `response`.
    // `baseUrl` is the address the client reached the service at, for the addresses the answers carry.
    bool respond(const CHttpRequest& request, const QString& baseUrl, CDevServerResponse& response);

private:
    CDevServerResponse token(const CHttpRequest& request);
    CDevServerResponse user(const CHttpRequest& request, const QString& userId);
    CDevServerResponse regions();
    CDevServerResponse cycle();
    CDevServerResponse dataIndex(const QString& baseUrl);
    // The "id" of the data index file's root element; empty when there is no file or no valid id.
    static QString editionOnDisk(const QString& path);
    CDevServerResponse downloadAddress(const CHttpRequest& request, const QString& region, const QString& token,
                                       const QString& baseUrl);
    CDevServerResponse statistics(const CHttpRequest& request);

    CDevServerState& m_state;
};
