#include "ccannedreplyserver.h"
#include "cservicetest.h"
#include "foundation/csettings.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cwebservices.h"
#include "webservices/cwebservicestask.h"
#include "webservices/fmsdataindexinfo.h"

#include <QtTest>

// The start-up requests on their own threads, the data cycle that keeps their result, and the
// connectivity probe, all against the development service.
class TestWebServices : public CServiceTest
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        // Every request thread and task is gone once its result has been delivered.
        QTRY_COMPARE_WITH_TIMEOUT(CWebServices::liveThreadCount(), 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(CWebServicesTask::liveCount(), 0, 30000);
        CServiceTest::cleanup();
    }

    // Each request runs on a thread of its own, two of one kind too, and its result arrives as a typed record.
    void requestsRunAtOnceAndArriveAsRecords()
    {
        // Every answer is held back, so that all requests must be under way at once.
        CDevServerFault slow;
        slow.delayMs = 300;
        service().server().setFault(QString(), slow);

        CWebServices services;
        QSignalSpy completed(&services, &CWebServices::workCompleted);
        services.getCurrentAIRACCycle();
        services.getCurrentAIRACCycle();
        services.getFMSIndex();
        QCOMPARE(CWebServices::liveThreadCount(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 3, 30000);

        QList<int> ids;
        for (const QList<QVariant>& arguments : qAsConst(completed)) {
            ids.append(arguments.at(0).toInt());
            QCOMPARE(arguments.at(1).toInt(), 0);
            const QVariant data = arguments.at(2).value<QVariant>();
            if (ids.last() == 256) {
                std::unique_ptr<FMSDataIndexInfo> info(data.value<FMSDataIndexInfo*>());
                QVERIFY(info);
                // The descriptor's other members: tst_dataindexreader, which downloads by it.
                QCOMPARE(info->comments, QStringLiteral("Demo data index of the development service"));
                continue;
            }
            // The cycle's dates and description: tst_webservicescli prints them.
            QCOMPARE(QMetaType::typeName(data.userType()), "CycleInfo");
            QCOMPARE(data.value<CycleInfo>().cycleInternalId, QStringLiteral("6425378f-93cc-402d-b83f-c46dfc3c0bed"));
        }
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, (QList<int>{1, 1, 256}));
        QSet<int> connections;
        for (const CDevServerRequest& request : service().server().requests())
            connections.insert(request.connection);
        QCOMPARE(connections.size(), 3);
    }

    void unusableRepliesAreErrors_data()
    {
        QTest::addColumn<bool>("index"); // the data index reply, or the cycle reply
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("problem");

        // The demo cycle or index descriptor with `changes` made and the member `removed` left out.
        const auto reply = [](bool index, const QJsonObject& changes, const QString& removed = QString()) {
            QJsonObject object = index ? QJsonObject{{"Id", "{5e44e40f-3003-4869-89f3-babd8f3a9dcc}"},
                                                     {"Version", "2612.1"},
                                                     {"Url", "http://127.0.0.1:1/data.index"},
                                                     {"Comments", ""}}
                                       : QJsonObject{{"Cycle", "2612"},
                                                     {"Description", "AIRAC cycle 2612"},
                                                     {"Effective", "2026-11-26"},
                                                     {"End", "2026-12-23T00:00:00Z"},
                                                     {"CycleInternalId", "6425378f"}};
            for (auto it = changes.begin(); it != changes.end(); ++it)
                object.insert(it.key(), it.value());
            object.remove(removed);
            return QJsonDocument(object).toJson();
        };
        const QString notObject = QStringLiteral("is not a JSON object");

        QTest::newRow("cycle: as sent") << false << reply(false, {}) << QString();
        QTest::newRow("cycle: empty body") << false << QByteArray() << notObject;
        QTest::newRow("cycle: an array") << false << QByteArray("[]") << notObject;
        QTest::newRow("cycle: number as a number") << false << reply(false, {{"Cycle", 2612}}) << "\"Cycle\"";
        QTest::newRow("cycle: number not numeric") << false << reply(false, {{"Cycle", "26x2"}}) << "\"Cycle\"";
        QTest::newRow("cycle: number 0") << false << reply(false, {{"Cycle", "0"}}) << "\"Cycle\"";
        QTest::newRow("cycle: date not ISO") << false << reply(false, {{"Effective", "26.11.2026"}}) << "\"Effective\"";
        QTest::newRow("cycle: no end date") << false << reply(false, {}, "End") << "\"End\"";
        QTest::newRow("cycle: description null")
            << false << reply(false, {{"Description", QJsonValue()}}) << "\"Description\"";
        QTest::newRow("index: as sent") << true << reply(true, {}) << QString();
        QTest::newRow("index: empty body") << true << QByteArray() << notObject;
        QTest::newRow("index: id not a GUID") << true << reply(true, {{"Id", "index-7"}}) << "\"Id\"";
        QTest::newRow("index: no address") << true << reply(true, {}, "Url") << "\"Url\"";
        QTest::newRow("index: address not http") << true << reply(true, {{"Url", "file:///etc/passwd"}}) << "\"Url\"";
        QTest::newRow("index: version as a number") << true << reply(true, {{"Version", 2612.1}}) << "\"Version\"";
    }
    void unusableRepliesAreErrors()
    {
        QFETCH(bool, index);
        QFETCH(QByteArray, body);
        QFETCH(QString, problem);

        CCannedReplyServer canned;
        canned.setReply(index ? QStringLiteral("/api/1/fmsdata/index")
                              : QStringLiteral("/api/1/fmsdata/cycles/current"),
                        {200, body, -1});
        CSettings::setValue(SettingsKey::ServerAddress, canned.baseUrl());
        CWebServices services;
        QSignalSpy completed(&services, &CWebServices::workCompleted);
        QSignalSpy failed(&services, &CWebServices::errorReceived);
        if (index)
            services.getFMSIndex();
        else
            services.getCurrentAIRACCycle();
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 30000);

        if (problem.isEmpty()) {
            QCOMPARE(completed.count(), 1);
            const QVariant data = completed.first().at(2).value<QVariant>();
            if (index)
                delete data.value<FMSDataIndexInfo*>();
            else
                QCOMPARE(data.value<CycleInfo>().end, QDate(2026, 12, 23));
            return;
        }
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toInt(), index ? 256 : 1);
        QCOMPARE(failed.first().at(1).toInt(), int(QNetworkReply::ProtocolFailure));
        QVERIFY2(failed.first().at(2).toString().contains(problem), qPrintable(failed.first().at(2).toString()));
    }

    void dataCycleKeepsTheLastSuccess()
    {
        CDataCycle* dataCycle = CDataCycle::instance();
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
        serveCycle(QJsonObject{{"Cycle", "2613"},
                               {"Description", "AIRAC cycle 2613"},
                               {"Effective", "2026-12-24"},
                               {"End", "2027-01-20"},
                               {"CycleInternalId", "2613"}});
        dataCycle->tryGetCurrentCycle();
        QVERIFY(completed.wait(30000));
        QCOMPARE(dataCycle->currentCycle()->cycle, 2613);

        // A failure keeps it, but the state drops to 0.
        CDevServerFault broken;
        broken.status = 404;
        service().server().setFault(QStringLiteral("/api/1/fmsdata/cycles/current"), broken);
        dataCycle->tryGetCurrentCycle();
        QVERIFY(failed.wait(30000));
        QCOMPARE(failed.first().at(0).toInt(), 1);
        QCOMPARE(failed.first().at(1).toInt(), int(QNetworkReply::ContentNotFoundError));
        QCOMPARE(dataCycle->state(), 0);
        QCOMPARE(dataCycle->currentCycle()->cycle, 2613);
        QCOMPARE(failed.first().at(2).toString(), QStringLiteral("HTTP 404 Not Found"));
        QVERIFY2(logText().contains(QStringLiteral("]: Web Service Error.")), qPrintable(logText()));
        // A reply that holds no cycle is such a failure too: unusableRepliesAreErrors.
    }

    void probe_data()
    {
        QTest::addColumn<int>("status"); // a fault's status on "/status.txt"; 0 none; -1 nobody listening; -2 no host
        QTest::addColumn<bool>("connected");

        QTest::newRow("200") << 0 << true;
        QTest::newRow("404 is reachable") << 404 << true;
        QTest::newRow("refused connection is reachable") << -1 << true;
        QTest::newRow("unresolvable host is not") << -2 << false;
    }
    void probe()
    {
        QFETCH(int, status);
        QFETCH(bool, connected);

        if (status > 0) {
            CDevServerFault fault;
            fault.status = status;
            service().server().setFault(QStringLiteral("/status.txt"), fault);
        } else if (status == -1) {
            service().server().stop();
        } else if (status == -2) {
            CSettings::setValue(SettingsKey::ServerAddress, QStringLiteral("http://no-such-host.invalid"));
        }
        CNetworkStatus* network = CNetworkStatus::instance();
        QVERIFY(!network->isConnected());
        QSignalSpy changed(network, &CNetworkStatus::connectionChanged);
        // Every probe reports, even when nothing changed.
        for (int tick = 1; tick <= 2; ++tick) {
            network->check();
            QTRY_COMPARE_WITH_TIMEOUT(changed.count(), tick, 60000);
            QCOMPARE(changed.last().at(0).toBool(), connected);
            QCOMPARE(network->isConnected(), connected);
        }
        if (status >= 0)
            QCOMPARE(service().server().requests().last().path, QStringLiteral("/status.txt"));
    }

    void regionsKeepTheirFirstName()
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

private:
    // Writes the service configuration with `cycle` as its cycle and serves it.

    void serveCycle(const QJsonObject& cycle)
    {
        QFile file(QDir(serviceRoot()).filePath(QStringLiteral("service.json")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject configuration = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        configuration.insert(QStringLiteral("cycle"), cycle);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(configuration).toJson());
        file.close();
        QString problem;
        QVERIFY2(service().server().setRoot(serviceRoot(), &problem), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestWebServices)
#include "tst_webservices.moc"
