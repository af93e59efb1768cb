#include "clogger.h"

#include "foundation/cdatalocations.h"
#include "foundation/cowneronlyfile.h"
#include "foundation/exception.h"
#include "platform/cplatformlog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <cstdio>

namespace
{
QMutex logFileNameMutex;
QString currentLogFileName;

void logPlatformLine(int level, const char* function, const char* file, int line, const QString& message)
{
    if (level >= CLogger::MinimumLevel || CLogger::isEchoEnabled())
        CLogger::log(level, CLogger::functionName(function), CLogger::fileName(file), line, message);
}

void echo(const QString& line)
{
    QByteArray bytes = line.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    fputs(bytes.constData(), stderr);
}
} // namespace

void CLogger::log(int level, const QString& function, const QString& file, int line, const QString& message)
{
    if (level < MinimumLevel && !isEchoEnabled())
        return;
    const QString text =
        tr("[%0][%1][0] - %2 [%3:%4]: %5").arg(timeStamp()).arg(level).arg(function).arg(file).arg(line).arg(message);
    if (level < MinimumLevel)
        echo(text);
    else
        write(text);
}

void CLogger::logService(int webServiceId, int level, const QString& function, const QString& file, int line,
                         const QString& message)
{
    write(tr("[%0][%1][%2] - %3 [%4:%5]: %6")
              .arg(timeStamp())
              .arg(tr("Web Service: %0").arg(webServiceId))
              .arg(level)
              .arg(function)
              .arg(file)
              .arg(line)
              .arg(message));
}

void CLogger::logException(Exception ex)
{
    if (ex.errorLevel < MinimumLevel && !isEchoEnabled())
        return;
    const QString text = tr("[%0][%1][%2] - %3 [%4:%5]: %6")
                             .arg(timeStamp())
                             .arg(ex.errorLevel)
                             .arg(ex.errorNumber)
                             .arg(ex.function)
                             .arg(ex.file)
                             .arg(ex.line)
                             .arg(ex.message);
    if (ex.errorLevel < MinimumLevel)
        echo(text);
    else
        write(text);
}

void CLogger::logFunction(const QString& function, const QString& message)
{
    write(tr("[%0][%1]: %2").arg(timeStamp()).arg(function).arg(message));
}

void CLogger::write(const QString& line)
{
    if (line.isEmpty())
        return;
    if (isEchoEnabled())
        echo(line);
    const QString name = logFileName();
    if (name.isEmpty())
        return;

    // Owner-only: a log names the user's folders and add-ons.
    QFile file(CDataLocations::logFilePath(name));
    if (!COwnerOnlyFile::open(file, QIODevice::WriteOnly | QIODevice::Append))
        return;
    QByteArray bytes = line.toUtf8();
    if (!bytes.endsWith('\n') && !bytes.endsWith('\r'))
        bytes.append('\n');
    file.write(bytes);
}

void CLogger::setLogFileName(const QString& fileName)
{
    {
        QMutexLocker locker(&logFileNameMutex);
        currentLogFileName = fileName;
    }
    // From here on the platform layer's probes reach this log as well.
    CPlatformLog::setSink(&logPlatformLine);
}

QString CLogger::logFileName()
{
    QMutexLocker locker(&logFileNameMutex);
    return currentLogFileName;
}

QString CLogger::logFileNameFor(const QDateTime& startTime)
{
    return startTime.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".log");
}

QString CLogger::functionName(const char* prettyFunction)
{
    // "static QString CDataLocations::dataDirectory()" -> "CDataLocations::dataDirectory";
    // "CInitializer::initialize()::<lambda(int)>" -> "CInitializer::initialize".
    QString text = QString::fromLatin1(prettyFunction);
    const int parenthesis = text.indexOf(QLatin1Char('('));
    if (parenthesis >= 0)
        text.truncate(parenthesis);
    const int space = text.lastIndexOf(QLatin1Char(' '));
    if (space >= 0)
        text.remove(0, space + 1);
    while (text.startsWith(QLatin1Char('*')) || text.startsWith(QLatin1Char('&')))
        text.remove(0, 1);
    return text;
}

QString CLogger::fileName(const char* sourceFile)
{
    return QFileInfo(QString::fromLocal8Bit(sourceFile)).completeBaseName();
}

bool CLogger::isEchoEnabled()
{
    static const bool enabled = qEnvironmentVariableIntValue("TESSARAY_LOG_ECHO") == 1;
    return enabled;
}

QString CLogger::timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
