#include "cservicetest.h"

#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QtTest>

void CServiceTest::init()
{
    CDataDirTest::init();
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(CTestDevServer::copySamples(m_root->path()));
    m_service = std::make_unique<CTestDevServer>(m_root->path());
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorMessage()));
    m_service->useAsServerAddress();
}

void CServiceTest::cleanup()
{
    CUser::resetInstance();
    CDataCycle::resetInstance();
    CNetworkStatus::resetInstance();
    m_service.reset();
    m_root.reset();
    CDataDirTest::cleanup();
}

QString CServiceTest::logText() const
{
    return QString::fromUtf8(CTestDataDir::readFile(data().logFile()));
}

QByteArray CServiceTest::settingsFile() const
{
    return CTestDataDir::readFile(data().filePath(QStringLiteral("settings.conf")));
}
