#pragma once

#include "downloader/downloadtaskrecord.h"

#include <QFile>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

// The progress journal "bvfilelog.bvlog" of one directory: for every download of the directory its task
// record with the pieces that have been handed to a worker and are not finished, so that an interrupted
// download can go on where it stopped.
//
// Records are looked up by URL without regard to case, and keep the URL as it was given. Every method locks
// the journal's own mutex, so the tasks of one directory may share one journal from any thread (shared()).
//
// The file stays open between writes and is rewritten in place by one write of the whole document, padded
// with trailing white space to at least the length it had: a crash at any moment leaves either the old or
// the new document, never a torn one, without a temporary file and a rename for every range. The file is
// removed when the last record goes.
class CHttpDownloadHelper : public QObject
{
    Q_OBJECT

public:
    static const QString FileName; // "bvfilelog.bvlog"

    explicit CHttpDownloadHelper(const QString& journalPath, QObject* parent = nullptr);
    ~CHttpDownloadHelper() override;

    // The journal of `journalPath` shared by every task of this process that downloads into its directory,
    // read from the file when the first of them asks for it (a file that cannot be read is logged and
    // counts as empty: it holds nothing a download could go on from).
    static std::shared_ptr<CHttpDownloadHelper> shared(const QString& journalPath);

    QString journalPath() const { return m_journalPath; }
    bool exists() const;

    // Replaces the records by the file's. False when the path is empty or the file cannot be opened; a file
    // that does not parse gives false and `message` "<parser message> at line:<n>,col:<n>". Task elements
    // without url or path, or with threads, size or offset that are not numbers, are skipped.
    bool read(QString* message = nullptr);
    // Writes every record, or removes the file when there is none. False, with the reason in `message`,
    // when the path is empty or the file cannot be written. With `onDisk` the file is synced to the disk
    // too: for the writes that hand a piece out or take one back, which a power cut must not undo. Progress
    // within a piece changes too often to sync each time; losing it costs only those bytes again.
    bool write(QString* message = nullptr, bool onDisk = false);

    // Adds or replaces the record under its url, and drops another record for the same destination.
    void addRecord(const DownloadTaskRecord& record);
    // Copies the record of `url` into `record`; false when there is none.
    bool loadRecord(const QString& url, DownloadTaskRecord* record) const;
    // The record whose destination is `path`; false when there is none.
    bool loadRecordForPath(const QString& path, DownloadTaskRecord* record) const;
    void removeRecord(const QString& url);
    // Puts `piece` into the record of `url`, replacing a piece with the same id.
    void putPiece(const QString& url, const CFilePiece& piece);
    void setOffset(const QString& url, int offset);
    void setCompleted(const QString& url, int pieceId, qint64 completed);
    void removePiece(const QString& url, int pieceId);

    QMap<QString, DownloadTaskRecord> records() const;
    QString lastReadError() const;

private:
    static QString key(const QString& url) { return url.toLower(); }

    const QString m_journalPath;
    mutable QMutex m_mutex;
    QMap<QString, DownloadTaskRecord> m_records; // by key(url)
    QString m_lastReadError;
    QFile m_file; // open from the first write until the last record is gone
};
