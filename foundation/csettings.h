#pragma once

#include <QRect>
#include <QString>
#include <QVariant>

// The keys of "settings.conf". Stored in users' files: never rename.
namespace SettingsKey
{
inline const QString ProgramVersion = QStringLiteral("program/version");
inline const QString ProgramUser = QStringLiteral("program/user");
inline const QString ProgramToken = QStringLiteral("program/token");
inline const QString ServerAddress = QStringLiteral("server/address");
inline const QString ServerRegion = QStringLiteral("server/region");
inline const QString ChunkSize = QStringLiteral("program/chunksize");
// Seconds without a byte after which a download request is given up.
inline const QString StallTimeout = QStringLiteral("program/stalltimeout");
inline const QString AutoBackup = QStringLiteral("program/autobackup");
inline const QString RemoveOldBackup = QStringLiteral("program/removeoldbackup");
inline const QString BackupPath = QStringLiteral("program/backuppath");
inline const QString CycleHash = QStringLiteral("program/cyclehash");
inline const QString AskForXPlanePath = QStringLiteral("program/askforxplanepath");
inline const QString AskScanIfNoAddonMapped = QStringLiteral("program/askscanifnoaddonmapped");
inline const QString RememberSorting = QStringLiteral("program/remembersorting");
inline const QString SortBy = QStringLiteral("program/sortby");
inline const QString WindowGeometry = QStringLiteral("window/geometry");
inline const QString WindowState = QStringLiteral("window/state");
inline const QString UseTheme = QStringLiteral("program/usetheme");
inline const QString AutoStart = QStringLiteral("program/autostart");
inline const QString UpdateInterval = QStringLiteral("program/updateinterval");
inline const QString EnableProxy = QStringLiteral("proxy/enableproxy");
inline const QString ProxyAddress = QStringLiteral("proxy/ipaddress");
inline const QString ProxyPort = QStringLiteral("proxy/port");
inline const QString ProxyUseAuth = QStringLiteral("proxy/useauth");
inline const QString ProxyUserName = QStringLiteral("proxy/username");
inline const QString ProxyPassword = QStringLiteral("proxy/password");
inline const QString ProxyDomain = QStringLiteral("proxy/domain");
inline const QString SimulatorsDisable = QStringLiteral("simulators/disable");
// "simulators/" + short name ("FSX", "XP11" ...): a simulator root chosen by the user or cached after detection.
inline const QString SimulatorRootPrefix = QStringLiteral("simulators/");
// "mapping/" + item key: checked state of one add-on list item.
inline const QString MappingGroup = QStringLiteral("mapping");
} // namespace SettingsKey

// Every read and write of "settings.conf" goes through here: a fresh QSettings (INI) on the file for each
// access, so that any thread may call and a value written by one part is seen by the next reader.
//
// A missing file or key gives the key's default. A file that cannot be read or parsed gives the defaults as
// well, on every read until it changes, and a stored value that does not convert to the expected type gives
// that type's zero. A write into a file that cannot be parsed first moves it aside whole
// ("settings.conf.damaged-<time>"), since rewriting it would keep only the keys that could be read. On Linux
// and macOS the file is readable by its owner only: it holds the enciphered log-in.
class CSettings
{
public:
    // The default of the key table; an invalid QVariant for keys without one.
    static QVariant defaultValue(const QString& key);

    static QVariant value(const QString& key);
    static QVariant value(const QString& key, const QVariant& defaultValue);
    static void setValue(const QString& key, const QVariant& value);
    static void remove(const QString& key);
    static bool contains(const QString& key);

    // Typed reads with the table's default (or the one given).
    static bool boolValue(const QString& key);
    static bool boolValue(const QString& key, bool defaultValue);
    static int intValue(const QString& key);
    static int intValue(const QString& key, int defaultValue);
    static QString stringValue(const QString& key);

    // The window model's keys.
    static bool useTheme();
    static bool askScanIfNoAddonMapped();
    static void setAskScanIfNoAddonMapped(bool ask);
    static bool rememberSorting(); // false when absent, as the window model reads it
    static int sortBy();
    static void setSortBy(int sortOrder);
    static QRect windowGeometry(const QRect& current);
    static void setWindowGeometry(const QRect& geometry);
    static int windowState();
    static void setWindowState(int state);

    // "simulators/disable": one bit per simulator flag.
    static int disabledSimulators();
    static bool isSimulatorDisabled(int simulatorFlag);
    static void setSimulatorDisabled(int simulatorFlag, bool disabled);
};
