#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One account of the development service.
struct CDevServiceAccount
{
    QString userName;
    QString password;
    int userId = 0;
    QString firstName;
    QString lastName;
    QString preferredRegion;
    QString token; // fixed in the configuration, or drawn at random when the configuration is loaded

    // The user record as the service sends it (without the token).
    QJsonObject userRecord() const;
};

// The content of a root folder's "service.json": accounts, download regions, the current cycle, the data
// index and the folder of data packages.
//
//   {
//     "accounts": [{"username": "...", "password": "...", "user_id": 1, "first_name": "...",
//                   "last_name": "...", "preferred_region": "eu", "token": "optional"}],
//     "regions": [{"region_code": "eu", "region_name": "Europe"}],
//     "cycle": {"Cycle": "2612", "Description": "...", "Effective": "...", "End": "...", "CycleInternalId": "..."},
//     "index": {"Id": "{GUID}", "Version": "...", "File": "data.index", "Comments": "..."},
//     "packages": "packages"
//   }
//
// Every member is optional; what is missing is answered with 404 by its endpoint.
struct CDevServiceConfig
{
    QList<CDevServiceAccount> accounts;
    QJsonArray regions;
    QJsonObject cycle;
    QJsonObject index;                                   // "File" names the data index below the root
    QString packagesFolder = QStringLiteral("packages"); // below the root

    // Reads `filePath`. A file that is not JSON, or members of the wrong shape, give false and a message
    // that names the member.
    static bool load(const QString& filePath, CDevServiceConfig& config, QString& errorMessage);

    // The account of a user name (without regard to case) or of a token; nullptr when there is none.
    const CDevServiceAccount* findByUserName(const QString& userName) const;
    const CDevServiceAccount* findByToken(const QString& token) const;
    bool hasRegion(const QString& regionCode) const;
};
