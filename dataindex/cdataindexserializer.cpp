#include "cdataindexserializer.h"

#include "dataindex/cfilemappingserializer.h"
#include "dataindex/cpathplaceholders.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/cxmltext.h"
#include "platform/cfolderescape.h"
#include "platform/clocalpath.h"
#include "platform/cregistry.h"
#include "webservices/cdownloadlogutils.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace
{

constexpr int fileErrorNumber = 3;
constexpr int errorLevel = 6;

// Native separators, and every doubled separator made single.
QString normalizedDirectory(const QString& path)
{
    QString result = CLocalPath::toNative(path);
    const QString doubled = QString(QDir::separator()) + QDir::separator();
    while (result.contains(doubled))
        result.replace(doubled, QString(QDir::separator()));
    return result;
}

// The folder that a data index's directory rule names here, or an empty text (with a log line) when it
// names none. Otherwise the rule would be matched against the current folder or the root of the file
// system, and an update could install files there. A rule must begin with a placeholder (or, below a
// registry value, be relative to it), must not climb out with "..", and every placeholder that is not a
// marker of the search or the installer must have a value on this machine.
QString indexDirectory(const QString& rule, bool belowRegistryValue, const QString& addonName)
{
    static const QRegularExpression leadingPlaceholder(QStringLiteral("^\\[[A-Z0-9()]+\\]"));
    static const QRegularExpression anyPlaceholder(QStringLiteral("\\[[A-Z0-9()]+\\]"));
    static const QRegularExpression leadingSeparators(QStringLiteral("^[\\\\/]+"));
    const QRegularExpressionMatch lead = leadingPlaceholder.match(rule);
    const QString rest = rule.mid(lead.hasMatch() ? lead.capturedLength() : 0).remove(leadingSeparators);

    QString problem;
    QString resolved;
    int level = 5; // an index that names absolute or climbing folders is suspect; a missing simulator is not
    if (!lead.hasMatch() && !belowRegistryValue) {
        problem = QStringLiteral("it does not begin with a placeholder");
    } else if (CFolderEscape::leavesFolder(rest)) {
        problem = QStringLiteral("it climbs out of the folder it names");
    } else {
        const CPathPlaceholders::RootReplacement root = CPathPlaceholders::replaceRootPlaceholder(rule);
        resolved = CPathPlaceholders::resolve(rule);
        QString unresolved = resolved;
        for (const char* marker :
             {"[PROGRAMROOT]", "[REGPATH]", "[ADDONROOT]", "[SIMROOT]", "[SYSTEMDRIVE]", "[PUBLIC]", "[NONE]"})
            unresolved.remove(QLatin1String(marker));
        const QString missing = !root.placeholder.isEmpty() && root.value.trimmed().isEmpty()
                                    ? root.placeholder
                                    : anyPlaceholder.match(unresolved).captured();
        if (!missing.isEmpty()) {
            problem = QStringLiteral("%0 has no value on this machine").arg(missing);
            level = 1;
        }
    }
    if (problem.isEmpty())
        return resolved;
    BV_LOG(level, QStringLiteral("Directory '%0' of addon '%1' skipped: %2.").arg(rule, addonName, problem));
    return QString();
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
    return CRegistry::readRegistryValue(key, QString(), valueName);
}

} // namespace

CDataIndexSerializer::CDataIndexSerializer(QObject* parent)
    : CSerializerBase(parent)
{
    qRegisterMetaType<IndexInfo*>("IndexInfo*");
    qRegisterMetaType<DataIndexReaderInfo*>("DataIndexReaderInfo*");
    qRegisterMetaType<Exception>("Exception");
}

