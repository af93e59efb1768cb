#pragma once

#include "cdatadirtest.h"
#include "ctestdevserver.h"

#include <QTemporaryDir>

#include <memory>

// Base of the tests that talk to the web service: every test function runs with a scratch data directory
// and the development service on a copy of the demo content, which is the program's server address. The
// process-wide session, cycle and network status start afresh in each.
class CServiceTest : public CDataDirTest
{
    Q_OBJECT

public:
    explicit CServiceTest(Home home = Home::Real)
        : CDataDirTest(home)
    {
    }

protected slots:
    void init();
    void cleanup();

protected:
    CTestDevServer& service() const { return *m_service; }
    // The copy of the demo content that the service serves; tests may change it.
    QString serviceRoot() const { return m_root->path(); }
    QString logText() const;
    QByteArray settingsFile() const;

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<CTestDevServer> m_service;
};
