#include "caddonsearcher.h"

#include "dataindex/cdataindex.h"
#include "dataindex/cpathplaceholders.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/clogger.h"
#include "platform/cfolderescape.h"
#include "platform/cregistry.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaMethod>
#include <QRegularExpression>

namespace
{

const QString eaglesoft = QStringLiteral("Eaglesoft");
const QString programRootMarker = QStringLiteral("[PROGRAMROOT]");
const QString registryPathMarker = QStringLiteral("[REGPATH]");
const QString addonRootMarker = QStringLiteral("[ADDONROOT]");
const QString uninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

const QRegularExpression placeholderRoot(QStringLiteral("^\\[[A-Z0-9()]+\\]"));
const QRegularExpression anyPlaceholder(QStringLiteral("\\[[A-Z0-9()]+\\]"));
const QRegularExpression leadingSeparators(QStringLiteral("^[\\\\/]+"));

QString joinInternal(const QString& folder, const QString& name)
{
    return QDir::cleanPath(CLocalPath::toInternal(folder) + QLatin1Char('/') + CLocalPath::toInternal(name));
}

} // namespace

CAddonSearcher::CAddonSearcher(QObject* parent)
    : QObject(parent)
    , m_addons(&CDataIndex::instance()->supported().map())
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
    qRegisterMetaType<Exception>("Exception");
}

void CAddonSearcher::search()
{
    CSimulatorRoots::CacheScope roots;
    const QList<QUuid> addonGuids = m_addons ? m_addons->keys() : QList<QUuid>();
    for (const QUuid& addonGuid : addonGuids) {
        IndexInfo* info = m_addons->value(addonGuid);
        const QList<QUuid> mappingGuids = info->paths.keys();
        for (const QUuid& mappingGuid : mappingGuids) {
            if (m_stopRequested) {
                BV_LOG(1, QStringLiteral("Search stopped."));
                emit searchCompleted(false);
                return;
            }
            IndexPathInfo* entry = info->paths.value(mappingGuid);
            if (searchTools(info, entry)) {
                BV_LOG(1, QStringLiteral("Addon '%0' found on searchTools method. Path = '%1'")
                              .arg(info->name, entry->directory));
            } else if (searchAddons(info, entry)) {
                BV_LOG(1, QStringLiteral("Addon '%0' found on searchAddons method. Path = '%1'")
                              .arg(info->name, entry->directory));
            } else {
                BV_LOG(1, QStringLiteral("Addon '%0' was not found").arg(info->name));
            }
        }
    }
    emit searchCompleted(true);
}

bool CAddonSearcher::searchTools(IndexInfo* info, IndexPathInfo* entry)
{
    emit searchStarted(info->name, CSimulators::shortName(entry->simulator));
    return findByFileSystem(info, entry) || findByRegistry(info, entry) || findByUninstall(info, entry);
}

bool CAddonSearcher::findByFileSystem(IndexInfo* info, IndexPathInfo* entry)
{
    for (const FileSystemRule& rule : qAsConst(entry->filesystem)) {
        if (rule.directory.isEmpty() || rule.fileName.isEmpty())
            continue;
        QString path = joinInternal(rule.directory, rule.fileName);
        bool xplaneFallback = false;
        QString substitutedRoot;
        // Only a rule that begins with a placeholder and stays below it names a place on this machine; any
        // other would be looked for in the current folder or at the root of the file system.
        if (!placeholderRoot.match(rule.directory).hasMatch() ||
            CFolderEscape::leavesFolder(QString(rule.directory).remove(placeholderRoot).remove(leadingSeparators) +
                                        QLatin1Char('/') + rule.fileName)) {
            BV_LOG(5, QStringLiteral("Rule '%0\\%1' of addon '%2' names no place below a placeholder; skipped.")
                          .arg(rule.directory, rule.fileName, info->name));
            continue;
        }
        const CPathPlaceholders::RootReplacement replaced = CPathPlaceholders::replaceRootPlaceholder(path);
        path = replaced.path;
        if (replaced.simulator == SimXPlane10 || replaced.simulator == SimXPlane11) {
            xplaneFallback = true;
            substitutedRoot = replaced.value;
        }
        path = CPathPlaceholders::replaceStandardLocations(path);
        const QString unresolved = anyPlaceholder.match(path).captured();
        if ((!replaced.placeholder.isEmpty() && replaced.value.trimmed().isEmpty()) || !unresolved.isEmpty()) {
            BV_LOG(1, QStringLiteral("Rule '%0' of addon '%1' skipped: %2 has no value here.")
                          .arg(rule.directory, info->name, unresolved.isEmpty() ? replaced.placeholder : unresolved));
            continue;
        }
        path.remove(QLatin1Char('*'));
        path = CLocalPath::toNative(path);

        const QString existing = path.trimmed().size() > 1 ? m_paths.existingPath(path) : QString();
        if (!existing.isEmpty()) {
            if (entry->directory == programRootMarker)
                entry->directory = CPathPlaceholders::resolve(rule.directory);
            // A rule without a target folder names the add-on's folder itself.
            const QString directory = !entry->directory.isEmpty()   ? entry->directory
                                      : QFileInfo(existing).isDir() ? existing
                                                                    : QFileInfo(existing).absolutePath();
            return announce(info, entry, directory);
        }
        if (xplaneFallback) {
            const QString directory = findInXPlaneTree(entry, rule.fileName, path, substitutedRoot);
            if (!directory.isEmpty())
                return announce(info, entry, directory);
        }
    }
    return false;
}

