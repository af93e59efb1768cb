#include "cregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace
{

struct RegistryValue
{
    QString name;
    QString data;
};

struct RegistryKey
{
    QString path;
    std::vector<RegistryValue> values;
};

// The whole stand-in file. Keys and values keep the order and spelling of the file.
struct RegistryFile
{
    std::vector<RegistryKey> keys;
    bool malformed = false;

    RegistryKey* findKey(const QString& path)
    {
        for (RegistryKey& key : keys) {
            if (key.path.compare(path, Qt::CaseInsensitive) == 0)
                return &key;
        }
        return nullptr;
    }
};

QMutex registryFileMutex;

RegistryFile readRegistryFile(const QString& fileName)
{
    RegistryFile result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return result;

    QTextStream in(&file);
    in.setCodec("UTF-8");
    RegistryKey* current = nullptr;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')) && line.size() > 2) {
            const QString path = CRegistry::normalizedKeyPath(line.mid(1, line.size() - 2));
            current = result.findKey(path);
            if (!current) {
                result.keys.push_back(RegistryKey{path, {}});
                current = &result.keys.back();
            }
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (!current || equals < 0) {
            // One line we don't understand makes the whole file suspect: read nothing rather than guess.
            return RegistryFile{{}, true};
        }
        const QString name = line.left(equals).trimmed();
        const QString data = line.mid(equals + 1).trimmed();
        auto existing = std::find_if(current->values.begin(), current->values.end(), [&](const RegistryValue& v) {
            return v.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (existing != current->values.end())
            existing->data = data;
        else
            current->values.push_back(RegistryValue{name, data});
    }
    return result;
}

bool writeRegistryFile(const QString& fileName, const RegistryFile& registry)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    // Written through QSaveFile: a crash while writing must not leave a half-written registry behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    for (const RegistryKey& key : registry.keys) {
        if (key.values.empty())
            continue;
        out << '[' << key.path << "]\n";
        for (const RegistryValue& value : key.values)
            out << value.name << '=' << value.data << '\n';
        out << '\n';
    }
    out.flush();
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
    RegistryFile registry = readRegistryFile(standInFilePath());
    const RegistryKey* key = registry.findKey(normalizedKeyPath(keyPath));
    if (!key)
        return QString();
    for (const RegistryValue& value : key->values) {
        if (value.name.compare(valueName, Qt::CaseInsensitive) == 0)
            return value.data;
    }
    return QString();
}

bool CRegistry::writeValue(const QString& keyPath, const QString& valueName, const QString& data)
{
    QMutexLocker locker(&registryFileMutex);
    const QString fileName = standInFilePath();
    RegistryFile registry = readRegistryFile(fileName);
    if (registry.malformed)
        return false;
    const QString path = normalizedKeyPath(keyPath);
    RegistryKey* key = registry.findKey(path);
    if (!key) {
        registry.keys.push_back(RegistryKey{path, {}});
        key = &registry.keys.back();
    }
    auto existing = std::find_if(key->values.begin(), key->values.end(), [&](const RegistryValue& v) {
        return v.name.compare(valueName, Qt::CaseInsensitive) == 0;
    });
    if (existing != key->values.end())
        existing->data = data;
    else
        key->values.push_back(RegistryValue{valueName, data});
    return writeRegistryFile(fileName, registry);
}

bool CRegistry::removeValue(const QString& keyPath, const QString& valueName)
{
    QMutexLocker locker(&registryFileMutex);
    const QString fileName = standInFilePath();
    RegistryFile registry = readRegistryFile(fileName);
    if (registry.malformed)
        return false;
    RegistryKey* key = registry.findKey(normalizedKeyPath(keyPath));
    if (!key)
        return true;
    const auto before = key->values.size();
    key->values.erase(
        std::remove_if(key->values.begin(), key->values.end(),
                       [&](const RegistryValue& v) { return v.name.compare(valueName, Qt::CaseInsensitive) == 0; }),
        key->values.end());
    if (key->values.size() == before)
        return true;
    return writeRegistryFile(fileName, registry);
}
