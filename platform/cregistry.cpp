#include "cregistry.h"

#include "platform/cplatformlog.h"
#include "platform/cregistryfile.h"

QString CRegistry::normalizedKeyPath(const QString& keyPath)
{
    return CRegistryFile::normalizedKeyPath(keyPath);
}

QString CRegistry::readRegistryValue(const QString& keyPath, const QString& subKey, const QString& valueName,
                                     const QString& defaultText, bool use64BitView)
{
    // RegQueryValueEx into a 1024-byte buffer of UTF-16 text: one character is kept for the terminating zero.
    constexpr int bufferCharacters = 1024 / 2 - 1;

    const bool currentUser = keyPath.contains(QLatin1String("HKEY_CURRENT_USER")) ||
                             keyPath.startsWith(QLatin1String("HKCU\\"), Qt::CaseInsensitive);
    QString key = keyPath + QLatin1Char('\\') + subKey + QLatin1Char('\\');
    for (const char* prefix : {"HKEY_LOCAL_MACHINE\\", "HKEY_CURRENT_USER\\", "HKLM\\", "HKCU\\"}) {
        if (key.startsWith(QLatin1String(prefix), Qt::CaseInsensitive))
            key.remove(0, int(qstrlen(prefix)));
    }
    key.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    const QString hive = currentUser ? QStringLiteral("HKEY_CURRENT_USER\\") : QStringLiteral("HKEY_LOCAL_MACHINE\\");

    const QString value = readValue(hive + key, valueName, use64BitView ? View::Registry64 : View::Default);
    BV_PLATFORM_LOG(1, QStringLiteral("Registry value '%0' of '%1%2': '%3'").arg(valueName, hive, key, value));
    if (value.isEmpty() || value.size() > bufferCharacters)
        return defaultText;
    return value;
}