QString CAddonSearcher::findInXPlaneTree(const IndexPathInfo* entry, const QString& fileName,
                                         const QString& resolvedPath, const QString& root)
{
    if (fileName != QLatin1String("*")) {
        const QString simulatorRoot = CSimulatorRoots::root(entry->simulator, false).trimmed();
        if (simulatorRoot.isEmpty())
            return QString();
        const QString name = CLocalPath::toInternal(fileName).section(QLatin1Char('/'), -1);
        const QStringList files = folderTree(simulatorRoot).findFiles(name);
        if (files.isEmpty())
            return QString();
        BV_LOG(1, QStringLiteral("X-Plane walk found '%0'.").arg(files.first()));
        if (!entry->directory.isEmpty())
            return entry->directory;
        return QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath());
    }

    // "*": the add-on's folder may sit in any folder of the simulator; look for the path below the root
    // under every folder of the tree.
    const QString internalRoot = QDir::cleanPath(CLocalPath::toInternal(root.trimmed()));
    const QString internalPath = QDir::cleanPath(CLocalPath::toInternal(resolvedPath));
    if (root.trimmed().isEmpty() || !internalPath.startsWith(internalRoot + QLatin1Char('/'), Qt::CaseInsensitive))
        return QString();
    const QString relative = internalPath.mid(internalRoot.size() + 1);
    if (relative.isEmpty())
        return QString();
    const QString firstElement = relative.section(QLatin1Char('/'), 0, 0);
    const QStringList candidates = folderTree(internalRoot).foldersHolding(firstElement);
    for (const QString& folder : candidates) {
        const QString found = m_paths.existingPath(folder + QLatin1Char('/') + relative);
        if (found.isEmpty())
            continue;
        BV_LOG(1, QStringLiteral("X-Plane walk found '%0'.").arg(found));
        QString directory = entry->directory;
        directory.replace(addonRootMarker, QDir::toNativeSeparators(folder));
        return directory.isEmpty() ? found : directory;
    }
    return QString();
}

bool CAddonSearcher::findByRegistry(IndexInfo* info, IndexPathInfo* entry)
{
    for (const RegistryRule& rule : qAsConst(entry->registry)) {
        if (rule.keyPath.isEmpty() || rule.valueName.isEmpty())
            continue;
        const QString value = CRegistry::readRegistryValue(rule.keyPath, QString(), rule.valueName);
        if (value.isEmpty())
            continue;
        const QString existing = m_paths.existingPath(value);
        if (existing.isEmpty() || !QFileInfo(existing).isDir())
            continue;
        takeFoundValue(entry, existing);
        return announce(info, entry, entry->directory);
    }
    return false;
}

bool CAddonSearcher::findByUninstall(IndexInfo* info, IndexPathInfo* entry)
{
    for (const UninstallRule& rule : qAsConst(entry->uninstall)) {
        QString value;
        if (rule.hasProductGuid) {
            if (rule.productGuid.isNull())
                continue;
            value = CRegistry::readRegistryValue(uninstallKey + QLatin1Char('\\'), rule.productGuid.toString(),
                                                 QStringLiteral("InstallLocation"));
        } else {
            if (rule.valueName.isEmpty())
                continue;
            value = CRegistry::readRegistryValue(uninstallKey, rule.keyName, rule.valueName);
        }
        if (value.isEmpty())
            continue;
        // An uninstall entry is trusted as it stands: the product says where it is installed.
        takeFoundValue(entry, CLocalPath::toNative(value));
        return announce(info, entry, entry->directory);
    }
    return false;
}

void CAddonSearcher::takeFoundValue(IndexPathInfo* entry, const QString& value)
{
    if (entry->directory == programRootMarker || entry->directory == registryPathMarker)
        entry->directory = value;
}

