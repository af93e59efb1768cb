#include "cprogramconfig.h"

#include "commands/cioutils.h"

#include <QSettings>

QVariant CProgramConfig::getValue(const QString& key)
{
    QSettings settings(CIOUtils::settingsFilePath(), QSettings::IniFormat);
    return settings.value(key);
}
