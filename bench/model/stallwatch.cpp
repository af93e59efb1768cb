// bench-model-stall SUPPORTED_INDEX LOCATIONS [UPDATE_SERVICE_ROOT ADDON_FOLDER]
//
// How long the window model holds up its thread: fills the add-on list with LOCATIONS mapped locations (each
// a folder with an installed edition), saves the mapping list, and scans for the add-ons of SUPPORTED_INDEX,
// with a view that draws nothing. With UPDATE_SERVICE_ROOT (the development service's content with the
// update benchmark's package) and ADDON_FOLDER (its previous edition, installed), it then signs in and
// updates that add-on through the model, automatic backup on. The longest gap of the model's event loop
// during each step is printed, on one line per step.

#include "bench/support/cbenchlocations.h"
#include "bench/support/cstallwatch.h"
#include "commands/clocalindex.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "model/cmainwindowmodel.h"
#include "tools/devserver/cdevserver.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace
{
class CNullView : public IMainWindowView
{
public:
    void switchView(int) override {}
    void setUserStatus(const QString&, const QString&) override {}
    void clearItems() override {}
    void addMappedAddon(const AddonItemRecord&) override { ++items; }
    void updateItem(const AddonItemRecord&) override { ++updated; }
    void onAddonRemoved(const QUuid&, const QUuid&) override {}
    void setLoadingIconVisible(const ItemActivity&) override {}
    void setItemProgress(const QUuid&, const QUuid&, const QString&, const QString&, int) override {}
    void sortItem(int) override {}
    void generateBackupMenu(const QUuid&, const QUuid&) override {}
    void checkForScannignAddons() override {}
    void addMessage(int, const QString&) override {}
    void removeMessage(const QString&) override {}
    void showLoginMessage(const QString&) override {}
    void displayWaitingMessage(const QString&) override {}
    void hideWaitingScreen() override {}
    QString getExistingDirectory(const QString&, const QString&) override { return QString(); }
    QString getOpenFileName(const QString&, const QString&) override { return QString(); }
    QString getSaveFileName(const QString&, const QString&, const QString&) override { return QString(); }
    int question(const QString&, const QString&, const QStringList&) override { return 0; }
    void information(const QString&, const QString&) override {}
    int items = 0;
    int updated = 0;
};

} // namespace

// Signs in to the service at SERVICE_ROOT and updates its one add-on, installed in ADDON_FOLDER, through the
// model; 0 when the update went through.
static int update(CMainWindowModel& model, CStallWatch& watch, const QString& serviceRoot, const QString& addonFolder)
{
    CDevServer service;
    QString problem;
    if (!service.setRoot(serviceRoot, &problem) || !service.start(0)) {
        fprintf(stderr, "the development service could not start: %s\n", qPrintable(problem));
        return 1;
    }
    CSettings::setValue(SettingsKey::ServerAddress, service.baseUrl());
    CSettings::setValue(SettingsKey::AutoBackup, true);
    bool signedIn = false, connected = false;
    QObject::connect(CUser::instance(), &CUser::onRESTCompleted, [&]() { signedIn = true; });
    QObject::connect(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged, [&](bool up) { connected = up; });
    CUser::instance()->login(QStringLiteral("bench"), QStringLiteral("bench-pass"));
    CNetworkStatus::instance()->check();
    QElapsedTimer waited;
    waited.start();
    while (!(signedIn && connected) && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    Exception error;
    if (!signedIn || !connected || !CLocalIndex::loadSupported(serviceRoot + QStringLiteral("/data.index"), &error) ||
        CDataIndex::instance()->supportedAddons().isEmpty()) {
        fprintf(stderr, "no sign-in, connection or data index: %s\n", qPrintable(error.message));
        return 1;
    }
    const IndexInfo* source = CDataIndex::instance()->supportedAddons().first();
    auto* addon = new IndexInfo;
    addon->guid = source->guid;
    addon->name = source->name;
    auto* location = new IndexPathInfo;
    location->mappingGuid = QUuid::createUuid();
    location->simulator = 0x8000; // TOOL
    location->directory = QDir::toNativeSeparators(addonFolder);
    addon->insertPath(location);
    const CommandButtonClickedInfo click{addon->guid, location->mappingGuid, Update, {}, 1};
    CDataIndex::instance()->addMappedAddon(addon);

    bool finished = false;
    JobReport report;
    QObject::connect(&model.runner(), &CJobRunner::jobFinished, [&](const Job&, const JobReport& result) {
        finished = true;
        report = result;
    });
    const double stall = watch.measure([&]() { model.onCommandButtonClicked(click); }, [&]() { return finished; });
    if (!report.result.succeeded()) {
        fprintf(stderr, "the update failed: %s\n", qPrintable(report.result.error.message));
        return 1;
    }
    const auto seconds = [&](CommandPhase phase) { return report.phaseMilliseconds.value(phase) / 1000.0; };
    printf("update (download %.1f s, backup %.1f s, install %.1f s): longest event-loop stall %.1f ms\n",
           seconds(CommandPhase::Download), seconds(CommandPhase::Backup), seconds(CommandPhase::Install), stall);
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        fprintf(stderr, "usage: bench-model-stall SUPPORTED_INDEX LOCATIONS\n");
        return 2;
    }
    // The run script points these at the sample simulators, for the scan to find; otherwise a scratch folder.
    QTemporaryDir data;
    if (!qEnvironmentVariableIsSet("TESSARAY_DATA_DIR")) {
        qputenv("TESSARAY_DATA_DIR", QFile::encodeName(data.path()));
        qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(data.filePath(QStringLiteral("registry.ini"))));
        qputenv("HOME", QFile::encodeName(data.filePath(QStringLiteral("home"))));
    }
    Exception error;
    if (!CLocalIndex::loadSupported(arguments.at(1), &error)) {
        fprintf(stderr, "%s\n", qPrintable(error.message));
        return 1;
    }
    const int locations = arguments.at(2).toInt();
    mapBenchLocations(data.path(), locations);

    CNullView view;
    CMainWindowModel model;
    bool saved = false, scanned = false;
    int found = 0;
    QObject::connect(&model, &CMainWindowModel::mappingFileDone, [&]() { saved = true; });
    QObject::connect(&model, &CMainWindowModel::scanFinished, [&](int count) {
        scanned = true;
        found = count;
    });
    // initialize() would start the session; the list, the save and the scan need only the view.
    model.setView(&view);
    CStallWatch watch;
    const double fill = watch.measure([&]() { model.addMappedAddons(); }, [&]() { return view.updated >= locations; });
    printf("list fill of %d locations: longest event-loop stall %.1f ms\n", locations, fill);
    const double save = watch.measure([&]() { model.saveMapping(); }, [&]() { return saved; });
    printf("save of the mapping list: longest event-loop stall %.1f ms\n", save);
    const double scan = watch.measure([&]() { model.onScanAddonClicked(); }, [&]() { return scanned; });
    printf("scan (%d found): longest event-loop stall %.1f ms\n", found, scan);
    if (arguments.size() >= 5)
        return update(model, watch, arguments.at(3), arguments.at(4));
    return 0;
}
