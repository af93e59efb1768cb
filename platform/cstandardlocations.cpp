#include "cstandardlocations.h"

#include <QDir>
#include <QProcessEnvironment>

QString CStandardLocations::homePath()
{
    const QString fromEnvironment = qEnvironmentVariable("HOME");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(QDir::fromNativeSeparators(fromEnvironment));
    return QDir::cleanPath(QDir::homePath());
}

QString CStandardLocations::localAppDataPath()
{
#if defined(Q_OS_WIN)
    const QString fromEnvironment = qEnvironmentVariable("LOCALAPPDATA");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(QDir::fromNativeSeparators(fromEnvironment));
    return homePath() + QStringLiteral("/AppData/Local");
#else
    return QString();
#endif
}

QString CStandardLocations::firstLocation(QStandardPaths::StandardLocation type)
{
    const QStringList locations = QStandardPaths::standardLocations(type);
    return locations.isEmpty() ? QString() : locations.first();
}

QString CStandardLocations::environmentValue(const QString& name)
{
    const QString exact = qEnvironmentVariable(name.toLocal8Bit().constData());
    if (!exact.isEmpty())
        return exact;
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QStringList keys = environment.keys();
    for (const QString& key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            const QString value = environment.value(key);
            if (!value.isEmpty())
                return value;
        }
    }
    return QString();
}
