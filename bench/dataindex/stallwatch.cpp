// bench-dataindex-stall SERVICE_ROOT [--local-copy]
//
// Starts the development service on SERVICE_ROOT in this process (on its own thread), points a scratch data
// directory at it and runs the data index's whole start, from the identity request to completed(): download
// (unless --local-copy puts the served file in place first, so that it is only parsed), parse and the
// mapping list. Meanwhile a 1 ms timer on the GUI thread records the gaps between its ticks; the longest gap
// is the longest time the event loop could not answer (a frozen window). Prints the figures on one line.

#include "bench/support/cstallwatch.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "tools/devserver/cdevserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2) {
        fprintf(stderr, "usage: bench-dataindex-stall SERVICE_ROOT [--local-copy]\n");
        return 2;
    }
    QTemporaryDir data;
    qputenv("TESSARAY_DATA_DIR", QFile::encodeName(data.path()));
    qputenv("TESSARAY_REGISTRY_FILE", QFile::encodeName(data.filePath(QStringLiteral("registry.ini"))));

    CDevServer service;
    QString problem;
    if (!service.setRoot(arguments.at(1), &problem) || !service.start(0)) {
        fprintf(stderr, "the development service could not start: %s\n", qPrintable(problem));
        return 1;
    }
    CSettings::setValue(SettingsKey::ServerAddress, service.baseUrl());
    const bool localCopy = arguments.contains(QStringLiteral("--local-copy"));
    if (localCopy && !QFile::copy(arguments.at(1) + QStringLiteral("/data.index"), CDataLocations::dataIndexFilePath()))
        return 1;

    CStallWatch watch;

    CDataIndex* index = CDataIndex::instance();
    QObject::connect(index, &CDataIndex::completed, &application, [&]() { application.quit(); });
    QObject::connect(index, &CDataIndex::error, [&](int, int number, const QString& message) {
        fprintf(stderr, "error %d: %s\n", number, qPrintable(message));
        if (!index->isChecking())
            application.exit(1);
    });
    QTimer::singleShot(0, [&]() {
        watch.start();
        index->initialize();
    });
    const int status = application.exec();
    watch.stop(); // the last gap runs up to completed()
    printf("%s: %d supported add-ons, start to completed %.1f ms, longest event-loop stall %.1f ms (%d ticks)\n",
           localCopy ? "local copy" : "download", index->supported().size(), watch.elapsedMs(), watch.longestMs(),
           watch.ticks());
    return status;
}
