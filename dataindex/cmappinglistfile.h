#pragma once

#include "dataindex/indexinfo.h"
#include "foundation/exception.h"

#include <QString>

#include <functional>

// The user's mapping list on disk ("mapping.index"). Hand-made mappings live only in this file, so it is
// replaced only by a complete list, and only when what it holds now was read completely as a mapping list:
// a file with another root element, a data index, or one with add-ons the reader has to drop (no valid
// GUID) is left alone, and the user is told which file and why.
class CMappingListFile
{
public:
    explicit CMappingListFile(const QString& path);

    QString path() const { return m_path; }

    // Why the file must not be overwritten; empty when it is missing or reads completely as a mapping list.
    QString whyNotReplaceable() const;

    // Hands every add-on of the file to `add`, which takes it over. A missing file reads as an empty list.
    // False with `error` when the file can't be opened or parsed (nothing is handed out then).
    bool read(const std::function<void(IndexInfo*)>& add, Exception* error) const;

    // Writes `addons` over the file, atomically and readable by the owner only. Refused (false, `error` set,
    // the file untouched) when whyNotReplaceable() gives a reason.
    bool write(const IndexInfoMap& addons, Exception* error) const;

private:
    QString m_path;
};
