#include "csimulators.h"

namespace
{

struct SimulatorRow
{
    int flag;
    const char* shortName;
    const char* displayName;
    const char* aircraftFolder;
    const char* rootPlaceholder;
};

// Table order matters: the simulators with roots come first, in the order in which their placeholders and
// display tokens are tried.
const SimulatorRow rows[] = {
    {SimFS9, "FS9", "Flight Simulator 9", "Aircraft", "[FS9ROOT]"},
    {SimFSX, "FSX", "Flight Simulator X", "SimObjects\\Airplanes", "[FSXROOT]"},
    {SimFSXSteam, "FSXS", "Flight Simulator X (Steam)", "SimObjects\\Airplanes", "[FSXSROOT]"},
    {SimP3D, "P3D", "Prepar3D", "SimObjects\\Airplanes", "[P3DROOT]"},
    {SimP3Dv2, "P32", "Prepar3D v2", "SimObjects\\Airplanes", "[P32ROOT]"},
    {SimP3Dv3, "P33", "Prepar3D v3", "SimObjects\\Airplanes", "[P33ROOT]"},
    {SimP3Dv4, "P34", "Prepar3D v4", "SimObjects\\Airplanes", "[P34ROOT]"},
    {SimXPlane9, "XP9", "X-Plane 9", "", "[XP9ROOT]"},
    {SimXPlane10, "XP10", "X-Plane 10", "", "[XP10ROOT]"},
    {SimXPlane11, "XP11", "X-Plane 11", "", "[XP11ROOT]"},
    {SimTool, "TOOL", "Flight Simulator Tool", "", ""},
    {SimAddon, "ADDON", "Flight Simulator Addon", "", ""},
    {SimUser, "USER", "User Defined Folder", "", ""},
};
constexpr int rootSimulatorCount = 10;

const SimulatorRow& row(int simulator)
{
    for (const SimulatorRow& candidate : rows) {
        if (candidate.flag == simulator)
            return candidate;
    }
    return rows[sizeof(rows) / sizeof(rows[0]) - 1]; // "USER"
}

} // namespace

QString CSimulators::shortName(int simulator)
{
    return QString::fromLatin1(row(simulator).shortName);
}

QString CSimulators::displayName(int simulator)
{
    return QString::fromLatin1(row(simulator).displayName);
}

int CSimulators::fromShortName(const QString& shortName)
{
    for (const SimulatorRow& candidate : rows) {
        if (shortName == QLatin1String(candidate.shortName))
            return candidate.flag;
    }
    return SimUser;
}

QString CSimulators::aircraftFolder(int simulator)
{
    return QString::fromLatin1(row(simulator).aircraftFolder);
}

QString CSimulators::rootPlaceholder(int simulator)
{
    return QString::fromLatin1(row(simulator).rootPlaceholder);
}

QList<int> CSimulators::rootSimulators()
{
    QList<int> flags;
    for (int i = 0; i < rootSimulatorCount; ++i)
        flags.append(rows[i].flag);
    return flags;
}

bool CSimulators::isXPlane(int simulator)
{
    return simulator == SimXPlane9 || simulator == SimXPlane10 || simulator == SimXPlane11;
}
