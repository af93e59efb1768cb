#pragma once

#include <QByteArray>
#include <QString>

// Entry names as stored in an archive, and whether a name is safe to write below a target folder.
namespace CZipEntryName
{
// Flag bit 11 says UTF-8. Without it, a name that is valid UTF-8 is read as UTF-8 (zip tools on Linux write
// their file names' bytes unflagged), and anything else as Latin-1, the code page of the program's own
// packages.
QString decode(const QByteArray& raw, quint16 flags);
// ASCII names as they are; any other name in UTF-8 with bit 11 set in `flags`. Unflagged names are read
// in the DOS code page by other zip tools, so Latin-1 bytes would come out garbled there.
QByteArray encode(const QString& name, quint16& flags);

// False for an empty name and for one that would land outside the folder it is extracted into
// (CFolderEscape::leavesFolder).
bool isSafe(const QString& name);
} // namespace CZipEntryName
