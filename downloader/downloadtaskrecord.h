#pragma once

#include "downloader/cfilepiece.h"

#include <QList>
#include <QString>

// What the engine knows of one download; also the unit of the progress journal. A default record is the
// empty one (texts empty, numbers 0, no pieces); a task starts its own with 5 threads and size -1.
struct DownloadTaskRecord
{
    QString url;  // lower case; every request of the task uses this text
    QString path; // the destination
    int threads = 0;
    int offset = 0;           // id of the piece handed out last, minus 1
    qint64 size = 0;          // -1 while unknown
    qint64 downloaded = 0;    // bytes received so far
    QList<CFilePiece> pieces; // handed out and not finished

    bool isEmpty() const { return url.isEmpty() && path.isEmpty(); }
};
