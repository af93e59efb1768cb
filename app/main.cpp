#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csingleinstanceguard.h"
#include "ui/cinstanceactivation.h"
#include "ui/cmainwindow.h"
#include "version.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>

#ifdef Q_OS_WIN
#include "app/ccrashdump.h"
#endif

#include <memory>

int main(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    CCrashDump::install();
#endif
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    auto application = std::make_unique<QApplication>(argc, argv);

    // Named before the first line is written; every process names its own file.
    CLogger::setLogFileName(CLogger::logFileNameFor(QDateTime::currentDateTime()));

    BV_LOG(1, QStringLiteral("Brelvar Tessaray is starting..."));
    BV_LOG(1, QStringLiteral("Current Version: %0").arg(QStringLiteral(TESSARAY_VERSION)));
    BV_LOG(1, QStringLiteral("Log file path: %0")
                  .arg(QDir::toNativeSeparators(CDataLocations::logFilePath(CLogger::logFileName()))));
    BV_LOG(1, QStringLiteral("Index file path: %0").arg(QDir::toNativeSeparators(CDataLocations::dataIndexFilePath())));

    auto guard = std::make_unique<CSingleInstanceGuard>();
    switch (guard->acquire()) {
    case CSingleInstanceGuard::Result::AnotherInstance:
        BV_LOG(1, QStringLiteral("Multiple instance found. The program is now quit."));
        // The user asked for the window: the running copy shows it.
        CInstanceActivation::askRunningInstance(guard->key());
        guard.reset();
        application.reset();
        return 1;
    case CSingleInstanceGuard::Result::Unavailable:
        guard.reset();
        application.reset();
        return 0;
    case CSingleInstanceGuard::Result::Acquired:
        BV_LOG(1, QStringLiteral("Memory GUID %0 created.").arg(guard->key()));
        break;
    }

    int exitCode = 0;
    {
        CMainWindow window;
        CInstanceActivation activation(guard->key());
        QObject::connect(&activation, &CInstanceActivation::activationRequested, &window, &CMainWindow::bringToFront);
        activation.listen();
        window.show();
        // The model first completes installs and restores that a crash or a kill left pending, off the
        // window's thread, before anything asks the network.
        window.initializeModel();
        exitCode = QApplication::exec();
    }
    guard.reset();
    application.reset();
    return exitCode;
}
