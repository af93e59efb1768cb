#pragma once

#include <QString>

// Which file of the service's root folder a URL path names.
class CServedFiles
{
public:
    // The file below `root` that `urlPath` (decoded) names, each path element matched without regard to
    // case when the exact name does not exist. Empty when there is none, when the path leaves the root
    // (".." elements, links pointing outside) or names a folder, and for the service's own configuration.
    static QString resolve(const QString& root, const QString& urlPath);
};
