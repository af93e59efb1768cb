#include "cprogramconfig.h"

#include "foundation/csettings.h"

QVariant CProgramConfig::getValue(const QString& key)
{
    return CSettings::value(key, QVariant());
}
