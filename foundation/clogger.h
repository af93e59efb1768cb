#pragma once

#include <QObject>
#include <QString>

struct Exception;

// The program's text log: one file per run in the data directory's "logs" folder, one line per call.
//
// Every call opens, appends and closes the file, so lines survive a crash and no handle is held; lines
// written by two threads at the same moment may interleave. Logging never fails loudly: a line that
// cannot be written is lost. On Linux and macOS a log file is readable by its owner only.
class CLogger : public QObject
{
    Q_OBJECT

public:
    // Messages below this level are dropped by log() and logException().
    static constexpr int MinimumLevel = 6;

    static void log(int level, const QString& function, const QString& file, int line, const QString& message);
    // Always written, whatever the level.
    static void logService(int webServiceId, int level, const QString& function, const QString& file, int line,
                           const QString& message);
    static void logException(Exception ex);
    // Always written.
    static void logFunction(const QString& function, const QString& message);
    // Appends one finished line (a line end is added when missing); empty lines are ignored.
    static void write(const QString& line);

    // This run's file name, "yyyyMMdd-HHmmss.log". Set once at start-up before anything logs; lines written
    // before it is set are dropped.
    static void setLogFileName(const QString& fileName);
    static QString logFileName();
    static QString logFileNameFor(const QDateTime& startTime);

    // "CClass::method" from the compiler's pretty function name; inside a lambda the enclosing method.
    static QString functionName(const char* prettyFunction);
    // The source file's base name without extension ("cbackupcommand").
    static QString fileName(const char* sourceFile);

    static QString timeStamp();

    // With TESSARAY_LOG_ECHO=1 in the environment every line, whatever its level, is also printed on stderr,
    // so that a developer or a test can follow the lines that the threshold keeps out of the file.
    static bool isEchoEnabled();
};

#define BV_LOG(level, message)                                                                                         \
    do {                                                                                                               \
        if ((level) >= CLogger::MinimumLevel || CLogger::isEchoEnabled())                                              \
            CLogger::log((level), CLogger::functionName(Q_FUNC_INFO), CLogger::fileName(__FILE__), __LINE__,           \
                         (message));                                                                                   \
    } while (false)

#define BV_LOG_SERVICE(webServiceId, level, message)                                                                   \
    CLogger::logService((webServiceId), (level), CLogger::functionName(Q_FUNC_INFO), CLogger::fileName(__FILE__),      \
                        __LINE__, (message))

#define BV_LOG_FUNCTION(message) CLogger::logFunction(CLogger::functionName(Q_FUNC_INFO), (message))
