#include "cdataindexserializer.h"

#include "app/clogger.h"
#include "commands/cioutils.h"
#include "dataindex/cfilemappingserializer.h"
#include "dataindex/cpathplaceholders.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "downloader/cdownloadlogutils.h"
#include "platform/clocalpath.h"

#include <QDir>
#include <QDomDocument>
#include <QMetaMethod>

namespace
{

constexpr int fileErrorNumber = 3;
constexpr int errorLevel = 6;

QString platformName(int platform)
{
    switch (platform) {
    case PlatformMac:
        return QStringLiteral("MAC");
    case PlatformLinux:
        return QStringLiteral("LINUX");
    default:
        return QStringLiteral("WINDOWS");
    }
}

int platformFromText(const QString& text)
{
    if (text == QLatin1String("LINUX"))
        return PlatformLinux;
    if (text == QLatin1String("MAC"))
        return PlatformMac;
    return PlatformWindows;
}

// Native separators, and every doubled separator made single.
QString normalizedDirectory(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    const QString doubled = QString(QDir::separator()) + QDir::separator();
    while (result.contains(doubled))
        result.replace(doubled, QString(QDir::separator()));
    return result;
}

// "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Tool\InstallDir": the value's text, read through the registry.
QString registryDirectory(const QString& fromRegistryPath)
{
    const int separator = fromRegistryPath.lastIndexOf(QLatin1Char('\\'));
    if (separator < 0)
        return QString();
    QString key = fromRegistryPath.left(separator);
    const QString valueName = fromRegistryPath.mid(separator + 1);
    key.replace(QLatin1String("HKEY_LOCAL_MACHINE"), QLatin1String("HKLM"));
    return CSimulatorRoots::readRegistryValue(key, QString(), valueName);
}

} // namespace

CDataIndexSerializer::CDataIndexSerializer(QObject* parent)
    : CSerializerBase(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
    qRegisterMetaType<Exception>("Exception");
}

QVariant CDataIndexSerializer::deserialize(QVariant info)
{
    const QString path = info.toString();
    BV_LOG_SERVICE(0, 1, QStringLiteral("Deserialize invoked."));

    QDomDocument document;
    QString detail;
    const LoadResult loaded = loadDocument(path, document, &detail);
    if (loaded != LoadResult::Loaded) {
        const QString message = loaded == LoadResult::CannotOpen ? QStringLiteral("Cannot open file '%0'").arg(path)
                                                                 : QStringLiteral("Invalid format for file '%0'").arg(path);
        BV_LOG(6, message);
        BV_LOG(6, detail);
        emit taskError(BV_EXCEPTION(fileErrorNumber, errorLevel, message));
        return QVariant();
    }

    const QDomElement root = document.elementsByTagName(QStringLiteral("addonIndexes")).item(0).toElement();
    const bool isDataIndex = root.hasAttribute(QStringLiteral("cycle"));
    const QString cycleText = root.attribute(QStringLiteral("cycle"));
    const QString internalId = root.attribute(QStringLiteral("internalId"));
    m_readingTime = QDateTime::currentDateTime();
    // Without a receiver nobody would take the records over.
    const bool handedOver = isSignalConnected(QMetaMethod::fromSignal(&CDataIndexSerializer::addonFound));

    for (QDomElement element = root.firstChildElement(); !element.isNull(); element = element.nextSiblingElement()) {
        auto* addon = new IndexInfo;
        addon->guid = QUuid(element.attribute(QStringLiteral("guid")).trimmed());
        addon->name = element.attribute(QStringLiteral("name"));
        addon->masterfile = element.attribute(QStringLiteral("masterfile"));
        addon->internalId = internalId;
        const QString revisionText = element.attribute(QStringLiteral("revision"));
        if (addon->guid.isNull()) {
            // An add-on without an identity can't be mapped, updated or told apart from another.
            BV_LOG(6, QStringLiteral("Addon '%0' has no valid guid ('%1'); skipped.")
                          .arg(addon->name, element.attribute(QStringLiteral("guid"))));
            delete addon;
            continue;
        }

        for (QDomElement location = element.firstChildElement(); !location.isNull();
             location = location.nextSiblingElement()) {
            IndexPathInfo* path = readLocation(location, *addon, revisionText, isDataIndex, cycleText);
            addon->insertPath(path);
            addon->cycle = path->cycle;
            addon->revision = path->revision;
        }

        if (addon->paths.isEmpty() || !handedOver) {
            delete addon;
            continue;
        }
        emit addonFound(addon);
    }

    BV_LOG(1, QStringLiteral("Index file parsed."));
    emit taskCompleted();
    return QVariant();
}

