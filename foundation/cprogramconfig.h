#pragma once

#include <QObject>
#include <QVariant>

// Reads one key of "settings.conf" as stored: an invalid QVariant when the key is absent or the file
// cannot be read.
class CProgramConfig : public QObject
{
    Q_OBJECT

public:
    static QVariant getValue(const QString& key);
};
