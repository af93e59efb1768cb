#include "cpathplaceholders.h"

#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"
#include "platform/cstandardlocations.h"

#include <QCoreApplication>
#include <QDir>

namespace
{

const QString programDataPlaceholder = QStringLiteral("[PROGRAMDATA]");
const QString commonProgramFilesPlaceholder = QStringLiteral("[COMMONPROGRAMFILES(X86)]");
// Per-application locations end in the application's name; the placeholders mean the folder above it.
const QString legacyApplicationName = QStringLiteral("BVFMSManager");

struct StandardPlaceholder
{
    const char* placeholder;
    QStandardPaths::StandardLocation location;
};

// In ascending order of the placeholder text: the order in which they are replaced.
const StandardPlaceholder standardPlaceholders[] = {
    {"[APPCACHE]", QStandardPaths::CacheLocation},
    {"[APPCACHESHARED]", QStandardPaths::GenericCacheLocation},
    {"[APPCONFIG]", QStandardPaths::ConfigLocation},
    {"[APPCONFIGSHARED]", QStandardPaths::GenericConfigLocation},
    {"[APPDATA]", QStandardPaths::AppDataLocation},
    {"[APPDATALOCAL]", QStandardPaths::AppLocalDataLocation},
    {"[APPDATASHARED]", QStandardPaths::GenericDataLocation},
    {"[DESKTOP]", QStandardPaths::DesktopLocation},
    {"[DOCUMENTS]", QStandardPaths::DocumentsLocation},
    {"[DOWNLOADS]", QStandardPaths::DownloadLocation},
    {"[HOME]", QStandardPaths::HomeLocation},
    {"[RUNTIME]", QStandardPaths::RuntimeLocation},
    {"[TEMP]", QStandardPaths::TempLocation},
};

QString normalizeOnce(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    result.replace(QStringLiteral("//"), QStringLiteral("/"));
    return result;
}

QString withoutTrailingElement(const QString& path, const QString& name)
{
    if (name.isEmpty())
        return path;
    QString internal = CLocalPath::toInternal(path);
    while (internal.endsWith(QLatin1Char('/')) && internal.size() > 1)
        internal.chop(1);
    const QString suffix = QLatin1Char('/') + name;
    if (!internal.endsWith(suffix, Qt::CaseInsensitive))
        return path;
    internal.chop(suffix.size());
    return QDir::toNativeSeparators(internal.isEmpty() ? QStringLiteral("/") : internal);
}

} // namespace

CPathPlaceholders::RootReplacement CPathPlaceholders::replaceRootPlaceholder(const QString& path)
{
    RootReplacement result;
    result.path = path;
    const QList<int> simulators = CSimulators::rootSimulators();
    for (int simulator : simulators) {
        const QString placeholder = CSimulators::rootPlaceholder(simulator);
        if (!path.contains(placeholder))
            continue;
        result.placeholder = placeholder;
        result.simulator = simulator;
        result.value = CSimulatorRoots::root(simulator, false);
        result.path.replace(placeholder, result.value);
        return result;
    }
    for (const QString& placeholder : {programDataPlaceholder, commonProgramFilesPlaceholder}) {
        if (!path.contains(placeholder))
            continue;
        result.placeholder = placeholder;
        result.value = placeholder == programDataPlaceholder ? programDataFolder() : commonProgramFilesFolder();
        result.path = collapseSeparators(QString(path).replace(placeholder, result.value));
        return result;
    }
    return result;
}

QString CPathPlaceholders::replaceStandardLocations(const QString& path)
{
    QString result = path;
    for (const StandardPlaceholder& entry : standardPlaceholders) {
        const QString placeholder = QString::fromLatin1(entry.placeholder);
        if (!result.contains(placeholder))
            continue;
        const QString value = standardLocation(entry.location);
        if (value.isEmpty())
            continue;
        result = normalizeOnce(result.replace(placeholder, value));
    }
    return result;
}

QString CPathPlaceholders::resolve(const QString& path)
{
    QString result = path;
    if (result.contains(QLatin1Char('[')) && result.contains(QLatin1Char(']'))) {
        result = replaceRootPlaceholder(result).path;
        result = replaceStandardLocations(result);
    }
    return collapseSeparators(result);
}

QString CPathPlaceholders::programDataFolder()
{
    const QString commonAppData =
        CRegistry::readValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                            "Explorer\\Shell Folders"),
                             QStringLiteral("Common AppData"));
    if (!commonAppData.isEmpty())
        return commonAppData + QDir::separator();
    return CDataLocations::dataDirectory();
}

QString CPathPlaceholders::commonProgramFilesFolder()
{
    const QString x86 = CStandardLocations::environmentValue(QStringLiteral("commonprogramfiles(x86)"));
    if (!x86.isEmpty())
        return x86;
    return CStandardLocations::environmentValue(QStringLiteral("commonprogramfiles"));
}

QString CPathPlaceholders::standardLocation(QStandardPaths::StandardLocation type)
{
    QString location = CStandardLocations::firstLocation(type);
    location = withoutTrailingElement(location, legacyApplicationName);
    location = withoutTrailingElement(location, QCoreApplication::applicationName());
    return location;
}

QString CPathPlaceholders::collapseSeparators(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    while (result.contains(QStringLiteral("\\\\")) || result.contains(QStringLiteral("//"))) {
        result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        result.replace(QStringLiteral("//"), QStringLiteral("/"));
    }
    return result;
}
