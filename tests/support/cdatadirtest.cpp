#include "cdatadirtest.h"

#include "ctestsandbox.h"

void CDataDirTest::init()
{
    if (m_home == Home::Scratch)
        m_data = std::make_unique<CTestSandbox>();
    else
        m_data = std::make_unique<CTestDataDir>();
}

void CDataDirTest::cleanup()
{
    m_data.reset();
}
