#include "cprogramconfig.h"

#include "foundation/cdatalocations.h"

#include <QSettings>

QVariant CProgramConfig::getValue(const QString& key)
{
    QSettings settings(CDataLocations::settingsFilePath(), QSettings::IniFormat);
    return settings.value(key);
}
