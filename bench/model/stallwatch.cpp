// bench-model-stall SUPPORTED_INDEX LOCATIONS
//
// How long the window model holds up its thread: fills the add-on list with LOCATIONS mapped locations (each
// a folder with an installed edition), saves the mapping list, and scans for the add-ons of SUPPORTED_INDEX,
// with a view that draws nothing. A 1 ms timer on the model's thread records the gaps between its ticks; the
// longest gap of each step is printed, on one line per step.

#include "commands/clocalindex.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "model/cmainwindowmodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

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
    void updateItem(const AddonItemRecord&) override {}
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
};

// The longest gap between the ticks of a 1 ms timer while `step` runs and until `done` says it has ended.
template <typename Step, typename Done> double longestStall(Step step, Done done)
{
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        const qint64 now = clock.nsecsElapsed();
        longest = qMax(longest, now - last);
        last = now;
    });
    clock.start();
    watch.start(1);
    step();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    longest = qMax(longest, clock.nsecsElapsed() - last);
    return longest / 1e6;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        fprintf(stderr, "usage: bench-model-stall SUPPORTED_INDEX LOCATIONS\n");
        return 2;
    }
    QTemporaryDir data;
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(data.path()));
    qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(data.filePath(QStringLiteral("registry.ini"))));
    qputenv("HOME", QFile::encodeName(data.filePath(QStringLiteral("home"))));
    Exception error;
    if (!CLocalIndex::loadSupported(arguments.at(1), &error)) {
        fprintf(stderr, "%s\n", qPrintable(error.message));
        return 1;
    }
    const QList<IndexInfo*> supported = CDataIndex::instance()->supportedAddons();
    const int locations = arguments.at(2).toInt();
    for (int i = 0; i < locations && !supported.isEmpty(); ++i) {
        const IndexInfo* source = supported.at(i % supported.size());
        auto* addon = new IndexInfo;
        addon->guid = source->guid;
        addon->name = source->name;
        auto* location = new IndexPathInfo;
        location->mappingGuid = QUuid::createUuid();
        location->simulator = 0x100000;
        location->directory = QDir::toNativeSeparators(data.filePath(QStringLiteral("addons/%0").arg(i)));
        addon->insertPath(location);
        QDir().mkpath(location->directory);
        QFile installed(CDataLocations::installedIndexPath(location->directory, addon->guid));
        if (installed.open(QIODevice::WriteOnly))
            installed.write("<mapping cycle=\"2612\" revision=\"1\"><sim simulator=\"USER\"/></mapping>\n");
        CDataIndex::instance()->addMappedAddon(addon);
    }

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
    const double fill = longestStall([&]() { model.addMappedAddons(); }, []() { return true; });
    printf("list fill of %d locations: longest event-loop stall %.1f ms\n", locations, fill);
    const double save = longestStall([&]() { model.saveMapping(); }, [&]() { return saved; });
    printf("save of the mapping list: longest event-loop stall %.1f ms\n", save);
    const double scan = longestStall([&]() { model.onScanAddonClicked(); }, [&]() { return scanned; });
    printf("scan (%d found): longest event-loop stall %.1f ms\n", found, scan);
    return 0;
}
