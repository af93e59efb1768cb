#pragma once

#include <QString>

// The folders the program makes for itself (downloads, temporary files, staging) and removes again. A link
// planted where such a folder belongs (by another user, a script or a mistake) must never lead the program
// outside: it refuses to work in a folder that is a link, and it removes a link as a link, never what the
// link points to.
namespace CSafeFolder
{
// Removes `path` with everything below it without following any link: a link inside (or `path` itself,
// when it is one) is removed as a link and what it points to stays untouched. True when nothing is left
// at `path` (also when nothing was there); false with `problem` (the entry and the system's reason).
bool remove(const QString& path, QString* problem = nullptr);

// Makes `path` a folder that only this user may enter (mode 700 on POSIX), creating it when missing; its
// parent must exist. Refuses (false with `problem`) when `path` is a link or a junction, not a folder, or a
// folder that another user owns.
bool makePrivate(const QString& path, QString* problem);

// Whether `path` itself is a symbolic link, or on Windows a junction or a shortcut.
bool isLink(const QString& path);
} // namespace CSafeFolder
