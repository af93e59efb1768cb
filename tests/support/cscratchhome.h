#pragma once

#include "cscopedenvironment.h"

#include <QString>

// Points the user's folders at a scratch folder for one test: HOME (where X-Plane's install files and
// Steam live on Linux and macOS), LOCALAPPDATA (Windows) and the XDG base folders. Lookups that probe a
// user's home then see only what the test laid out, never the real home of whoever runs the tests.
class CScratchHome
{
public:
    explicit CScratchHome(const QString& folder);

    QString path() const { return m_path; }

private:
    QString m_path;
    CScopedEnvironment m_environment;
};
