// bench-window-stall DATA_INDEX LOCATIONS
// bench-window-stall --update
//
// How long the window's thread stalls with the real window as the model's view: a scan for the add-ons of
// DATA_INDEX (run inside the fake simulator layout of samples/make-fake-sims, whose environment the caller
// sets), a refill of the list with what the scan found, and a list fill of LOCATIONS mapped locations (each a
// folder with an installed edition). A 1 ms timer on the window's thread records the gaps between its ticks;
// the longest gap of each step is printed, one line per step.
//
// With --update the window starts as a user's would (session, data index, mapped add-ons, from the data
// folder and server the caller set up) and the first item's Update button is pressed; the longest gap from
// the press until the item's task has ended is printed.

#include "bench/support/cbenchlocations.h"
#include "bench/support/cstallwatch.h"
#include "commands/clocalindex.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "model/cmainwindowmodel.h"
#include "ui/caddonitemwidget.h"
#include "ui/cmainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>

namespace
{
// The longest stall while `step` runs and until `done` says it has ended, the window painted at the end.
template <typename Step, typename Done> double longestStall(QWidget* window, Step step, Done done)
{
    CStallWatch watch;
    watch.start();
    step();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    // What the step left for the event loop (layout, paint) belongs to it.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    window->grab();
    watch.stop();
    return watch.longestMs();
}

void report(const char* step, double stall)
{
    printf("%-44s longest event-loop stall %6.1f ms   target 100 ms   ratio %.2f\n", step, stall, stall / 100);
}

int updateThroughTheWindow()
{
    CMainWindow window;
    window.resize(1000, 700);
    // Nothing the start asks (a scan?) is wanted here.
    window.setQuestionAnswerer([](const QString&, const QString&, const QStringList&) { return 1; });
    window.show();
    window.initializeModel();
    QElapsedTimer started;
    started.start();
    while ((window.items().isEmpty() || window.currentView() != 1) && started.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (window.items().isEmpty()) {
        fprintf(stderr, "bench-window-stall: the window listed no add-on within two minutes\n");
        return 1;
    }
    CAddonItemWidget* item = window.items().first();
    bool seenBusy = false;
    QElapsedTimer clock;
    const double stall = longestStall(
        &window,
        [&]() {
            clock.start();
            item->findChild<QToolButton*>(QStringLiteral("updateButton"))->click();
        },
        [&]() {
            seenBusy = seenBusy || item->isBusy();
            return (seenBusy && !item->isBusy()) || clock.elapsed() > 600000;
        });
    report("update of the first item through the window", stall);
    printf("  (%.1f s from the press to the end; the item says \"%s\")\n", clock.elapsed() / 1e3,
           qPrintable(CAddonItemWidget::statusText(item->record())));
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.value(1) == QLatin1String("--update"))
        return updateThroughTheWindow();
    if (arguments.size() < 3) {
        fprintf(stderr, "usage: bench-window-stall DATA_INDEX LOCATIONS | --update\n");
        return 2;
    }
    Exception error;
    if (!CLocalIndex::loadSupported(arguments.at(1), &error)) {
        fprintf(stderr, "%s\n", qPrintable(error.message));
        return 1;
    }

    CMainWindow window;
    window.resize(1000, 700);
    // Every question the model asks (save the scan's mappings?) is answered Yes.
    window.setQuestionAnswerer([](const QString&, const QString&, const QStringList&) { return 0; });
    window.show();
    window.switchView(1);
    CMainWindowModel model;
    bool scanned = false;
    int found = 0;
    QObject::connect(&model, &CMainWindowModel::scanFinished, [&](int count) {
        scanned = true;
        found = count;
    });
    // initialize() would start the session; the scan and the list need only the view.
    model.setView(&window);
    report("scan for the data index's add-ons",
           longestStall(
               &window, [&]() { model.onScanAddonClicked(); }, [&]() { return scanned; }));
    printf("  (%d locations found, %d items listed)\n", found, int(window.items().size()));
    report("refill of the list with what was found",
           longestStall(
               &window, [&]() { model.addMappedAddons(); }, []() { return true; }));

    const int locations = arguments.at(2).toInt();
    QTemporaryDir folders;
    mapBenchLocations(folders.path(), locations);
    const QByteArray label = QStringLiteral("list fill of %0 locations").arg(locations).toUtf8();
    report(label.constData(), longestStall(
                                  &window, [&]() { model.addMappedAddons(); }, []() { return true; }));
    printf("  (%d items listed)\n", int(window.items().size()));
    return 0;
}
