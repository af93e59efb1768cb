#include "cscratchhome.h"

#include <QDir>
#include <QFile>

CScratchHome::CScratchHome(const QString& folder)
    : m_path(QDir::cleanPath(folder))
{
    QDir().mkpath(m_path);
    m_environment.set("HOME", QFile::encodeName(m_path));
    m_environment.set("LOCALAPPDATA", QFile::encodeName(m_path + QStringLiteral("/AppData/Local")));
    m_environment.set("XDG_DATA_HOME", QFile::encodeName(m_path + QStringLiteral("/.local/share")));
    m_environment.set("XDG_CONFIG_HOME", QFile::encodeName(m_path + QStringLiteral("/.config")));
    m_environment.set("XDG_CACHE_HOME", QFile::encodeName(m_path + QStringLiteral("/.cache")));
}
