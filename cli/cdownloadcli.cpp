// tessaray-cli download URL DEST [--threads N]: one download with the engine, for scripts and benchmarks.

#include "cli/cclicommand.h"
#include "downloader/chttpdownloadmanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace
{
constexpr int maximumThreads = 64;

// "[#####.....]  42%  12.3 MB of 29.0 MB" on one line of stderr, redrawn in place.
void drawProgress(qint64 done, qint64 total)
{
    constexpr int width = 30;
    const double fraction = total > 0 ? qBound(0.0, double(done) / double(total), 1.0) : 0.0;
    const int filled = int(fraction * width);
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'));
    const QString line = QStringLiteral("\r[%1] %2%  %3 MB of %4 MB")
                             .arg(bar)
                             .arg(int(fraction * 100), 3)
                             .arg(double(done) / 1e6, 0, 'f', 1)
                             .arg(double(qMax<qint64>(total, 0)) / 1e6, 0, 'f', 1);
    fputs(line.toLocal8Bit().constData(), stderr);
    fflush(stderr);
}

int runDownload(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Downloads URL to DEST with the download engine. DEST may be a folder, which then receives "
                       "the file under the name the URL ends with. On success prints one line: bytes, seconds and "
                       "MB/s (1 MB = 1,000,000 bytes), separated by tabs."));
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The file to download (http or https)."));
    parser.addPositionalArgument(QStringLiteral("DEST"), QStringLiteral("The destination file or folder."));
    const QCommandLineOption threadsOption(
        QStringLiteral("threads"), QStringLiteral("Number of workers, 1 to %1 (default 5).").arg(maximumThreads),
        QStringLiteral("N"), QStringLiteral("5"));
    parser.addOption(threadsOption);
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return CCli::usageError(parser, QStringLiteral("Expected URL and DEST."));
    bool threadsOk = false;
    const int threads = parser.value(threadsOption).toInt(&threadsOk);
    if (!threadsOk || threads < 1 || threads > maximumThreads)
        return CCli::usageError(parser, QStringLiteral("--threads takes a number from 1 to %1.").arg(maximumThreads));
    const QString url = positional.at(0);
    const QUrl parsed(url);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        return CCli::usageError(parser, QStringLiteral("'%1' is not an http or https URL.").arg(url));
    // The engine resolves relative paths against the program's folder; a user means the current one.
    const QString destination = QFileInfo(positional.at(1)).absoluteFilePath();

    CHttpDownloadManager manager;
    int result = CCli::Failure;
    qint64 size = 0;
    const bool showProgress = CCli::stderrIsTerminal();
    QTimer progress;
    progress.setInterval(200);
    QObject::connect(&progress, &QTimer::timeout, [&manager]() {
        const DownloadTaskRecord record = manager.currentTaskRecord();
        if (!record.isEmpty())
            drawProgress(record.downloaded, record.size);
    });
    QObject::connect(&manager, &CHttpDownloadManager::filesizeFetched, [&size](qint64 fileSize) { size = fileSize; });
    QElapsedTimer clock;
    QObject::connect(&manager, &CHttpDownloadManager::finished, [&](QString&, CNetworkError& error) {
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        progress.stop();
        if (showProgress) {
            if (!error.hasError())
                drawProgress(size, size);
            fputs("\n", stderr);
        }
        if (error.hasError()) {
            CCli::printError(error.code(), error.text());
            result = CCli::Failure;
        } else {
            CCli::printLine(QStringLiteral("%1 bytes\t%2 s\t%3 MB/s")
                                .arg(size)
                                .arg(seconds, 0, 'f', 3)
                                .arg(seconds > 0 ? double(size) / 1e6 / seconds : 0.0, 0, 'f', 1));
            result = CCli::Success;
        }
        QCoreApplication::exit(result);
    });

    if (!manager.appendTask(url, destination, threads)) {
        CCli::printError(CNetworkError::OwnError, QStringLiteral("The download could not be registered."));
        return CCli::Failure;
    }
    if (showProgress)
        progress.start();
    clock.start();
    bool ended = false;
    QObject::connect(&manager, &CHttpDownloadManager::finished, [&ended](QString&, CNetworkError&) { ended = true; });
    manager.startTask(url);
    // A download that fails at once has ended inside startTask, before the loop could run.
    if (!ended)
        QCoreApplication::exec();
    return result;
}

const CCliCommandRegistration registration({QStringLiteral("download"),
                                            QStringLiteral("Download a file with the multi-piece engine."),
                                            runDownload});
} // namespace
