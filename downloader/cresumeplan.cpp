#include "cresumeplan.h"

#include "downloader/chttpdownloadhelper.h"
#include "downloader/downloadtaskrecord.h"

#include <QFileInfo>

#include <cmath>
#include <limits>

qint64 CResumePlan::pieceSize(qint64 fileSize, int threads, qint64 chunkSize)
{
    const float perWorker = float(fileSize) / float(qMax(1, threads) * PiecesPerWorker);
    const float rounded = std::ceil(std::max(float(chunkSize), perWorker));
    // Truncated to 32 bits; files so large that the value does not fit get the largest piece that does.
    const qint64 p0 =
        rounded >= float(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : qint64(int(rounded));
    const qint64 modulus = chunkSize * 1024;
    return modulus > 0 ? p0 + p0 % modulus : p0;
}

QList<CFilePiece> CResumePlan::missingPieces(qint64 fileSize, qint64 pieceSize, int offset,
                                             const QList<CFilePiece>& pending)
{
    QList<CFilePiece> pieces;
    if (fileSize <= 0 || pieceSize <= 0)
        return pieces;
    const qint64 count = (fileSize + pieceSize - 1) / pieceSize;
    for (qint64 k = qMax(0, offset); k < count; ++k) {
        const int id = int(k + 1);
        if (pending.contains(CFilePiece(id, 0, 0)))
            continue;
        const qint64 end = id == count ? fileSize - 1 : (k + 1) * pieceSize - 1;
        pieces.append(CFilePiece(id, k * pieceSize, end, 0));
    }
    return pieces;
}

CResumePlan CResumePlan::fromJournal(const CHttpDownloadHelper& journal, const QString& url, const QString& path,
                                     const QString& partPath, qint64 size, const QString& validator, qint64 chunkSize)
{
    CResumePlan plan;
    DownloadTaskRecord recorded;
    if (!journal.loadRecord(url, &recorded) && !journal.loadRecordForPath(path, &recorded))
        return plan;
    const auto startOver = [&plan](const QString& why) {
        plan.startOverReason = why;
        return plan;
    };
    if (recorded.path != path)
        return startOver(QStringLiteral("the journal has it for %0.").arg(recorded.path));
    if (recorded.size != size)
        return startOver(QStringLiteral("its size was %0 bytes, now %1.").arg(recorded.size).arg(size));
    if (validator.isEmpty())
        return startOver(QStringLiteral("the server names no ETag or Last-Modified that could tell the same "
                                        "file from a new one."));
    if (recorded.validator != validator)
        return startOver(
            QStringLiteral("the file has changed on the server (%0, now %1).").arg(recorded.validator, validator));
    if (QFileInfo(partPath).size() != size)
        return startOver(QStringLiteral("its part file %0 is missing or has the wrong size.").arg(partPath));

    const qint64 piece = pieceSize(size, recorded.threads, chunkSize);
    const qint64 count = (size + piece - 1) / piece;
    bool aligned = recorded.offset >= 0 && recorded.offset <= count;
    qint64 remaining = 0;
    for (const CFilePiece& recordedPiece : qAsConst(recorded.pieces)) {
        const qint64 k = recordedPiece.id() - 1;
        aligned = aligned && k >= 0 && k < recorded.offset && recordedPiece.start() == k * piece &&
                  recordedPiece.end() == qMin((k + 1) * piece, size) - 1 && recordedPiece.completed() >= 0 &&
                  recordedPiece.completed() <= recordedPiece.length();
        remaining += recordedPiece.remaining();
    }
    if (!aligned)
        return startOver(QStringLiteral("its pieces in the journal do not fit the file."));
    if (recorded.offset < count)
        remaining += size - qMin(size, recorded.offset * piece);

    plan.resumes = true;
    plan.threads = recorded.threads;
    plan.offset = recorded.offset;
    plan.pieceBytes = piece;
    plan.remaining = remaining;
    // A piece may have been written in full just before the process ended, and not yet been taken out.
    for (const CFilePiece& recordedPiece : qAsConst(recorded.pieces)) {
        if (!recordedPiece.isFinished())
            plan.pieces.append(recordedPiece);
    }
    return plan;
}
