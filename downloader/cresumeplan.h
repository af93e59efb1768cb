#pragma once

#include "downloader/cfilepiece.h"

#include <QList>
#include <QString>

class CHttpDownloadHelper;

// Where a download goes on from: the journal's record of it when the part file and the server still match
// that record, otherwise the first byte. With it, the cutting of a file into pieces, which a download that
// goes on must repeat exactly, or the pieces made for the rest would overlap those in the journal or leave
// gaps between them.
class CResumePlan
{
public:
    static constexpr int PiecesPerWorker = 10;

    // The piece size for a file of `fileSize` bytes fetched by `threads` workers: ten pieces per worker,
    // never less than one chunk, computed in single precision as the journal's older writers did, then
    // P + (P mod 1024 chunks).
    static qint64 pieceSize(qint64 fileSize, int threads, qint64 chunkSize);
    // The pieces after the first `offset` that `pending` does not hold yet: piece k (0-based) covers
    // [k x pieceSize, (k + 1) x pieceSize - 1], the last one ends at fileSize - 1.
    static QList<CFilePiece> missingPieces(qint64 fileSize, qint64 pieceSize, int offset,
                                           const QList<CFilePiece>& pending);

    // The plan for the download of `url` into `path` (part file `partPath`), whose server now reports
    // `size` and `validator`, from the journal's record of the same URL, else of the same destination.
    // A download goes on only when the record names the same destination, size and (non-empty) validator,
    // the part file is there at full size and the recorded pieces are the ones this chunk size cuts.
    static CResumePlan fromJournal(const CHttpDownloadHelper& journal, const QString& url, const QString& path,
                                   const QString& partPath, qint64 size, const QString& validator, qint64 chunkSize);

    bool resumes = false;
    // Why a download the journal has starts over; empty when it resumes or the journal has none.
    QString startOverReason;
    int threads = 0;
    int offset = 0;           // pieces handed out so far
    qint64 pieceBytes = 0;    // the recorded download's piece size
    QList<CFilePiece> pieces; // handed out before and not finished, with what they hold
    qint64 remaining = 0;     // bytes still to fetch
};
