#pragma once

#include "dataindex/cserializerbase.h"
#include "dataindex/filemappingitem.h"

#include <QList>
#include <QString>

class QDomElement;

// Reads a package's file mapping (the ".mapping" file that travels in each navigation-data package and
// stays in the add-on's folder as "<add-on GUID>.index"), its version record, and marks a copy as a backup.
//
// File layout: a root with "cycle", "revision" and, in backup copies, "backup" and "backupDate"
// (milliseconds since the epoch); one child per simulator with a "simulator" short name ("USER" matches
// any); inside it "directory" elements (folders, which nest) and any other element (files), each with
// "source" and "destination", or "name" standing for a missing one.
class CFileMappingSerializer : public CSerializerBase
{
    Q_OBJECT

public:
    enum EErrorCode
    {
        NoError = 0,
        // The file could not be read or parsed, or an entry would leave the add-on folder.
        MappingFileError = 3,
    };
    Q_ENUM(EErrorCode)

    using CSerializerBase::CSerializerBase;
    ~CFileMappingSerializer() override;

    // Stamped into every record read.
    void setMappingGuid(const QString& mappingGuid) { m_mappingGuid = mappingGuid; }
    QString mappingGuid() const { return m_mappingGuid; }

    // The records of the last successful deserialize(); owned by the serializer.
    const QList<FileMappingItem*>& items() const { return m_items; }
    // Hands the records over to the caller, who deletes them.
    QList<FileMappingItem*> takeItems();

    // Never fails loudly: all zero, false and an invalid date when the file cannot be read.
    static MappingVersion deserializeToVersion(const QString& file);

    // deserialize() for a mapping in memory (read from a package); `name` names it in messages.
    QVariant deserializeContent(const QByteArray& content, const QString& name, const QString& simulator);

public slots:
    // `info` holds a FileMappingSerializeInfo*. Returns a QVariant holding a QList<FileMappingItem*>* (the
    // serializer's own list; empty when the file has no element for the simulator), or QVariant(false)
    // after taskError() when the file can't be read or an entry would leave the add-on folder.
    QVariant deserialize(QVariant info) override;
    // `info` holds the path of a mapping file to mark, in place, as the copy kept in a backup package.
    // Returns QVariant(true), or QVariant(false) after taskError().
    QVariant serialize(QVariant info) override;

signals:
    // Kept for receivers of the mapping's errors; the reader reports them through taskError().
    void error(CFileMappingSerializer::EErrorCode errorCode, QString message);

private:
    // Loads `path`; on failure logs and emits taskError with "Cannot open file %0" or "Unable to get xml content".
    bool loadOrReport(const QString& path, QDomDocument& document, const QString& function, int line);
    // Appends the records of `element`'s children, depth first; false at the first entry that would leave
    // the add-on folder (its text in `offending`).
    // The records of `document`'s element for `simulator`; false after taskError().
    bool readDocument(const QDomDocument& document, const QString& name, const QString& simulator,
                      const QString& function);
    bool readEntries(const QDomElement& element, const QString& parent, const QString& simulator, QString& offending);
    void clearItems();

    QString m_mappingGuid;
    QList<FileMappingItem*> m_items;
};
