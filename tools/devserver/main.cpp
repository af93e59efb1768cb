#include "cdevserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

// brelvar-devserver: the development stand-in for the Brelvar web service, serving a content folder.
// Prints the port it listens on, alone on one line of stdout, so that scripts can pick a free port with 0.
int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brelvar-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Development stand-in for the Brelvar web service: REST endpoints, status probe and "
                       "file downloads from a content folder."));
    parser.addHelpOption();
    const QCommandLineOption rootOption(
        QStringLiteral("root"), QStringLiteral("Content folder (with its service.json)."), QStringLiteral("DIR"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("N"),
                                        QStringLiteral("8720"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print each request served on stderr."));
    const QCommandLineOption throttleOption(
        QStringLiteral("throttle"),
        QStringLiteral("Send every response body at no more than this many bytes per second, from its first byte."),
        QStringLiteral("BYTES"));
    parser.addOptions({rootOption, portOption, hostOption, verboseOption, throttleOption});
    parser.process(application);

    QTextStream err(stderr);
    if (!parser.isSet(rootOption)) {
        err << "brelvar-devserver: --root DIR is required.\n";
        return 2;
    }
    bool portIsNumber = false;
    const uint port = parser.value(portOption).toUInt(&portIsNumber);
    if (!portIsNumber || port > 65535) {
        err << "brelvar-devserver: --port takes a number from 0 to 65535.\n";
        return 2;
    }
    const QHostAddress address(parser.value(hostOption));
    if (address.isNull()) {
        err << "brelvar-devserver: --host takes an IP address, not \"" << parser.value(hostOption) << "\".\n";
        return 2;
    }

    qint64 throttle = 0;
    if (parser.isSet(throttleOption)) {
        bool throttleIsNumber = false;
        throttle = parser.value(throttleOption).toLongLong(&throttleIsNumber);
        if (!throttleIsNumber || throttle <= 0) {
            err << "brelvar-devserver: --throttle takes a number of bytes per second above 0.\n";
            return 2;
        }
    }

    CDevServer server;
    if (throttle > 0) {
        CDevServerFault fault;
        fault.bytesPerSecond = throttle;
        server.setFault(QString(), fault);
    }
    QString problem;
    if (!server.setRoot(parser.value(rootOption), &problem)) {
        err << "brelvar-devserver: " << problem << '\n';
        return 1;
    }
    if (!problem.isEmpty())
        err << "brelvar-devserver: " << problem.replace(QLatin1Char('\n'), QStringLiteral("\nbrelvar-devserver: "))
            << '\n';
    if (!server.start(static_cast<quint16>(port), address)) {
        err << "brelvar-devserver: cannot listen on " << address.toString() << ':' << port << ".\n";
        return 1;
    }
    if (parser.isSet(verboseOption)) {
        QObject::connect(&server, &CDevServer::requestServed, &application,
                         [](const QString& method, const QString& target, int status) {
                             QTextStream(stderr) << status << ' ' << method << ' ' << target << Qt::endl;
                         });
    }

    QTextStream(stdout) << server.port() << Qt::endl;
    err << "brelvar-devserver: serving " << server.root() << " at " << server.baseUrl() << Qt::endl;
    return application.exec();
}
