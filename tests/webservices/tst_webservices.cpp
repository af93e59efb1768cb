#include "ctestdatadir.h"
#include "ctestdevserver.h"
#include "foundation/csettings.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cwebservices.h"
#include "webservices/cwebservicestask.h"
#include "webservices/fmsdataindexinfo.h"

#include <QtTest>

// The start-up requests on their own threads, the data cycle that keeps their result, and the
// connectivity probe, all against the development service.
class TestWebServices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cycleArrivesAsRecord();
    void dataIndexArrivesAsOwnedPointer();
    void failureBecomesErrorReceived();
    void twoRequestsOnTwoThreads_data();
    void twoRequestsOnTwoThreads();
    void unreadableMembersGiveEmptyRecord_data();
    void unreadableMembersGiveEmptyRecord();
    void dataCycleKeepsTheLastSuccess();
    void probe_data();
    void probe();
    void probeOfUnresolvableHost();
    void regionsKeepTheirFirstName();

private:
    // Writes the service configuration with `cycle` as its cycle and serves it.
    void serveCycle(const QJsonObject& cycle);
    QString logText() const { return QString::fromUtf8(CTestDataDir::readFile(m_data->logFile())); }

    std::unique_ptr<CTestDataDir> m_data;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<CTestDevServer> m_service;
};

void TestWebServices::init()
{
    m_data = std::make_unique<CTestDataDir>();
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(CTestDevServer::copySamples(m_root->path()));
    m_service = std::make_unique<CTestDevServer>(m_root->path());
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorMessage()));
    m_service->useAsServerAddress();
}

