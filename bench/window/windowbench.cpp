// bench-window [LOCATIONS] [RUNS]
//
// The add-on list's own costs on the offscreen platform, with LOCATIONS items (default 300): filling the
// list (clear, one item per location, sort, and the event loop until it has laid out and painted), one
// keystroke in the filter box, and each sort order. Prints the median of RUNS runs (default 5) of each, with
// its ratio to the target.
#include "ui/cmainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
QList<AddonItemRecord> records(int count)
{
    static const char* const simulators[] = {"FSX", "P34", "FS9", "XP11", "XP10"};
    QList<AddonItemRecord> list;
    for (int i = 0; i < count; ++i) {
        AddonItemRecord item;
        item.addonGuid = QUuid::createUuidV5(QUuid(), QString::number(i / 2));
        item.mappingGuid = QUuid::createUuidV5(QUuid(), QString::number(i));
        item.name = QStringLiteral("Add-on %0 %1").arg((i * 7919) % 1000, 3, 10, QLatin1Char('0')).arg(i);
        item.simulator = QLatin1String(simulators[i % 5]);
        item.platform = QStringLiteral("WINDOWS");
        item.directory =
            QStringLiteral("C:\\Simulators\\%0\\SimObjects\\Airplanes\\Add-on %1").arg(item.simulator).arg(i);
        item.status = i % 9;
        item.cycle = 2611;
        item.revision = 2;
        item.currentCycle = 2612;
        item.currentRevision = 3;
        list.append(item);
    }
    return list;
}

// Milliseconds from the action to an idle event loop, the window painted.
double timed(QWidget* window, const std::function<void()>& action)
{
    QElapsedTimer clock;
    clock.start();
    action();
    QCoreApplication::processEvents();
    window->grab();
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* name, double value, double target)
{
    printf("%-36s %8.1f ms   target %5.0f ms   ratio %.2f\n", name, value, target, value / target);
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 300;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QTemporaryDir data;
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(data.path()));
    qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(data.filePath(QStringLiteral("registry.ini"))));

    CMainWindow window;
    window.resize(1000, 700);
    window.show();
    window.switchView(1);
    const QList<AddonItemRecord> items = records(count);
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filterEdit"));

    std::vector<double> fill, keystroke, sort;
    for (int run = 0; run < runs; ++run) {
        fill.push_back(timed(&window, [&]() {
            window.clearItems();
            for (const AddonItemRecord& item : items)
                window.addMappedAddon(item);
            window.sortItem(CMainWindow::SortStatusAscending);
        }));
        filter->clear();
        QCoreApplication::processEvents();
        keystroke.push_back(timed(&window, [&]() { QTest::keyClick(filter, Qt::Key_7); }));
        filter->clear();
        QCoreApplication::processEvents();
        for (int order = 0; order < 6; ++order)
            sort.push_back(timed(&window, [&]() { window.sortItem(order); }));
    }
    printf("%d locations, median of %d runs\n", count, runs);
    report("list fill (clear, add, sort, paint)", median(fill), 300);
    report("filter keystroke", median(keystroke), 50);
    report("sort (each of the six orders)", median(sort), 100);
    return 0;
}
