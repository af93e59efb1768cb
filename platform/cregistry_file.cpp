#include "cregistry.h"
#include "cregistryfile.h"
#include "platform/cplatformlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace
{

QMutex registryFileMutex; // guards the file between its read and its write, and the set below
QSet<QString> reportedLines;

// Reads the stand-in; a missing or unreadable file reads as empty. Each skipped line is logged once a run,
// since every registry probe reads the file again.
CRegistryFile readRegistryFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return CRegistryFile();
    CRegistryFile registry = CRegistryFile::parse(file.readAll());
    for (const CRegistryFile::SkippedLine& line : registry.skippedLines()) {
        const QString report =
            QStringLiteral("Skipped line %1 of the registry file %2, which is neither a key nor a value: %3")
                .arg(QString::number(line.number), QDir::toNativeSeparators(fileName), line.text.left(200));
        if (!reportedLines.contains(report)) {
            reportedLines.insert(report);
            BV_PLATFORM_LOG(6, report);
        }
    }
    return registry;
}

bool writeRegistryFile(const QString& fileName, const CRegistryFile& registry)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    // Written through QSaveFile: a crash while writing must not leave a half-written registry behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(registry.content());
    return file.commit();
}

} // namespace

QString CRegistry::standInFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSARAY_REGISTRY_FILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Brelvar/registry.ini");
}

QString CRegistry::readValue(const QString& keyPath, const QString& valueName, View)
{
    QMutexLocker locker(&registryFileMutex);
    return readRegistryFile(standInFilePath()).value(keyPath, valueName);
}

bool CRegistry::writeValue(const QString& keyPath, const QString& valueName, const QString& data)
{
    QMutexLocker locker(&registryFileMutex);
    const QString fileName = standInFilePath();
    if (QFileInfo::exists(fileName) && !QFileInfo(fileName).isReadable())
        return false;
    CRegistryFile registry = readRegistryFile(fileName);
    return registry.setValue(keyPath, valueName, data) && writeRegistryFile(fileName, registry);
}

bool CRegistry::removeValue(const QString& keyPath, const QString& valueName)
{
    QMutexLocker locker(&registryFileMutex);
    const QString fileName = standInFilePath();
    CRegistryFile registry = readRegistryFile(fileName);
    if (!registry.removeValue(keyPath, valueName))
        return true;
    return writeRegistryFile(fileName, registry);
}
