#include "cdatadirtest.h"

void CDataDirTest::init()
{
    if (m_home == Home::Scratch)
        m_sandbox = std::make_unique<CTestSandbox>();
    else
        m_data = std::make_unique<CTestDataDir>();
}

void CDataDirTest::cleanup()
{
    m_sandbox.reset();
    m_data.reset();
}