bool CAddonSearcher::searchAddons(IndexInfo* info, IndexPathInfo* entry)
{
    if (entry->patterns.isEmpty())
        return false;
    const QString root = CSimulatorRoots::root(entry->simulator, false).trimmed();
    if (root.isEmpty())
        return false;
    emit searchStarted(info->name, CSimulators::shortName(entry->simulator));

    const bool isEaglesoft = info->name == eaglesoft;
    const QVector<Aircraft>& aircraftList = aircraftBelow(root, entry->simulator);
    for (const Aircraft& aircraft : aircraftList) {
        if (aircraft.title.isEmpty() && !isEaglesoft)
            continue;
        for (const QString& pattern : qAsConst(entry->patterns)) {
            bool matches = titlePattern(pattern).match(aircraft.title).hasMatch();
            if (!matches && isEaglesoft) {
                const QString text = aircraftText(aircraft);
                matches = text.contains(pattern) && text.contains(info->name);
            }
            if (!matches)
                continue;
            const QString directory = CLocalPath::toNative(entry->directory);
            if (!QDir::isAbsolutePath(directory) || anyPlaceholder.match(directory).hasMatch() ||
                !m_paths.exists(directory))
                continue;
            return announce(info, entry, directory, pattern, aircraft.title);
        }
    }
    return false;
}

bool CAddonSearcher::announce(IndexInfo* info, IndexPathInfo* entry, const QString& directory, const QString& pattern,
                              const QString& title)
{
    IndexInfo* copy = copyIndexInfo(info);
    IndexPathInfo* found = createIndexPathInfo(info, entry->simulator, foundDirectory(directory));
    if (!pattern.isEmpty())
        found->patterns.append(pattern);
    if (!title.isEmpty())
        found->matchedTitles.append(title);
    copy->insertPath(found);
    if (isSignalConnected(QMetaMethod::fromSignal(&CAddonSearcher::addonFound)))
        emit addonFound(copy, found->simulator);
    else
        delete copy;
    return true;
}

QString CAddonSearcher::foundDirectory(const QString& directory)
{
    // The folder as it is spelled on disk, so that files installed later land in it rather than in a
    // second folder that differs only in letter case.
    const QString native = CLocalPath::toNative(directory);
    const QString existing = m_paths.existingPath(native);
    return existing.isEmpty() ? native : existing;
}

IndexInfo* CAddonSearcher::copyIndexInfo(IndexInfo* source)
{
    auto* copy = new IndexInfo;
    copy->guid = source->guid;
    copy->name = source->name;
    copy->masterfile = source->masterfile;
    return copy;
}

IndexPathInfo* CAddonSearcher::createIndexPathInfo(IndexInfo* source, int simulator, const QString& directory)
{
    Q_UNUSED(source);
    auto* path = new IndexPathInfo;
    path->platform = PlatformWindows;
    path->simulator = simulator;
    path->directory = CLocalPath::toNative(directory);
    path->date = QDateTime::currentDateTime();
    path->mappingGuid = QUuid::createUuid();
    return path;
}

const QVector<CAddonSearcher::Aircraft>& CAddonSearcher::aircraftBelow(const QString& root, int simulator)
{
    const QString folder = joinInternal(root, CSimulators::aircraftFolder(simulator));
    auto it = m_aircraft.find(folder);
    if (it != m_aircraft.end())
        return it.value();

    QVector<Aircraft> list;
    const QString existing = m_paths.existingPath(folder);
    if (!existing.isEmpty()) {
        const QStringList names =
            QDir(existing).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst);
        list.reserve(names.size());
        CAircraftConfig config;
        for (const QString& name : names) {
            Aircraft aircraft;
            aircraft.folder = existing + QLatin1Char('/') + name;
            aircraft.configPath = m_paths.existingPath(aircraft.folder + QStringLiteral("/Aircraft.cfg"));
            if (!aircraft.configPath.isEmpty() && config.read(aircraft.configPath))
                aircraft.title = config.title();
            list.append(aircraft);
        }
    }
    BV_LOG(1, QStringLiteral("%0 aircraft folders below '%1'.").arg(list.size()).arg(folder));
    return m_aircraft.insert(folder, list).value();
}

QString CAddonSearcher::aircraftText(const Aircraft& aircraft)
{
    CAircraftConfig config;
    if (aircraft.configPath.isEmpty() || !config.read(aircraft.configPath))
        return QString();
    return config.text();
}

const QRegularExpression& CAddonSearcher::titlePattern(const QString& pattern)
{
    auto it = m_patterns.find(pattern);
    if (it == m_patterns.end()) {
        QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
        if (!expression.isValid())
            BV_LOG(6, QStringLiteral("Invalid aircraft title pattern '%0': %1").arg(pattern, expression.errorString()));
        it = m_patterns.insert(pattern, expression);
    }
    return it.value();
}

const CFolderTree& CAddonSearcher::folderTree(const QString& root)
{
    const QString key = QDir::cleanPath(CLocalPath::toInternal(root));
    auto it = m_trees.find(key);
    if (it == m_trees.end()) {
        auto tree = QSharedPointer<CFolderTree>::create(key);
        BV_LOG(1, QStringLiteral("Read %0 entries below '%1'%2.")
                      .arg(tree->entryCount())
                      .arg(key, tree->isComplete() ? QString() : QStringLiteral(" (stopped at the limit)")));
        it = m_trees.insert(key, tree);
    }
    return *it.value();
}
