#pragma once

#include "dataindex/cserializerbase.h"
#include "dataindex/indexinfo.h"

#include <QDateTime>

class QXmlStreamReader;

// The header of a stored data index: the attributes of its root element. `id` is the identity of one
// edition of the index; null when the file is missing, is not a data index or has no usable "id".
struct DataIndexHeader
{
    QUuid id;
    QString internalId;
    QString revision;
    QString description;
    QString fileRevision;
};

// Reads the two files of the "addonIndexes" format into IndexInfo records, and writes the mapping list.
//
// - The data index (its root has a "cycle") lists the supported add-ons with the rules that find them;
//   each location gets a fresh mapping GUID.
// - The mapping list "mapping.index" (no "cycle") lists the user's mapped add-ons with their folders; the
//   cycle, revision and backup state of each come from the package mapping file installed in that folder.
//
// What is written differs from what is read, and existing files depend on it: the platform is written as
// "name" but read from "platform"; "cycle" and "revision" are written on each location but read from the
// root and the add-on; the add-on's "revision" and "masterfile" are not written.
class CDataIndexSerializer : public CSerializerBase
{
    Q_OBJECT

public:
    explicit CDataIndexSerializer(QObject* parent = nullptr);

public slots:
    // `info` holds the file path. Emits addonFound() for every add-on with at least one location (the
    // receiver owns it), then taskCompleted(); on a file that can't be opened or parsed only taskError().
    // Returns an empty QVariant.
    QVariant deserialize(QVariant info) override;

    // `info` holds a DataIndexReaderInfo* whose map is written to "mapping.index" in the program data
    // directory. Returns QVariant(true), or QVariant(false) after taskError().
    QVariant serialize(QVariant info) override;

    // serialize() to another file (an export, a test).
    bool serializeTo(const IndexInfoMap& addons, const QString& path);

    // Reads only the root element of `path`.
    static DataIndexHeader readHeader(const QString& path);

    // Why the last deserialize() did not take in everything the file holds: a root element other than
    // "addonIndexes", add-ons dropped for want of a valid GUID. Empty after a complete read.
    QStringList readProblems() const { return m_readProblems; }
    // Whether the last file read was a data index (its root has a "cycle") rather than a mapping list.
    bool lastReadWasDataIndex() const { return m_lastReadWasDataIndex; }

signals:
    // Declared for receivers; the index has no revision of its own to report.
    void fileRevisionFound(QString revision);
    void addonFound(IndexInfo* addon);

private:
    // What every location of one file shares.
    struct FileContext
    {
        bool isDataIndex = false; // the root has a "cycle"
        QString cycleText;
        QString internalId;
    };

    void readRoot(QXmlStreamReader& xml, QList<IndexInfo*>& addons);
    IndexPathInfo* readLocation(QXmlStreamReader& xml, const IndexInfo& addon, const QString& revisionText,
                                const FileContext& context) const;

    QDateTime m_readingTime;
    QStringList m_readProblems;
    bool m_lastReadWasDataIndex = false;
};
