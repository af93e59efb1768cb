#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Packs the service's package sources into the data packages it serves: every folder
// "<root>/package-sources/<name>" becomes "<packages folder>/<name>.zip", its files stored under their paths
// relative to the folder, deflated at level 6, without a password.
class CPackageBuilder
{
public:
    // Builds the packages that are missing or older than a file or folder of their source; a package
    // without a source folder is never touched. A failed package keeps the file it had and does not stop
    // the others. Returns one message per package that could not be built; no source folder at all is no
    // error.
    static QStringList buildAll(const QString& sourcesFolder, const QString& packagesFolder);

    // Writes `package` from `sourceFolder` by way of a temporary file, so that a reader never meets a
    // half-written package and a failure leaves the previous one. The package takes the newest time of its
    // sources, so that a source changed while it was packed is still newer afterwards.
    static bool build(const QString& sourceFolder, const QString& package, QString& problem);

    // The newest modification time of `folder` and of every file and folder below it.
    static QDateTime newestChange(const QString& folder);
};
