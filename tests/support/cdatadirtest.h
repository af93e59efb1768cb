#pragma once

#include "ctestsandbox.h"

#include <QObject>

#include <memory>

// Base of the test classes whose every test function runs in a scratch data directory of its own: a
// CTestDataDir, or a CTestSandbox when the code under test probes the user's home. QtTest runs the inherited
// init() and cleanup(); a class that needs its own calls these first and last.
class CDataDirTest : public QObject
{
    Q_OBJECT

public:
    enum class Home
    {
        Real,    // CTestDataDir
        Scratch, // CTestSandbox
    };

    explicit CDataDirTest(Home home = Home::Real)
        : m_home(home)
    {
    }

protected slots:
    void init();
    void cleanup();

protected:
    CTestDataDir& data() const { return m_sandbox ? *m_sandbox : *m_data; }

private:
    Home m_home;
    // Apart: CTestDataDir has no virtual destructor, and the sandbox's must run to restore the home.
    std::unique_ptr<CTestSandbox> m_sandbox;
    std::unique_ptr<CTestDataDir> m_data;
};
