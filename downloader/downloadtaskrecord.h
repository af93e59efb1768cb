#pragma once

#include "downloader/cfilepiece.h"

#include <QList>
#include <QString>

// What the engine knows of one download; also the unit of the progress journal. A default record is the
// empty one (texts empty, numbers 0, no pieces); a task starts its own with 5 threads and size -1.
struct DownloadTaskRecord
{
    QString url;       // as given; every request of the task uses this text (or where it redirects)
    QString path;      // the destination
    QString validator; // the server's ETag for the file, else its Last-Modified; empty when it sent neither
    int threads = 0;
    int offset = 0;           // the highest id of the pieces handed out so far (0 at first)
    qint64 size = 0;          // -1 while unknown
    qint64 downloaded = 0;    // bytes received so far
    QList<CFilePiece> pieces; // handed out and not finished

    bool isEmpty() const { return url.isEmpty() && path.isEmpty(); }
};
