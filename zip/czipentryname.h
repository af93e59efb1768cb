#pragma once

#include <QByteArray>
#include <QString>

// Entry names as stored in an archive, and whether a name is safe to write below a target folder.
namespace CZipEntryName
{
// Names are Latin-1 unless the entry's flag bit 11 says UTF-8.
QString decode(const QByteArray& raw, quint16 flags);
// Latin-1 when every character fits, so that older readers see the same name; otherwise UTF-8, and bit 11
// is set in `flags`.
QByteArray encode(const QString& name, quint16& flags);

// False when the name, cleaned and with "\" read as a separator, is absolute, starts with a drive letter,
// climbs out with a ".." segment, or holds a NUL character (which would cut the path short). Such an entry
// would land outside the folder it is extracted into.
bool isSafe(const QString& name);
} // namespace CZipEntryName
