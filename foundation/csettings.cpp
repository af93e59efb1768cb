#include "csettings.h"

#include "foundation/cdatalocations.h"

#include <QHash>
#include <QSettings>

namespace
{

const QHash<QString, QVariant>& defaults()
{
    static const QHash<QString, QVariant> table{
        {SettingsKey::ProgramUser, 0},
        {SettingsKey::ProgramToken, QString()},
        {SettingsKey::ServerAddress, QStringLiteral(TESSARAY_DEFAULT_SERVER_ADDRESS)},
        {SettingsKey::ServerRegion, QString()},
        {SettingsKey::ChunkSize, 16},
        {SettingsKey::StallTimeout, 30},
        {SettingsKey::AutoBackup, true},
        {SettingsKey::RemoveOldBackup, false},
        {SettingsKey::BackupPath, QString()},
        {SettingsKey::CycleHash, QString()},
        {SettingsKey::AskForXPlanePath, true},
        {SettingsKey::AskScanIfNoAddonMapped, true},
        {SettingsKey::RememberSorting, false},
        {SettingsKey::SortBy, 4},
        {SettingsKey::WindowState, 0},
        {SettingsKey::UseTheme, true},
        {SettingsKey::AutoStart, true},
        {SettingsKey::UpdateInterval, 0},
        {SettingsKey::EnableProxy, false},
        {SettingsKey::ProxyAddress, QString()},
        {SettingsKey::ProxyPort, 80},
        {SettingsKey::ProxyUseAuth, false},
        {SettingsKey::ProxyUserName, QString()},
        {SettingsKey::ProxyPassword, QString()},
        {SettingsKey::ProxyDomain, QString()},
        {SettingsKey::SimulatorsDisable, 0},
    };
    return table;
}

bool toBool(const QVariant& value)
{
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true"))
        return true;
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    return isNumber && number != 0;
}

int toInt(const QVariant& value)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : 0;
}

} // namespace

QVariant CSettings::defaultValue(const QString& key)
{
    return defaults().value(key);
}

QVariant CSettings::value(const QString& key)
{
    return value(key, defaultValue(key));
}

QVariant CSettings::value(const QString& key, const QVariant& defaultValue)
{
    QSettings settings(CDataLocations::settingsFilePath(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return defaultValue;
    return settings.value(key, defaultValue);
}

void CSettings::setValue(const QString& key, const QVariant& value)
{
    QSettings settings(CDataLocations::settingsFilePath(), QSettings::IniFormat);
    settings.setValue(key, value);
}

void CSettings::remove(const QString& key)
{
    QSettings settings(CDataLocations::settingsFilePath(), QSettings::IniFormat);
    settings.remove(key);
}

bool CSettings::contains(const QString& key)
{
    QSettings settings(CDataLocations::settingsFilePath(), QSettings::IniFormat);
    return settings.status() == QSettings::NoError && settings.contains(key);
}

bool CSettings::boolValue(const QString& key)
{
    return toBool(value(key));
}

bool CSettings::boolValue(const QString& key, bool defaultValue)
{
    return toBool(value(key, defaultValue));
}

int CSettings::intValue(const QString& key)
{
    return toInt(value(key));
}

int CSettings::intValue(const QString& key, int defaultValue)
{
    return toInt(value(key, defaultValue));
}

QString CSettings::stringValue(const QString& key)
{
    return value(key).toString();
}

bool CSettings::useTheme()
{
    return boolValue(SettingsKey::UseTheme);
}

bool CSettings::askScanIfNoAddonMapped()
{
    return boolValue(SettingsKey::AskScanIfNoAddonMapped);
}

void CSettings::setAskScanIfNoAddonMapped(bool ask)
{
    setValue(SettingsKey::AskScanIfNoAddonMapped, ask);
}

bool CSettings::rememberSorting()
{
    return boolValue(SettingsKey::RememberSorting, false);
}

int CSettings::sortBy()
{
    return intValue(SettingsKey::SortBy);
}

void CSettings::setSortBy(int sortOrder)
{
    setValue(SettingsKey::SortBy, sortOrder);
}

QRect CSettings::windowGeometry(const QRect& current)
{
    const QVariant stored = value(SettingsKey::WindowGeometry, current);
    return stored.canConvert<QRect>() ? stored.toRect() : current;
}

void CSettings::setWindowGeometry(const QRect& geometry)
{
    setValue(SettingsKey::WindowGeometry, geometry);
}

int CSettings::windowState()
{
    return intValue(SettingsKey::WindowState);
}

void CSettings::setWindowState(int state)
{
    setValue(SettingsKey::WindowState, state);
}

int CSettings::disabledSimulators()
{
    return intValue(SettingsKey::SimulatorsDisable);
}

bool CSettings::isSimulatorDisabled(int simulatorFlag)
{
    return (disabledSimulators() & simulatorFlag) != 0;
}

void CSettings::setSimulatorDisabled(int simulatorFlag, bool disabled)
{
    const int bits = disabledSimulators();
    setValue(SettingsKey::SimulatorsDisable, disabled ? (bits | simulatorFlag) : (bits & ~simulatorFlag));
}
