#pragma once

#include <QString>

// What must hold before a command touches any file. Each check says, when it fails, what is missing and how
// much, so that the user can act before anything has changed.
class CPreflight
{
public:
    // The add-on's mapped folder exists (a moved or uninstalled simulator takes it away) and can be written.
    static bool addonFolder(const QString& folder, QString* problem);
    // `folder` exists or can be made, and a file can be written in it; `purpose` names it ("backup folder").
    static bool writableFolder(const QString& folder, const QString& purpose, QString* problem);
    // The volume that holds (or will hold) `folder` has `bytes` free, with a small margin.
    static bool freeSpace(const QString& folder, qint64 bytes, const QString& purpose, QString* problem);

    // "12.3 MB": sizes as the messages show them (1 MB = 10^6 bytes).
    static QString sizeText(qint64 bytes);
};
