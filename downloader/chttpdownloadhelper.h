#pragma once

#include "downloader/downloadtaskrecord.h"

#include <QMap>
#include <QObject>
#include <QString>

// The progress journal "bvfilelog.bvlog" of one directory: for every download of the directory its task
// record with the pieces that have been handed to a worker and are not finished, so that the state of every
// piece is on disk.
//
// An XML file rewritten whole on every write. Not thread-safe: the owning task guards every use with its
// mutex and read-write lock.
class CHttpDownloadHelper : public QObject
{
    Q_OBJECT

public:
    static const QString FileName; // "bvfilelog.bvlog"

    explicit CHttpDownloadHelper(const QString& journalPath, QObject* parent = nullptr);

    QString journalPath() const { return m_journalPath; }
    bool exists() const;

    // Replaces the records by the file's. False when the path is empty or the file cannot be opened; a file
    // that does not parse gives false and `message` "<parser message> at line:<n>,col:<n>". Task elements
    // without url or path, or with threads, size or offset that are not numbers, are skipped.
    bool read(QString* message = nullptr);
    // Writes every record. False when the path is empty or the file cannot be opened for writing.
    bool write();

    // Adds or replaces the record under its url.
    void addRecord(const DownloadTaskRecord& record);
    // Copies the record of `url` into `record`; false when there is none.
    bool loadRecord(const QString& url, DownloadTaskRecord* record) const;
    void removeRecord(const QString& url);
    // Puts `piece` into the record of `url`, replacing a piece with the same id.
    void putPiece(const QString& url, const CFilePiece& piece);
    void setOffset(const QString& url, int offset);
    void setCompleted(const QString& url, int pieceId, qint64 completed);
    void removePiece(const QString& url, int pieceId);

    const QMap<QString, DownloadTaskRecord>& records() const { return m_records; }
    QString lastReadError() const { return m_lastReadError; }

private:
    QString m_journalPath;
    QMap<QString, DownloadTaskRecord> m_records;
    QString m_lastReadError;
};
