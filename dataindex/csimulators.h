#pragma once

#include <QList>
#include <QString>

// Simulator flags: one bit per simulator. Stored in data index files, mapping files and the
// "simulators/disable" setting: never renumber.
enum ESimulator : int
{
    SimFS9 = 0x1,
    SimFSX = 0x2,
    SimFSXSteam = 0x4,
    SimP3D = 0x20,
    SimP3Dv2 = 0x40,
    SimP3Dv3 = 0x80,
    SimP3Dv4 = 0x100,
    SimXPlane9 = 0x400,
    SimXPlane10 = 0x800,
    SimXPlane11 = 0x1000,
    SimTool = 0x8000,
    SimUser = 0x100000,
    SimAddon = 0x40000000,
};

// The table of simulators: short names (used in files, settings keys and signals), display names, the
// aircraft folder below each root and the root placeholder of the index's paths.
class CSimulators
{
public:
    // "FSX", "XP11" ...; "USER" for 0x100000 and for any value that is not a flag of the table.
    static QString shortName(int simulator);
    static QString displayName(int simulator);
    // The flag of a short name, matched exactly (letter case and blanks count); 0x100000 for any other text.
    static int fromShortName(const QString& shortName);
    // Below the root, with backslashes as the index writes it; empty for X-Plane, tools and add-ons.
    static QString aircraftFolder(int simulator);
    // "[FSXROOT]" ...; empty for flags without a root.
    static QString rootPlaceholder(int simulator);
    // The ten simulators that have a root folder, in table order (FS9 first, X-Plane 11 last).
    static QList<int> rootSimulators();
    static bool isXPlane(int simulator);
};
