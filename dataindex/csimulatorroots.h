#pragma once

#include <QHash>
#include <QString>

// Where each simulator is installed on this machine.
//
// A root comes from the setting "simulators/" + short name when it is set (the user's choice, or what an
// earlier lookup found); otherwise from the registry, and for X-Plane from X-Plane's and Steam's own
// records (CXPlaneInstallFinder). What a lookup finds is stored in that setting, so it is looked up once.
class CSimulatorRoots
{
public:
    // The root folder of a simulator flag, normalised (native separators, doubled separators made single);
    // an empty text when the simulator is disabled in "simulators/disable" (unless `ignoreDisabled`) or is
    // not installed.
    static QString root(int simulator, bool ignoreDisabled = false);

    // The registry and X-Plane lookups alone, without the setting; an empty text when nothing is found.
    static QString lookUp(int simulator);

    // Stores a user's choice of root folder; a blank folder removes the setting (detection applies again).
    static void setRoot(int simulator, const QString& folder);

    // Native separators, then "\\" and "//" made single.
    static QString normalize(const QString& path);

    // While one lives, root() on its thread answers each question once: one pass over the index or the disk
    // asks for the same few roots thousands of times, and takes the settings, registry and folders as they
    // were at its start. A scope opened inside another adds nothing.
    class CacheScope
    {
    public:
        CacheScope();
        ~CacheScope();
        CacheScope(const CacheScope&) = delete;
        CacheScope& operator=(const CacheScope&) = delete;

    private:
        friend class CSimulatorRoots;
        QHash<qint64, QString> m_roots;
        bool m_active = false;
    };

private:
    static QString uncachedRoot(int simulator, bool ignoreDisabled);
};
