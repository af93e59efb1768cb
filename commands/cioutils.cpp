#include "cioutils.h"

#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "platform/cfilebrowser.h"
#include "platform/clocalpath.h"
#include "platform/csafefolder.h"
#include "platform/cstandardlocations.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace
{
// The display token of a simulator root ("<XP11>" and a native separator); empty for flags without one.
QString displayToken(int simulator)
{
    const QString shortName = CSimulators::shortName(simulator);
    if (CSimulators::rootPlaceholder(simulator).isEmpty())
        return QString();
    return QLatin1Char('<') + shortName + QLatin1Char('>') + QDir::separator();
}
} // namespace

QString CIOUtils::backupFolder()
{
    const QString configured = CSettings::stringValue(SettingsKey::BackupPath).trimmed();
    if (!configured.isEmpty())
        return configured;
    return CDataLocations::joinPath(CDataLocations::dataDirectory(), QStringLiteral("backup"));
}

QString CIOUtils::backupListFilePath()
{
    return CDataLocations::joinPath(backupFolder(), QStringLiteral("backup.index"));
}

QString CIOUtils::privateRoot()
{
#ifdef Q_OS_WIN
    const QString base = CStandardLocations::localAppDataPath();
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
#endif
    return normalizePath(CDataLocations::joinPath(base, QStringLiteral("Brelvar/FMSClient")));
}

QString CIOUtils::downloadRoot()
{
    return normalizePath(CDataLocations::joinPath(privateRoot(), QStringLiteral("downloads")));
}

QString CIOUtils::temporaryRoot()
{
    return normalizePath(CDataLocations::joinPath(privateRoot(), QStringLiteral("temp")));
}

QString CIOUtils::makePrivateFolder(const QString& relative, QString* problem)
{
    const QString root = QDir::cleanPath(QDir::fromNativeSeparators(privateRoot()));
    const QString below = QDir::cleanPath(CLocalPath::toInternal(relative));
    if (CLocalPath::leavesFolder(below)) {
        *problem = QStringLiteral("'%0' is not below the program's own folder").arg(relative);
        return QString();
    }
    // The folders above "Brelvar" are the user's (a cache folder may well be a link elsewhere); from there
    // on, every one is the program's.
    const QString brelvar = QFileInfo(root).absolutePath();
    if (!QDir().mkpath(QFileInfo(brelvar).absolutePath())) {
        *problem = QStringLiteral("the folder %0 can't be created")
                       .arg(QDir::toNativeSeparators(QFileInfo(brelvar).absolutePath()));
        return QString();
    }
    QString folder = brelvar;
    QStringList elements{QStringLiteral("FMSClient")};
    if (!below.isEmpty() && below != QLatin1String("."))
        elements += below.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!CSafeFolder::makePrivate(folder, problem))
        return QString();
    for (const QString& element : qAsConst(elements)) {
        folder += QLatin1Char('/') + element;
        if (!CSafeFolder::makePrivate(folder, problem))
            return QString();
    }
    return QDir::toNativeSeparators(folder);
}

QString CIOUtils::normalizePath(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    result.replace(QStringLiteral("//"), QStringLiteral("/"));
    result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return result;
}

QString CIOUtils::fileHash(const QString& path)
{
    constexpr qint64 hashedBytes = 1024;
    QFile file(path);
    if (file.size() < hashedBytes || !file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(hashedBytes);
    if (head.size() < hashedBytes)
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(head, QCryptographicHash::Md5).toHex());
}

void CIOUtils::discard(const QString& path)
{
    QFile file(path);
    if (file.exists() && !file.remove())
        BV_LOG(5, QStringLiteral("%0 could not be removed (%1); the next command for its location removes it.")
                      .arg(QDir::toNativeSeparators(path), file.errorString()));
}

bool CIOUtils::removeBackupFile(const QString& name)
{
    // Names come from the backup list, a file on disk: one that points elsewhere deletes nothing.
    if (name.trimmed().isEmpty() || CLocalPath::leavesFolder(name)) {
        BV_LOG(6, QStringLiteral("Backup file name '%0' is outside the backup folder; not removed.").arg(name));
        return false;
    }
    return QFile::remove(CDataLocations::joinPath(backupFolder(), CLocalPath::toNative(name)));
}

void CIOUtils::showInExplorer(const QString& path)
{
    if (!CFileBrowser::showFile(normalizePath(path)))
        BV_LOG(1, QStringLiteral("The file browser could not be started for '%0'.").arg(path));
}

QString CIOUtils::displayPath(const QString& path)
{
    const QString separator(QDir::separator());
    const QString doubled = separator + separator;
    QString result = normalizePath(path + separator);
    result.replace(doubled, separator);

    const QList<int> simulators = CSimulators::rootSimulators();
    for (int simulator : simulators) {
        QString root = CLocalPath::toNative(CSimulatorRoots::root(simulator, false).trimmed());
        while (root.size() > 1 && root.endsWith(separator))
            root.chop(1);
        if (root.isEmpty())
            continue;
        // Only whole folders: the root "C:\FSX" must not turn "C:\FSX-Old" into a token.
        const QString prefix = root + separator;
        const QString token = displayToken(simulator);
        int position = 0;
        while ((position = result.indexOf(prefix, position, Qt::CaseInsensitive)) >= 0) {
            result.replace(position, prefix.size(), token);
            position += token.size();
        }
    }
    while (result.contains(doubled))
        result.replace(doubled, separator);
    return result;
}

QString CIOUtils::elidePath(const QString& path, int maximumLength, const QString& fill, int fillCount)
{
    const QString shown = displayPath(path);
    if (shown.size() <= maximumLength)
        return shown;
    const QString separator(QDir::separator());
    const QStringList parts = shown.split(separator, Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return shown;
    // An absolute path of this system keeps its leading separator.
    const QString lead = shown.startsWith(separator) ? separator : QString();
    const QString ellipsis = fill.repeated(qMax(0, fillCount));
    const int count = parts.size();
    QString head = parts.first();
    QString tail = parts.last();
    for (int i = 1; i < count / 2; ++i) {
        const QString& left = parts.at(i);
        const QString& right = parts.at(count - i - 1);
        if (maximumLength <= head.size() + left.size() + right.size() + tail.size()) {
            if (maximumLength < head.size() + left.size() + tail.size() &&
                maximumLength < head.size() + right.size() + tail.size())
                return lead + head + separator + ellipsis + separator + tail;
            if (left.size() < right.size())
                return lead + head + separator + left + separator + ellipsis + separator + tail;
            return lead + head + separator + ellipsis + separator + right + separator + tail;
        }
        head += separator + left;
        tail = right + separator + tail;
    }
    return lead + head + separator + ellipsis + separator + tail;
}
