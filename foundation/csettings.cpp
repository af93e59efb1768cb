#include "csettings.h"

#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/cowneronlyfile.h"
#include "platform/cdurablefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSettings>

#include <memory>

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

// QSettings reports a format error only to the object that parsed the file; the next ones share its cached
// keys, so later reads would see half a damaged file. Every file found damaged is remembered by its size and
// time, the two things QSettings itself looks at before it parses a file again.
class CDamagedFiles
{
public:
    bool contains(const QString& path)
    {
        QMutexLocker locker(&m_mutex);
        const auto found = m_stamps.constFind(path);
        return found != m_stamps.constEnd() && found.value() == stampOf(path);
    }

    void insert(const QString& path)
    {
        QMutexLocker locker(&m_mutex);
        m_stamps.insert(path, stampOf(path));
    }

private:
    static QString stampOf(const QString& path)
    {
        const QFileInfo info(path);
        return QStringLiteral("%1 %2").arg(QString::number(info.size()),
                                           QString::number(info.lastModified().toMSecsSinceEpoch()));
    }

    QMutex m_mutex;
    QHash<QString, QString> m_stamps;
};

CDamagedFiles damagedFiles;

// True when the settings file cannot be parsed, now or when it was first read as it is now.
bool hasFormatError(const QString& path, const QSettings& settings)
{
    // QSettings parses a group only when one of its keys is read, and meets a bad line only then: parse all
    // of them, so that the answer does not depend on which key is asked first.
    settings.allKeys();
    if (settings.status() == QSettings::FormatError) {
        damagedFiles.insert(path);
        return true;
    }
    return damagedFiles.contains(path);
}

// Unreadable or damaged: every key reads as its default. QSettings reports an access error to every reader
// after a write that could not be saved (a data folder the user may not write) as well; what it read is
// good then, and taking the defaults instead would send the program to its default server.
bool isDamaged(const QString& path, const QSettings& settings)
{
    if (hasFormatError(path, settings))
        return true;
    const QFileInfo file(path);
    return settings.status() == QSettings::AccessError && file.exists() && !file.isReadable();
}

// A write would store the keys QSettings could parse and drop the rest, so a damaged file is first moved
// aside, whole, and the program starts a new one.
void setAsideIfDamaged(const QString& path)
{
    {
        const QSettings settings(path, QSettings::IniFormat);
        if (!hasFormatError(path, settings))
            return;
    }
    const QString aside =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    if (QFile::rename(path, aside))
        BV_LOG(6, QStringLiteral("%1 could not be read (format error); it is kept as %2 and a new one is started.")
                      .arg(path, aside));
}

QSettings* openForWriting(const QString& path)
{
    setAsideIfDamaged(path);
    // The file holds the enciphered log-in: created owner-only, and QSettings keeps the rights when it
    // replaces the file.
    COwnerOnlyFile::ensure(path);
    return new QSettings(path, QSettings::IniFormat);
}

// QSettings replaces the file whole (synced) when it syncs; what is left is to hear when it could not, and
// to put the new name on the disk too.
void finishWriting(QSettings& settings)
{
    settings.sync();
    QString problem;
    if (settings.status() != QSettings::NoError)
        BV_LOG(6, QStringLiteral("The settings file %0 could not be written; the change is lost.")
                      .arg(QDir::toNativeSeparators(settings.fileName())));
    else if (!CDurableFile::syncFolder(QFileInfo(settings.fileName()).absolutePath(), &problem))
        BV_LOG(6, problem);
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
    const QString path = CDataLocations::settingsFilePath();
    const QSettings settings(path, QSettings::IniFormat);
    return isDamaged(path, settings) ? defaultValue : settings.value(key, defaultValue);
}

void CSettings::setValue(const QString& key, const QVariant& value)
{
    const std::unique_ptr<QSettings> settings(openForWriting(CDataLocations::settingsFilePath()));
    settings->setValue(key, value);
    finishWriting(*settings);
}

void CSettings::remove(const QString& key)
{
    const std::unique_ptr<QSettings> settings(openForWriting(CDataLocations::settingsFilePath()));
    settings->remove(key);
    finishWriting(*settings);
}

bool CSettings::contains(const QString& key)
{
    const QString path = CDataLocations::settingsFilePath();
    const QSettings settings(path, QSettings::IniFormat);
    return !isDamaged(path, settings) && settings.contains(key);
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
