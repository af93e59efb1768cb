#include "cregistry.h"

#include <QSettings>

// QSettings in native format opens "HKEY_LOCAL_MACHINE\..." paths directly; Registry64Format reads the
// 64-bit view from a 32-bit process as well.
static QSettings::Format formatFor(CRegistry::View view)
{
    return view == CRegistry::View::Registry64 ? QSettings::Registry64Format : QSettings::NativeFormat;
}

QString CRegistry::readValue(const QString& keyPath, const QString& valueName, View view)
{
    QSettings settings(normalizedKeyPath(keyPath), formatFor(view));
    return settings.value(valueName).toString();
}

bool CRegistry::writeValue(const QString& keyPath, const QString& valueName, const QString& data)
{
    QSettings settings(normalizedKeyPath(keyPath), QSettings::NativeFormat);
    settings.setValue(valueName, data);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool CRegistry::removeValue(const QString& keyPath, const QString& valueName)
{
    QSettings settings(normalizedKeyPath(keyPath), QSettings::NativeFormat);
    settings.remove(valueName);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString CRegistry::standInFilePath()
{
    return QString();
}
