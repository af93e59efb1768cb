// The download engine against nginx, a web server written elsewhere: every case any server can play, what
// the engine sent read back from nginx's access log.

#include "cnginxserver.h"
#include "testdownloadserver.h"

#include <QTest>

class TestDownloadNginx : public TestDownloadServer
{
    Q_OBJECT

protected:
    CDownloadTestServer& server() override { return m_nginx; }
    bool wireLevelOnly() const override { return true; }

private:
    CNginxServer m_nginx;
};

QTEST_GUILESS_MAIN(TestDownloadNginx)
#include "tst_downloadnginx.moc"
