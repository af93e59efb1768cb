#pragma once

#include <QString>

// The one rule for "would this relative path land outside the folder it is joined to", shared by the zip
// reader (entry names) and by the mapping and backup files (CLocalPath::leavesFolder). Header-only, so
// that the zip library can use it without linking anything else of the program.
//
// A path leaves its folder when, with "\" read as a separator, it is absolute ("/x", "\\server\x"), starts
// with a drive letter ("C:x", also after "./"), holds a NUL character (which cuts the path short), or has an element
// made only of dots and blanks with two dots or more: "..", and also "..." and ".. ", which Windows reads as
// ".." because it drops trailing dots and blanks from names. Such an element counts even where cleaning
// would cancel it ("a/../b"): nothing the program writes needs one.
namespace CFolderEscape
{
inline bool leavesFolder(const QString& relative)
{
    if (relative.contains(QChar(0)))
        return true;
    QString path = relative;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')))
        return true;
    int dots = 0;
    bool onlyDotsAndBlanks = true;
    int elementStart = 0;
    for (int i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path.at(i) == QLatin1Char('/')) {
            if (onlyDotsAndBlanks && dots >= 2)
                return true;
            dots = 0;
            onlyDotsAndBlanks = true;
            elementStart = i + 1;
        } else if (i == elementStart + 1 && path.at(i) == QLatin1Char(':') && path.at(elementStart).unicode() < 0x80 &&
                   path.at(elementStart).isLetter()) {
            return true;
        } else if (path.at(i) == QLatin1Char('.')) {
            ++dots;
        } else if (path.at(i) != QLatin1Char(' ')) {
            onlyDotsAndBlanks = false;
        }
    }
    return false;
}
} // namespace CFolderEscape
