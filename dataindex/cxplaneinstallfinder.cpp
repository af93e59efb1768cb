#include "cxplaneinstallfinder.h"

#include "dataindex/csimulators.h"
#include "dataindex/csteamlibraries.h"
#include "foundation/clogger.h"
#include "platform/clocalpath.h"
#include "platform/cstandardlocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{
// A real install file holds a few lines; anything far larger is not one.
constexpr qint64 maximumInstallFileSize = 256 * 1024;
} // namespace

QString CXPlaneInstallFinder::find(int simulator)
{
    if (!CSimulators::isXPlane(simulator))
        return QString();
    QString root = fromInstallFile(simulator);
    if (root.isEmpty() && simulator != SimXPlane9)
        root = fromSteam(simulator);
    BV_LOG(1, QStringLiteral("X-Plane lookup for %0 gives '%1'.").arg(CSimulators::shortName(simulator), root));
    return root;
}

QString CXPlaneInstallFinder::installFileName(int simulator)
{
    switch (simulator) {
    case SimXPlane9:
        return QStringLiteral("x-plane_install.txt");
    case SimXPlane10:
        return QStringLiteral("x-plane_install_10.txt");
    case SimXPlane11:
        return QStringLiteral("x-plane_install_11.txt");
    default:
        return QString();
    }
}

QString CXPlaneInstallFinder::installFileFolder()
{
#if defined(Q_OS_WIN)
    return CStandardLocations::localAppDataPath();
#elif defined(Q_OS_MACOS)
    return CStandardLocations::homePath() + QStringLiteral("/Library/Preferences");
#else
    return CStandardLocations::homePath() + QStringLiteral("/.x-plane");
#endif
}

QString CXPlaneInstallFinder::fromInstallFile(int simulator)
{
    const QString name = installFileName(simulator);
    const QString folder = installFileFolder();
    if (name.isEmpty() || folder.isEmpty())
        return QString();
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    BV_LOG(1, QStringLiteral("Probing X-Plane install file '%0'.").arg(path));
    if (file.size() > maximumInstallFileSize || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();

    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.isEmpty())
            continue;
        const QString candidate = QDir::cleanPath(CLocalPath::toInternal(line));
        const bool exists = QFileInfo(candidate).isDir();
        BV_LOG(1, QStringLiteral("Install file line '%0': %1")
                      .arg(line, exists ? QStringLiteral("exists") : QStringLiteral("missing")));
        if (exists)
            return QDir::toNativeSeparators(candidate);
    }
    return QString();
}

QString CXPlaneInstallFinder::fromSteam(int simulator)
{
    QString appId;
    QString folderName;
    if (simulator == SimXPlane11) {
        appId = QStringLiteral("269950");
        folderName = QStringLiteral("X-Plane 11");
    } else if (simulator == SimXPlane10) {
        appId = QStringLiteral("292180");
        folderName = QStringLiteral("X-Plane 10");
    } else {
        return QString();
    }
    const QString fromManifest = CSteamLibraries::appFolder(appId);
    if (!fromManifest.isEmpty())
        return fromManifest;
    return CSteamLibraries::commonFolder(folderName);
}