QVariant CDataIndexSerializer::deserialize(QVariant info)
{
    const QString path = info.toString();
    BV_LOG_SERVICE(0, 1, QStringLiteral("Deserialize invoked."));

    auto fail = [this, &path](bool cannotOpen, const QString& detail) {
        const QString message = cannotOpen ? QStringLiteral("Cannot open file '%0'").arg(path)
                                           : QStringLiteral("Invalid format for file '%0'").arg(path);
        BV_LOG(6, message);
        BV_LOG(6, detail);
        emit taskError(BV_EXCEPTION(fileErrorNumber, errorLevel, message));
        return QVariant();
    };

    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return fail(true, file.errorString());
    if (file.size() > MaximumDocumentSize)
        return fail(false, QStringLiteral("the file has %0 bytes, more than the %1 allowed")
                               .arg(file.size())
                               .arg(MaximumDocumentSize));

    // The index is read as a stream: a data index of thousands of add-ons is parsed several times faster
    // than through a DOM, and nesting depth costs no stack. Records are handed out only once the whole file
    // has proved well-formed, so a damaged file adds nothing.
    CSimulatorRoots::CacheScope roots;
    m_readingTime = QDateTime::currentDateTime();
    m_readProblems.clear();
    m_lastReadWasDataIndex = false;
    QXmlStreamReader xml(&file);
    QList<IndexInfo*> addons;
    bool rootFound = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (rootFound || !xml.isStartElement())
            continue;
        rootFound = true;
        if (xml.qualifiedName() == QLatin1String("addonIndexes"))
            readRoot(xml, addons);
        else
            m_readProblems.append(
                QStringLiteral("the root element is '%0', not 'addonIndexes'").arg(xml.qualifiedName().toString()));
    }
    if (xml.hasError()) {
        qDeleteAll(addons);
        return fail(false, QStringLiteral("%0 at line %1, column %2")
                               .arg(xml.errorString())
                               .arg(xml.lineNumber())
                               .arg(xml.columnNumber()));
    }

    // Without a receiver nobody would take the records over.
    const bool handedOver = isSignalConnected(QMetaMethod::fromSignal(&CDataIndexSerializer::addonFound));
    for (IndexInfo* addon : qAsConst(addons)) {
        if (handedOver)
            emit addonFound(addon);
        else
            delete addon;
    }
    BV_LOG(1, QStringLiteral("Index file parsed."));
    emit taskCompleted();
    return QVariant();
}

DataIndexHeader CDataIndexSerializer::readHeader(const QString& path)
{
    DataIndexHeader header;
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return header;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd() && !xml.isStartElement())
        xml.readNext();
    if (!xml.isStartElement() || xml.qualifiedName() != QLatin1String("addonIndexes"))
        return header;
    const QXmlStreamAttributes root = xml.attributes();
    header.id = QUuid(root.value(QStringLiteral("id")).trimmed().toString());
    header.internalId = root.value(QStringLiteral("internalId")).toString();
    header.revision = root.value(QStringLiteral("revision")).toString();
    header.description = root.value(QStringLiteral("description")).toString();
    header.fileRevision = root.value(QStringLiteral("fileRevision")).toString();
    return header;
}

void CDataIndexSerializer::readRoot(QXmlStreamReader& xml, QList<IndexInfo*>& addons)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    FileContext context;
    context.isDataIndex = attributes.hasAttribute(QStringLiteral("cycle"));
    m_lastReadWasDataIndex = context.isDataIndex;
    context.cycleText = attributes.value(QStringLiteral("cycle")).toString();
    context.internalId = attributes.value(QStringLiteral("internalId")).toString();

    // Any element child is an add-on, and any element child of an add-on a location.
    while (xml.readNextStartElement()) {
        const QXmlStreamAttributes addonAttributes = xml.attributes();
        auto* addon = new IndexInfo;
        addon->guid = QUuid(addonAttributes.value(QStringLiteral("guid")).trimmed().toString());
        addon->name = addonAttributes.value(QStringLiteral("name")).toString();
        addon->masterfile = addonAttributes.value(QStringLiteral("masterfile")).toString();
        addon->internalId = context.internalId;
        const QString revisionText = addonAttributes.value(QStringLiteral("revision")).toString();
        if (addon->guid.isNull()) {
            // An add-on without an identity can't be mapped, updated or told apart from another.
            const QString problem = QStringLiteral("addon '%0' has no valid guid ('%1')")
                                        .arg(addon->name, addonAttributes.value(QStringLiteral("guid")));
            BV_LOG(6, QStringLiteral("Addon skipped: %0.").arg(problem));
            m_readProblems.append(problem);
            delete addon;
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            IndexPathInfo* path = readLocation(xml, *addon, revisionText, context);
            addon->insertPath(path);
            addon->cycle = path->cycle;
            addon->revision = path->revision;
        }
        // An add-on without a location can't be found or mapped.
        if (addon->paths.isEmpty())
            delete addon;
        else
            addons.append(addon);
    }
}

