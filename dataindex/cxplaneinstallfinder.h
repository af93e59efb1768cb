#pragma once

#include <QString>
#include <QStringList>

// Finds X-Plane 9, 10 and 11 where neither the settings nor the registry name them: in X-Plane's own
// install-location files and in Steam's libraries. Every probe is logged.
class CXPlaneInstallFinder
{
public:
    // The first existing root from the install-location file, then (X-Plane 10 and 11) from Steam; an
    // empty text for other simulators or when nothing names an existing folder.
    static QString find(int simulator);

    // X-Plane writes one install folder per line into "x-plane_install.txt" (9), "x-plane_install_10.txt"
    // and "x-plane_install_11.txt"; old lines stay behind, so the first line that names an existing folder
    // wins. The file lives in "~/.x-plane" on Linux, "~/Library/Preferences" on macOS and the local
    // application-data folder on Windows.
    static QString fromInstallFile(int simulator);
    static QString installFileName(int simulator);
    static QString installFileFolder();

    // X-Plane 11 is Steam app 269950 and X-Plane 10 app 292180; failing a manifest, a
    // "steamapps/common/X-Plane 10" or "X-Plane 11" folder counts.
    static QString fromSteam(int simulator);
};
