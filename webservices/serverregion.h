#pragma once

#include <QString>

// One download region of the web service.
struct ServerRegion
{
    QString regionCode; // such as "eu"
    QString regionName; // such as "Europe"
};
