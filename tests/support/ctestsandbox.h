#pragma once

#include "cscratchhome.h"
#include "ctestdatadir.h"

// A scratch data directory whose "home" sub-folder also stands in for the user's home (HOME,
// LOCALAPPDATA, XDG folders): for tests of anything that probes simulator roots or standard locations.
class CTestSandbox : public CTestDataDir
{
public:
    CTestSandbox()
        : m_home(filePath(QStringLiteral("home")))
    {
    }

    QString homePath() const { return m_home.path(); }

private:
    CScratchHome m_home; // restored before the data directory goes away
};
