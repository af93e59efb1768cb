#include "cfilemappingserializer.h"

#include "foundation/clogger.h"
#include "platform/clocalpath.h"

#include <QDir>
#include <QDomDocument>

namespace
{
constexpr int errorLevel = 6;

Exception mappingError(const QString& message, const QString& function, int line)
{
    return Exception(CFileMappingSerializer::MappingFileError, errorLevel, message, line, function,
                     QStringLiteral("cfilemappingserializer"));
}
} // namespace

bool CFileMappingSerializer::loadOrReport(const QString& path, QDomDocument& document, const QString& function,
                                          int line)
{
    QString detail;
    const LoadResult loaded = loadDocument(path, document, &detail);
    if (loaded == LoadResult::Loaded)
        return true;
    const QString message = loaded == LoadResult::CannotOpen ? QStringLiteral("Cannot open file %0").arg(path)
                                                             : QStringLiteral("Unable to get xml content");
    BV_LOG(6, QStringLiteral("%0 (%1: %2)").arg(message, path, detail));
    emit taskError(mappingError(message, function, line));
    return false;
}

CFileMappingSerializer::~CFileMappingSerializer()
{
    clearItems();
}

QList<FileMappingItem*> CFileMappingSerializer::takeItems()
{
    QList<FileMappingItem*> items;
    items.swap(m_items);
    return items;
}

void CFileMappingSerializer::clearItems()
{
    qDeleteAll(m_items);
    m_items.clear();
}

QVariant CFileMappingSerializer::deserialize(QVariant info)
{
    const QString function = QStringLiteral("CFileMappingSerializer::deserialize");
    auto* request = info.value<FileMappingSerializeInfo*>();
    const QString path = request ? request->filePath : QString();
    clearItems();
    QDomDocument document;
    if (!loadOrReport(path, document, function, __LINE__) ||
        !readDocument(document, path, request ? request->simulator : QString(), function))
        return QVariant(false);
    return QVariant::fromValue(&m_items);
}

QVariant CFileMappingSerializer::deserializeContent(const QByteArray& content, const QString& name,
                                                    const QString& simulator)
{
    const QString function = QStringLiteral("CFileMappingSerializer::deserializeContent");
    clearItems();
    QDomDocument document;
    QString detail;
    if (loadContent(content, document, &detail) != LoadResult::Loaded) {
        const QString message = QStringLiteral("The file mapping %0 can't be read (%1)").arg(name, detail);
        BV_LOG(6, message);
        emit taskError(mappingError(message, function, __LINE__));
        return QVariant(false);
    }
    if (!readDocument(document, name, simulator, function))
        return QVariant(false);
    return QVariant::fromValue(&m_items);
}

bool CFileMappingSerializer::readDocument(const QDomDocument& document, const QString& name, const QString& simulator,
                                          const QString& function)
{
    const QString wanted = simulator.trimmed().toLower();
    for (QDomElement element = document.documentElement().firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        const QString attribute = element.attribute(QStringLiteral("simulator"));
        if (attribute.trimmed().toUpper() != QLatin1String("USER") && attribute.trimmed().toLower() != wanted)
            continue;
        QString offending;
        if (!readEntries(element, QString(), simulator, offending)) {
            clearItems();
            const QString message =
                QStringLiteral("Mapping entry '%0' in file %1 leaves the add-on folder").arg(offending, name);
            BV_LOG(6, message);
            emit taskError(mappingError(message, function, __LINE__));
            return false;
        }
        break; // only the first matching element counts
    }
    emit taskCompleted();
    return true;
}

bool CFileMappingSerializer::readEntries(const QDomElement& element, const QString& parent, const QString& simulator,
                                         QString& offending)
{
    for (QDomElement entry = element.firstChildElement(); !entry.isNull(); entry = entry.nextSiblingElement()) {
        const QString name = entry.attribute(QStringLiteral("name"));
        QString source = entry.attribute(QStringLiteral("source"));
        QString destination = entry.attribute(QStringLiteral("destination"));
        if (source.isEmpty())
            source = name;
        if (destination.isEmpty())
            destination = name;
        // Every file of the package lands below the add-on folder, so an entry that points elsewhere (an
        // absolute path, a drive, "..") is refused here rather than trusted by the installer.
        for (const QString& text : {source, destination}) {
            if (CLocalPath::leavesFolder(text)) {
                offending = text;
                return false;
            }
        }

        auto* item = new FileMappingItem;
        item->source = CLocalPath::toNative(source);
        item->destination = CLocalPath::toNative(destination);
        item->parent = parent;
        item->mappingGuid = QUuid(m_mappingGuid);
        item->simulator = simulator;
        item->isDirectory = entry.tagName() == QLatin1String("directory") ? 1 : 0;
        if (item->isDirectory) {
            // A folder's record follows the records of its contents.
            if (!readEntries(entry, parent + QDir::separator() + item->destination, simulator, offending)) {
                delete item;
                return false;
            }
        }
        m_items.append(item);
    }
    return true;
}

MappingVersion CFileMappingSerializer::deserializeToVersion(const QString& file)
{
    MappingVersion version;
    QDomDocument document;
    if (loadDocument(file, document) != LoadResult::Loaded)
        return version;
    const QDomElement root = document.documentElement();
    version.cycle = root.attribute(QStringLiteral("cycle")).toInt();
    version.revision = root.attribute(QStringLiteral("revision")).toInt();
    version.backup = root.attribute(QStringLiteral("backup")).toInt() != 0;
    qint64 milliseconds = root.attribute(QStringLiteral("backupDate")).toLongLong();
    if (milliseconds < 0)
        milliseconds = 0;
    version.backupDate = QDateTime::fromMSecsSinceEpoch(milliseconds);
    return version;
}

QVariant CFileMappingSerializer::serialize(QVariant info)
{
    const QString function = QStringLiteral("CFileMappingSerializer::serialize");
    const QString path = info.toString();
    QDomDocument document;
    if (!loadOrReport(path, document, function, __LINE__))
        return QVariant(false);
    QDomElement root = document.documentElement();
    root.setAttribute(QStringLiteral("backup"), QStringLiteral("1"));
    root.setAttribute(QStringLiteral("backupDate"), QString::number(QDateTime::currentMSecsSinceEpoch()));
    QString detail;
    if (!writeDocument(document, path, &detail)) {
        const QString message = QStringLiteral("Cannot write file %0").arg(path);
        BV_LOG(6, QStringLiteral("%0 (%1)").arg(message, detail));
        emit taskError(mappingError(message, function, __LINE__));
        return QVariant(false);
    }
    emit taskCompleted();
    return QVariant(true);
}