IndexPathInfo* CDataIndexSerializer::readLocation(const QDomElement& location, const IndexInfo& addon,
                                                   const QString& revisionText, bool isDataIndex,
                                                   const QString& cycleText) const
{
    auto* path = new IndexPathInfo;
    path->platform = platformFromText(location.attribute(QStringLiteral("platform")));
    path->simulator = CSimulators::fromShortName(location.attribute(QStringLiteral("simulator")));
    path->specified = location.attribute(QStringLiteral("specified")) != QLatin1String("auto");

    const QDomElement first = location.firstChildElement();
    QString directory = first.attribute(QStringLiteral("path"));
    QString fromRegistryPath = first.attribute(QStringLiteral("fromregpath"));

    for (QDomElement child = location.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == QLatin1String("directory")) {
            directory = child.attribute(QStringLiteral("path")).trimmed();
            if (!directory.isEmpty())
                directory = CPathPlaceholders::resolve(directory);
            fromRegistryPath = child.attribute(QStringLiteral("fromregpath"));
            continue;
        }
        // Any other child holds rules.
        for (QDomElement rule = child.firstChildElement(); !rule.isNull(); rule = rule.nextSiblingElement()) {
            const QString tag = rule.tagName();
            if (tag == QLatin1String("pattern")) {
                const QString value = rule.attribute(QStringLiteral("value")).trimmed();
                if (!value.isEmpty())
                    path->patterns.append(value);
            } else if (tag == QLatin1String("filesystem")) {
                QString fileName = rule.attribute(QStringLiteral("filename"));
                if (fileName.isEmpty())
                    fileName = QStringLiteral("*");
                path->filesystem.append(FileSystemRule{rule.attribute(QStringLiteral("path")), fileName});
            } else if (tag == QLatin1String("registry")) {
                const QString value = rule.attribute(QStringLiteral("value"));
                path->registry.append(RegistryRule{rule.attribute(QStringLiteral("path")), value});
                path->filesystem.append(FileSystemRule{QStringLiteral("[REGPATH]"), value});
            } else if (tag == QLatin1String("uninstall")) {
                UninstallRule uninstall;
                const QString guidText = rule.attribute(QStringLiteral("guid"));
                if (CDownloadLogUtils::isGuid(guidText)) {
                    uninstall.productGuid = QUuid(guidText.trimmed());
                    uninstall.hasProductGuid = true;
                } else {
                    uninstall.keyName = guidText;
                    uninstall.valueName = rule.attribute(QStringLiteral("key"));
                    if (uninstall.valueName.isEmpty())
                        uninstall.valueName = QStringLiteral("InstallLocation");
                }
                path->uninstall.append(uninstall);
            }
        }
    }

    path->directory = normalizedDirectory(directory);
    path->cycle = cycleText.toInt();
    path->revision = revisionText.toInt();
    path->date = m_readingTime;

    if (isDataIndex) {
        path->mappingGuid = QUuid::createUuid();
    } else {
        path->mappingGuid = QUuid(location.attribute(QStringLiteral("mappingGuid")).trimmed());
        if (path->mappingGuid.isNull()) {
            // Two locations under one null key would overwrite each other; give this one an identity.
            path->mappingGuid = QUuid::createUuid();
            BV_LOG(6, QStringLiteral("Mapping of addon '%0' has no valid mappingGuid; a new one is assigned.")
                          .arg(addon.name));
        }
        const MappingVersion version = CFileMappingSerializer::deserializeToVersion(
            CIOUtils::installedIndexPath(CLocalPath::toNative(path->directory), addon.guid));
        path->cycle = version.cycle;
        path->revision = version.revision;
        path->backup = version.backup;
        path->date = version.backupDate;
    }

    if (!fromRegistryPath.isEmpty())
        path->directory = normalizedDirectory(registryDirectory(fromRegistryPath) + path->directory);
    return path;
}

QVariant CDataIndexSerializer::serialize(QVariant info)
{
    auto* readerInfo = info.value<DataIndexReaderInfo*>();
    const IndexInfoMap empty;
    const IndexInfoMap& addons = readerInfo && readerInfo->addons ? *readerInfo->addons : empty;
    return QVariant(serializeTo(addons, CIOUtils::mappingListFilePath()));
}

bool CDataIndexSerializer::serializeTo(const IndexInfoMap& addons, const QString& path)
{
    QDomDocument document;
    document.setContent(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n\t<addonIndexes></addonIndexes>"));
    QDomElement root = document.documentElement();

    for (const IndexInfo* addon : addons) {
        QDomElement addonElement = document.createElement(QStringLiteral("addon"));
        addonElement.setAttribute(QStringLiteral("name"), addon->name);
        addonElement.setAttribute(QStringLiteral("guid"), CDownloadLogUtils::guidText(addon->guid));
        for (const IndexPathInfo* location : addon->paths) {
            QDomElement mapping = document.createElement(QStringLiteral("mapping"));
            mapping.setAttribute(QStringLiteral("name"), platformName(location->platform));
            mapping.setAttribute(QStringLiteral("simulator"), CSimulators::shortName(location->simulator));
            mapping.setAttribute(QStringLiteral("cycle"), QString::number(location->cycle));
            mapping.setAttribute(QStringLiteral("revision"), QString::number(location->revision));
            mapping.setAttribute(QStringLiteral("mappingGuid"), CDownloadLogUtils::guidText(location->mappingGuid));
            mapping.setAttribute(QStringLiteral("specified"),
                                 location->specified ? QStringLiteral("manual") : QStringLiteral("auto"));
            QDomElement directory = document.createElement(QStringLiteral("directory"));
            directory.setAttribute(QStringLiteral("path"),
                                   QDir::toNativeSeparators(QDir::cleanPath(CLocalPath::toInternal(location->directory))));
            mapping.appendChild(directory);
            addonElement.appendChild(mapping);
        }
        root.appendChild(addonElement);
    }

    QString detail;
    if (!writeDocument(document, path, &detail)) {
        const QString message = QStringLiteral("Cannot write file '%0'").arg(path);
        BV_LOG(6, QStringLiteral("%0 (%1)").arg(message, detail));
        emit taskError(BV_EXCEPTION(fileErrorNumber, errorLevel, message));
        return false;
    }
    emit taskCompleted();
    return true;
}
