#pragma once

#include "dataindex/indexinfo.h"
#include "dataindex/indexinformation.h"
#include "downloader/cnetworkerror.h"
#include "foundation/exception.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class CHttpDownloadManager;

// Brings the local "data.index" up to date and parses it for the data index (CDataIndex), which takes the
// records over. One reader serves one read and deletes itself when it is done; it lives on the data
// index's thread, and parses on a worker thread of its own so that a large index never freezes the window.
//
// A new index is downloaded beside the old one ("data.index.download", resumable) and replaces it only
// once it is complete and reads as a whole data index, so that a failed or damaged download never costs
// the user the index they had: it is reported, and the old index is parsed so that work can go on offline.
class CDataIndexReader : public QObject
{
    Q_OBJECT

public:
    explicit CDataIndexReader(QObject* parent = nullptr);

    // The local copy is parsed when the index is `current`, when no index `information` is held, or when
    // the program was started with "--no-index-update" (any letter case, blanks around); otherwise the
    // index is downloaded from the information's location first.
    void read(bool current, const std::optional<IndexInformation>& information);

    // Parses `path`, then emits parsed() and installed(). A file that can't be read is reported through
    // failed(), and the two follow all the same (with no records).
    void parseIndex(const QString& path);

    // Whether the arguments ask to keep the local copy ("--no-index-update").
    static bool isUpdateSuppressed(const QStringList& arguments);

    // Where a new data index is downloaded to before it replaces the old one.
    static QString downloadPath();

signals:
    // The records of the index (the receiver takes them over); `replacedByDownload` when a new edition has
    // just replaced the local file.
    void parsed(QList<IndexInfo*> addons, bool replacedByDownload);
    void installed();
    void networkError(QString url, CNetworkError& error);
    // A downloaded or stored index that can't be used; the reader goes on with what it has.
    void failed(Exception error);

public slots:
    void onIndexFileDownloaded(QString& url, CNetworkError& error);

private:
    // Parses "data.index" on a worker thread, after putting the downloaded `candidate` in its place if it
    // reads as a whole data index.
    void parseOnWorker(const QString& path, const QString& candidate, const QString& url);

    CHttpDownloadManager* m_manager = nullptr;
};