void TestWebServices::cleanup()
{
    // Every request thread and task is gone once its result has been delivered.
    QTRY_COMPARE_WITH_TIMEOUT(CWebServices::liveThreadCount(), 0, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(CWebServicesTask::liveCount(), 0, 30000);
    CDataCycle::resetInstance();
    CNetworkStatus::resetInstance();
    m_service.reset();
    m_root.reset();
    m_data.reset();
}

void TestWebServices::serveCycle(const QJsonObject& cycle)
{
    QFile file(m_root->filePath(QStringLiteral("service.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonObject configuration = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    configuration.insert(QStringLiteral("cycle"), cycle);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(configuration).toJson());
    file.close();
    QString problem;
    QVERIFY2(m_service->server().setRoot(m_root->path(), &problem), qPrintable(problem));
}

void TestWebServices::cycleArrivesAsRecord()
{
    CWebServices services;
    QSignalSpy completed(&services, &CWebServices::workCompleted);
    services.getCurrentAIRACCycle();
    QVERIFY(completed.wait(30000));

    QCOMPARE(completed.first().at(0).toInt(), 1);
    QCOMPARE(completed.first().at(1).toInt(), 0);
    const QVariant data = completed.first().at(2).value<QVariant>();
    QCOMPARE(QMetaType::typeName(data.userType()), "CycleInfo");
    const CycleInfo cycle = data.value<CycleInfo>();
    QCOMPARE(cycle.cycle, 2612);
    QCOMPARE(cycle.description, QStringLiteral("AIRAC cycle 2612"));
    QCOMPARE(cycle.effective, QDate(2026, 11, 26));
    QCOMPARE(cycle.end, QDate(2026, 12, 23));
    QCOMPARE(cycle.cycleInternalId, QStringLiteral("6425378f-93cc-402d-b83f-c46dfc3c0bed"));
    QVERIFY(cycle.name.isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("Received data from REST endpoint.")), 10000);
    QVERIFY(logText().contains(QStringLiteral("[CWebServices::getCurrentAIRACCycle]: Sending request...")));
}

void TestWebServices::dataIndexArrivesAsOwnedPointer()
{
    CWebServices services;
    QSignalSpy completed(&services, &CWebServices::workCompleted);
    services.getFMSIndex();
    QVERIFY(completed.wait(30000));

    QCOMPARE(completed.first().at(0).toInt(), 256);
    std::unique_ptr<FMSDataIndexInfo> info(completed.first().at(2).value<QVariant>().value<FMSDataIndexInfo*>());
    QVERIFY(info);
    QCOMPARE(info->id, QUuid(QStringLiteral("{5e44e40f-3003-4869-89f3-babd8f3a9dcc}")));
    QCOMPARE(info->version, QStringLiteral("2612.1"));
    QCOMPARE(info->url, m_service->url(QStringLiteral("/data.index")));
    QCOMPARE(info->comments, QStringLiteral("Demo data index of the development service"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("[CWebServices::getFMSIndex]: Received FMS Data Index")),
                             10000);
}

void TestWebServices::failureBecomesErrorReceived()
{
    CDevServerFault broken;
    broken.status = 500;
    m_service->server().setFault(QStringLiteral("/api/1/fmsdata/index"), broken);

    CWebServices services;
    QSignalSpy completed(&services, &CWebServices::workCompleted);
    QSignalSpy failed(&services, &CWebServices::errorReceived);
    services.getFMSIndex();
    QVERIFY(failed.wait(30000));
    QCOMPARE(failed.first().at(0).toInt(), 256);
    QCOMPARE(failed.first().at(1).toInt(), int(QNetworkReply::InternalServerError));
    QCOMPARE(failed.first().at(2).toString(), QString());
    QCOMPARE(completed.count(), 0);
}

void TestWebServices::twoRequestsOnTwoThreads_data()
{
    QTest::addColumn<bool>("withIndex");
    QTest::newRow("two cycles") << false;
    QTest::newRow("cycle and index") << true;
}

void TestWebServices::twoRequestsOnTwoThreads()
{
    QFETCH(bool, withIndex);

    // Both answers are held back, so that both requests must be under way at once.
    CDevServerFault slow;
    slow.delayMs = 300;
    m_service->server().setFault(QString(), slow);

    CWebServices services;
    QSignalSpy completed(&services, &CWebServices::workCompleted);
    services.getCurrentAIRACCycle();
    if (withIndex)
        services.getFMSIndex();
    else
        services.getCurrentAIRACCycle();
    QCOMPARE(CWebServices::liveThreadCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 2, 30000);

    QList<int> ids;
    for (const QList<QVariant>& arguments : qAsConst(completed)) {
        ids.append(arguments.at(0).toInt());
        if (arguments.at(0).toInt() == 256)
            delete arguments.at(2).value<QVariant>().value<FMSDataIndexInfo*>();
        else
            QCOMPARE(arguments.at(2).value<QVariant>().value<CycleInfo>().cycle, 2612);
    }
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, withIndex ? (QList<int>{1, 256}) : (QList<int>{1, 1}));
    QSet<int> connections;
    for (const CDevServerRequest& request : m_service->server().requests())
        connections.insert(request.connection);
    QCOMPARE(connections.size(), 2);
}

void TestWebServices::unreadableMembersGiveEmptyRecord_data()
{
    QTest::addColumn<QJsonObject>("cycle");
    QTest::addColumn<int>("number");
    QTest::addColumn<QDate>("effective");

    QTest::newRow("non-numeric cycle") << QJsonObject{{"Cycle", "twenty-six"}, {"Effective", "2026-11-26"}} << 0
                                       << QDate(2026, 11, 26);
    QTest::newRow("cycle as a number") << QJsonObject{{"Cycle", 2612}} << 0 << QDate();
    QTest::newRow("date not ISO") << QJsonObject{{"Cycle", "2612"}, {"Effective", "26.11.2026"}} << 2612 << QDate();
    QTest::newRow("date with time") << QJsonObject{{"Cycle", "2613"}, {"Effective", "2026-12-24T00:00:00+01:00"}}
                                    << 2613 << QDate(2026, 12, 24);
}

void TestWebServices::unreadableMembersGiveEmptyRecord()
{
    QFETCH(QJsonObject, cycle);
    QFETCH(int, number);
    QFETCH(QDate, effective);

    serveCycle(cycle);
    CWebServices services;
    QSignalSpy completed(&services, &CWebServices::workCompleted);
    services.getCurrentAIRACCycle();
    QVERIFY(completed.wait(30000));
    const CycleInfo info = completed.first().at(2).value<QVariant>().value<CycleInfo>();
    QCOMPARE(info.cycle, number);
    QCOMPARE(info.effective, effective);
    QVERIFY(!info.end.isValid());
    QVERIFY(info.description.isEmpty());
}

void TestWebServices::dataCycleKeepsTheLastSuccess()
{
    CDataCycle* dataCycle = CDataCycle::instance();
    QCOMPARE(dataCycle, CDataCycle::instance());
    QCOMPARE(dataCycle->parent(), QCoreApplication::instance());
    QVERIFY(!dataCycle->currentCycle());
    QSignalSpy completed(dataCycle, &CDataCycle::completed);
    QSignalSpy failed(dataCycle, &CDataCycle::error);

    dataCycle->initialize();
    QVERIFY(completed.wait(30000));
    QCOMPARE(completed.first().at(0).toInt(), 1);
    QCOMPARE(dataCycle->state(), 1);
    QVERIFY(dataCycle->currentCycle());
    QCOMPARE(dataCycle->currentCycle()->cycle, 2612);

    // A second success replaces the record.
    serveCycle(QJsonObject{{"Cycle", "2613"}});
    dataCycle->tryGetCurrentCycle();
    QVERIFY(completed.wait(30000));
    QCOMPARE(dataCycle->currentCycle()->cycle, 2613);

    // A failure keeps it, but the state drops to 0.
    CDevServerFault broken;
    broken.status = 404;
    m_service->server().setFault(QStringLiteral("/api/1/fmsdata/cycles/current"), broken);
    dataCycle->tryGetCurrentCycle();
    QVERIFY(failed.wait(30000));
    QCOMPARE(failed.first().at(0).toInt(), 1);
    QCOMPARE(failed.first().at(1).toInt(), int(QNetworkReply::ContentNotFoundError));
    QCOMPARE(dataCycle->state(), 0);
    QCOMPARE(dataCycle->currentCycle()->cycle, 2613);
    QVERIFY2(logText().contains(QStringLiteral("][Web Service: 1][203] - CDataCycle::onErrorReceived [cdatacycle:")),
             qPrintable(logText()));
    QVERIFY(logText().contains(QStringLiteral("]: Web Service Error.")));
}

void TestWebServices::probe_data()
{
    QTest::addColumn<int>("status"); // a fault's status on "/status.txt"; 0 none; -1 nobody listening
    QTest::addColumn<bool>("connected");

    QTest::newRow("200") << 0 << true;
    QTest::newRow("404 is reachable") << 404 << true;
    QTest::newRow("500 is reachable") << 500 << true;
    QTest::newRow("refused connection is reachable") << -1 << true;
}

void TestWebServices::probe()
{
    QFETCH(int, status);
    QFETCH(bool, connected);

    if (status > 0) {
        CDevServerFault fault;
        fault.status = status;
        m_service->server().setFault(QStringLiteral("/status.txt"), fault);
    } else if (status < 0) {
        m_service->server().stop();
    }
    CNetworkStatus* network = CNetworkStatus::instance();
    QVERIFY(!network->isConnected());
    QSignalSpy changed(network, &CNetworkStatus::connectionChanged);
    network->check();
    QVERIFY(changed.wait(30000));
    QCOMPARE(changed.first().at(0).toBool(), connected);
    QCOMPARE(network->isConnected(), connected);
    if (status >= 0)
        QCOMPARE(m_service->server().requests().last().path, QStringLiteral("/status.txt"));

    // Every probe reports, even when nothing changed.
    network->check();
    QVERIFY(changed.wait(30000));
    QCOMPARE(changed.count(), 2);
}

void TestWebServices::probeOfUnresolvableHost()
{
    CSettings::setValue(SettingsKey::ServerAddress, QStringLiteral("http://no-such-host.invalid"));
    CNetworkStatus* network = CNetworkStatus::instance();
    QSignalSpy changed(network, &CNetworkStatus::connectionChanged);
    for (int tick = 1; tick <= 2; ++tick) {
        network->check();
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), tick, 60000);
        QCOMPARE(changed.last().at(0).toBool(), false);
    }
    QVERIFY(!network->isConnected());
}

void TestWebServices::regionsKeepTheirFirstName()
{
    CNetworkStatus* network = CNetworkStatus::instance();
    QVERIFY(!network->findRegion(QStringLiteral("eu")));
    network->addRegion(QStringLiteral("eu"), QStringLiteral("Europe"));
    const ServerRegion* region = network->findRegion(QStringLiteral("eu"));
    network->addRegion(QStringLiteral("eu"), QStringLiteral("Elsewhere"));
    network->addRegion(QStringLiteral("na"), QStringLiteral("North America"));
    QCOMPARE(network->findRegion(QStringLiteral("eu")), region);
    QCOMPARE(region->regionName, QStringLiteral("Europe"));
    QCOMPARE(network->regions().size(), 2);
    QCOMPARE(network->regions().last().regionName, QStringLiteral("North America"));
}

QTEST_GUILESS_MAIN(TestWebServices)
#include "tst_webservices.moc"
