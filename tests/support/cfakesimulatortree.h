#pragma once

#include <QByteArray>
#include <QString>

// Lays out fake simulator installations below a scratch folder for search tests: folders, files, aircraft
// with their "Aircraft.cfg", and the stand-in registry values that make the lookups find a simulator.
// Paths given to it are relative to its root (or absolute) and may use either separator.
class CFakeSimulatorTree
{
public:
    explicit CFakeSimulatorTree(const QString& root);

    QString root() const { return m_root; }
    // The absolute path of `relative` below the root ("/" separators); an absolute path stays.
    QString path(const QString& relative) const;

    QString makeFolder(const QString& relative) const;
    QString writeFile(const QString& relative, const QByteArray& content = QByteArray("fake\n")) const;

    // An aircraft folder holding an "Aircraft.cfg" whose first model has the title (key "sim" of section
    // "fltsim.0"); an empty title writes a configuration without that key.
    QString addAircraft(const QString& relativeFolder, const QString& title) const;

    // Makes the registry lookup of a simulator flag (FS9, FSX, FSXS, P3D v1 to v4, X-Plane 10) find
    // `folder`, as the simulator's installer would have registered it.
    static bool registerSimulator(int simulator, const QString& folder);
    static bool setRegistryValue(const QString& keyPath, const QString& valueName, const QString& data);

private:
    QString m_root;
};
