#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Builds zip archives byte by byte, including broken ones, so that tests can aim at one field of one record.
// Every number can be overridden; offsets of what was written are recorded for later patching.
class CRawZipBuilder
{
public:
    struct Entry
    {
        QByteArray name;
        QByteArray data;    // the plain content
        quint16 method = 0; // 0 stored, 8 deflated (compressed here), anything else as given
        quint8 versionNeeded = 20;
        quint16 dosTime = 0x6000; // 12:00:00
        quint16 dosDate = 0x5821; // 2024-01-01
        QByteArray password;      // encrypt with traditional PKWARE encryption when not empty
        int descriptor = 0;       // 0 none, 1 with signature, 2 without
        qint64 crcOverride = -1;  // in both headers
        qint64 uncompressedOverride = -1;
        int cutPayload = 0; // bytes dropped from the end of the stored/deflated payload
        QByteArray localNameOverride;
    };

    struct Written
    {
        qint64 localOffset = 0;
        qint64 payloadOffset = 0; // after the local header, name and extra field
        qint64 payloadSize = 0;   // the encryption header included
        qint64 centralOffset = 0;
    };

    // An entry with the given name, content and method and everything else at its default.
    static Entry entry(const QByteArray& name, const QByteArray& data, quint16 method = 8);
    void add(const Entry& entry) { m_entries.append(entry); }
    void add(const QByteArray& name, const QByteArray& data, quint16 method = 8) { add(entry(name, data, method)); }
    QByteArray build(const QByteArray& archiveComment = QByteArray(), int declaredEntries = -1);
    const QList<Written>& written() const { return m_written; }
    qint64 endRecordOffset() const { return m_endRecordOffset; }

    static QByteArray deflateRaw(const QByteArray& data, int level = 6);
    static quint32 crc(const QByteArray& data);
    static void patch16(QByteArray& bytes, qint64 offset, quint16 value);
    static void patch32(QByteArray& bytes, qint64 offset, quint32 value);

private:
    QList<Entry> m_entries;
    QList<Written> m_written;
    qint64 m_endRecordOffset = 0;
};

// What the central directory of an archive says, read independently of the reader under test.
struct CRawCentralEntry
{
    QByteArray name;
    quint16 flags = 0;
    quint32 compressedSize = 0;
    quint32 localOffset = 0;
};

struct CRawCentralDirectory
{
    QByteArray comment;
    QList<CRawCentralEntry> entries;
    const CRawCentralEntry* find(const QByteArray& name) const;
};

// Reads the end record at the very end (or after a comment) and the central directory it points to.
CRawCentralDirectory parseCentralDirectory(const QByteArray& archive);
quint16 readLe16(const QByteArray& bytes, qint64 offset);
quint32 readLe32(const QByteArray& bytes, qint64 offset);
