#pragma once

#include <QString>

// Texts that the program writes into its XML files (the mapping list, the backup list) must read back
// exactly. XML 1.0 cannot carry every character a file name may hold: control characters other than tab,
// line feed and carriage return, U+FFFE, U+FFFF and lone surrogates are not allowed even as character
// references, and a file that holds one cannot be parsed again. Such a text is stored escaped in an
// attribute of its own; everything else is stored as it is.
namespace CXmlText
{
// True when every character of the text can be written to an XML 1.0 document.
bool isStorable(const QString& text);

// The text with each character that XML can't carry, and the escape character '%' itself, written as
// '%' and four hexadecimal digits of its UTF-16 code unit: only characters XML can carry remain.
QString escaped(const QString& text);

// The reverse of escaped(); a '%' that is not followed by four hexadecimal digits stays as it is.
QString unescaped(const QString& text);

// What to show (and what older readers take) in the plain attribute of a text that is not storable: each
// character XML can't carry becomes U+FFFD.
QString storablePart(const QString& text);
} // namespace CXmlText
