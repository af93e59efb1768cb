#pragma once

#include "zip/czipentryheader.h"
#include "zip/czipreadertypes.h"

#include <QList>
#include <QMap>
#include <QString>

class QIODevice;

// The catalogue of an archive: its end record and central directory, read and checked before any entry is
// touched. Refuses ZIP64 archives, directories with more entries than the end record counts, and entries
// whose data would overlap each other or the directory; entries the reader cannot handle (other methods,
// newer format versions, no name) are listed as skipped, with why.
class CZipDirectory
{
public:
    // Reads the catalogue of the archive on `device` (open and seekable). Ok, or PartiallyCorrupted with the
    // entries read before the directory broke off; otherwise the code of the failure. `detail` says more
    // where the code alone would not.
    CZipReaderTypes::ErrorCode read(QIODevice& device);

    QMap<QString, CZipEntryHeader> headers;       // by name
    QList<CZipReaderTypes::SkippedEntry> skipped; // in directory order
    QString comment;                              // the archive's
    QString detail;

private:
    CZipReaderTypes::ErrorCode fail(CZipReaderTypes::ErrorCode code, const QString& text);
    CZipReaderTypes::ErrorCode findEndRecord(unsigned char* record);
    CZipReaderTypes::ErrorCode readEntries();
    CZipReaderTypes::ErrorCode readEntry();
    CZipReaderTypes::ErrorCode checkOverlaps();

    QIODevice* m_device = nullptr;
    quint32 m_centralDirectoryOffset = 0;
    quint32 m_endRecordOffset = 0;
    quint16 m_entryCount = 0;
};