IndexPathInfo* CDataIndexSerializer::readLocation(QXmlStreamReader& xml, const IndexInfo& addon,
                                                  const QString& revisionText, const FileContext& context) const
{
    const QXmlStreamAttributes attributes = xml.attributes();
    auto* path = new IndexPathInfo;
    path->platform = platformFromName(attributes.value(QStringLiteral("platform")).toString());
    path->simulator = CSimulators::fromShortName(attributes.value(QStringLiteral("simulator")).toString());
    path->specified = attributes.value(QStringLiteral("specified")) != QLatin1String("auto");
    const QString mappingGuidText = attributes.value(QStringLiteral("mappingGuid")).toString();

    QString directory;
    QString fromRegistryPath;
    bool firstChild = true;
    while (xml.readNextStartElement()) {
        const QXmlStreamAttributes childAttributes = xml.attributes();
        // The first child gives the folder even when it is not a "directory" element.
        if (firstChild) {
            directory = childAttributes.value(QStringLiteral("path")).toString();
            fromRegistryPath = childAttributes.value(QStringLiteral("fromregpath")).toString();
            firstChild = false;
        }
        if (xml.qualifiedName() == QLatin1String("directory")) {
            directory = childAttributes.hasAttribute(QStringLiteral("pathEscaped"))
                            ? CXmlText::unescaped(childAttributes.value(QStringLiteral("pathEscaped")).toString())
                            : childAttributes.value(QStringLiteral("path")).trimmed().toString();
            // A data index's rule is checked and resolved below, once its "fromregpath" is known too.
            if (!directory.isEmpty() && !context.isDataIndex)
                directory = CPathPlaceholders::resolve(directory);
            fromRegistryPath = childAttributes.value(QStringLiteral("fromregpath")).toString();
            xml.skipCurrentElement();
            continue;
        }
        // Any other child holds rules.
        while (xml.readNextStartElement()) {
            const QStringRef tag = xml.qualifiedName();
            const QXmlStreamAttributes rule = xml.attributes();
            if (tag == QLatin1String("pattern")) {
                const QString value = rule.value(QStringLiteral("value")).trimmed().toString();
                if (!value.isEmpty())
                    path->patterns.append(value);
            } else if (tag == QLatin1String("filesystem")) {
                QString fileName = rule.value(QStringLiteral("filename")).toString();
                if (fileName.isEmpty())
                    fileName = QStringLiteral("*");
                path->filesystem.append(FileSystemRule{rule.value(QStringLiteral("path")).toString(), fileName});
            } else if (tag == QLatin1String("registry")) {
                const QString value = rule.value(QStringLiteral("value")).toString();
                path->registry.append(RegistryRule{rule.value(QStringLiteral("path")).toString(), value});
                path->filesystem.append(FileSystemRule{QStringLiteral("[REGPATH]"), value});
            } else if (tag == QLatin1String("uninstall")) {
                UninstallRule uninstall;
                const QString guidText = rule.value(QStringLiteral("guid")).toString();
                if (CDownloadLogUtils::isGuid(guidText)) {
                    uninstall.productGuid = QUuid(guidText.trimmed());
                    uninstall.hasProductGuid = true;
                } else {
                    uninstall.keyName = guidText;
                    uninstall.valueName = rule.value(QStringLiteral("key")).toString();
                    if (uninstall.valueName.isEmpty())
                        uninstall.valueName = QStringLiteral("InstallLocation");
                }
                path->uninstall.append(uninstall);
            }
            xml.skipCurrentElement();
        }
    }

    if (context.isDataIndex && !directory.isEmpty())
        directory = indexDirectory(directory, !fromRegistryPath.isEmpty(), addon.name);
    path->directory = normalizedDirectory(directory);
    path->cycle = context.cycleText.toInt();
    path->revision = revisionText.toInt();
    path->date = m_readingTime;

    if (context.isDataIndex) {
        path->mappingGuid = QUuid::createUuid();
    } else {
        path->mappingGuid = QUuid(mappingGuidText.trimmed());
        if (path->mappingGuid.isNull()) {
            // Two locations under one null key would overwrite each other; give this one an identity.
            path->mappingGuid = QUuid::createUuid();
            BV_LOG(6, QStringLiteral("Mapping of addon '%0' has no valid mappingGuid; a new one is assigned.")
                          .arg(addon.name));
        }
        const MappingVersion version = CFileMappingSerializer::deserializeToVersion(
            CDataLocations::installedIndexPath(path->directory, addon.guid));
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
    return QVariant(serializeTo(addons, CDataLocations::mappingListFilePath()));
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
            const QString path = QDir::toNativeSeparators(QDir::cleanPath(CLocalPath::toInternal(location->directory)));
            // The reader trims "path"; a folder whose name begins or ends with a blank, or holds a character
            // XML can't carry, is kept escaped as well, and shown as far as it can be.
            if (CXmlText::isStorable(path) && path == path.trimmed()) {
                directory.setAttribute(QStringLiteral("path"), path);
            } else {
                directory.setAttribute(QStringLiteral("path"), CXmlText::storablePart(path));
                directory.setAttribute(QStringLiteral("pathEscaped"), CXmlText::escaped(path));
            }
            mapping.appendChild(directory);
            addonElement.appendChild(mapping);
        }
        root.appendChild(addonElement);
    }

    QString detail;
    if (!writeDocument(document, path, &detail, Readers::OwnerOnly)) {
        const QString message = QStringLiteral("Cannot write file '%0'").arg(path);
        BV_LOG(6, QStringLiteral("%0 (%1)").arg(message, detail));
        emit taskError(BV_EXCEPTION(fileErrorNumber, errorLevel, message));
        return false;
    }
    emit taskCompleted();
    return true;
}
