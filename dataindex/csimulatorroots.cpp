#include "csimulatorroots.h"

#include "dataindex/csimulators.h"
#include "dataindex/cxplaneinstallfinder.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"

namespace
{

const QString flightSimulatorKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Microsoft Games\\Flight Simulator\\");
const QString uninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString prepar3dKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\LockheedMartin\\");
const QString prepar3dUserKey = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\");

thread_local CSimulatorRoots::CacheScope* currentScope = nullptr;

QString settingsKey(int simulator)
{
    return SettingsKey::SimulatorRootPrefix + CSimulators::shortName(simulator);
}

} // namespace

QString CSimulatorRoots::normalize(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    result.replace(QStringLiteral("//"), QStringLiteral("/"));
    return result;
}

CSimulatorRoots::CacheScope::CacheScope()
{
    if (!currentScope) {
        currentScope = this;
        m_active = true;
    }
}

CSimulatorRoots::CacheScope::~CacheScope()
{
    if (m_active)
        currentScope = nullptr;
}

QString CSimulatorRoots::root(int simulator, bool ignoreDisabled)
{
    if (!currentScope)
        return uncachedRoot(simulator, ignoreDisabled);
    const qint64 key = (qint64(simulator) << 1) | (ignoreDisabled ? 1 : 0);
    auto it = currentScope->m_roots.find(key);
    if (it == currentScope->m_roots.end())
        it = currentScope->m_roots.insert(key, uncachedRoot(simulator, ignoreDisabled));
    return it.value();
}

QString CSimulatorRoots::uncachedRoot(int simulator, bool ignoreDisabled)
{
    if (!ignoreDisabled && (simulator & CSettings::disabledSimulators()) != 0)
        return QString();

    const QString key = settingsKey(simulator);
    const QString stored = CSettings::value(key, QString()).toString();
    if (!stored.trimmed().isEmpty())
        return normalize(stored);

    const QString found = lookUp(simulator).trimmed();
    if (found.isEmpty())
        return QString();
    BV_LOG(1, QStringLiteral("Simulator %0 found at '%1'.").arg(CSimulators::shortName(simulator), found));
    CSettings::setValue(key, found);
    return normalize(found);
}

QString CSimulatorRoots::lookUp(int simulator)
{
    QString found;
    switch (simulator) {
    case SimFS9:
        found = CRegistry::readRegistryValue(flightSimulatorKey, QStringLiteral("9.0\\"), QStringLiteral("EXE Path"));
        break;
    case SimFSX:
        found = CRegistry::readRegistryValue(flightSimulatorKey, QStringLiteral("10.0\\"), QStringLiteral("SetupPath"));
        // The Steam edition registers the same key; it has a root of its own (FSXS).
        if (!found.isEmpty() && CLocalPath::exists(QStringLiteral("%0\\steam_api.dll").arg(found)))
            found.clear();
        break;
    case SimFSXSteam:
        found = CRegistry::readRegistryValue(uninstallKey, QStringLiteral("Steam App 314160"),
                                             QStringLiteral("InstallLocation"), QString(), true);
        break;
    case SimP3D:
        found = CRegistry::readRegistryValue(prepar3dKey, QStringLiteral("Prepar3D\\"), QStringLiteral("SetupPath"));
        break;
    case SimP3Dv2:
        found =
            CRegistry::readRegistryValue(prepar3dUserKey, QStringLiteral("Prepar3D v2\\"), QStringLiteral("AppPath"));
        break;
    case SimP3Dv3:
        found =
            CRegistry::readRegistryValue(prepar3dUserKey, QStringLiteral("Prepar3D v3\\"), QStringLiteral("AppPath"));
        break;
    case SimP3Dv4:
        found =
            CRegistry::readRegistryValue(prepar3dUserKey, QStringLiteral("Prepar3D v4\\"), QStringLiteral("AppPath"));
        break;
    case SimXPlane10:
        found = CRegistry::readRegistryValue(uninstallKey, QStringLiteral("Steam App 292180"),
                                             QStringLiteral("InstallLocation"), QString(), true);
        break;
    default:
        break;
    }
    if (found.trimmed().isEmpty() && CSimulators::isXPlane(simulator))
        found = CXPlaneInstallFinder::find(simulator);
    return found;
}

void CSimulatorRoots::setRoot(int simulator, const QString& folder)
{
    const QString key = settingsKey(simulator);
    if (folder.trimmed().isEmpty())
        CSettings::remove(key);
    else
        CSettings::setValue(key, folder);
}
