#include "cxmltext.h"

namespace
{

bool isXmlCharacter(const QString& text, int index)
{
    const ushort unit = text.at(index).unicode();
    if (unit < 0x20)
        return unit == 0x09 || unit == 0x0A || unit == 0x0D;
    if (unit == 0xFFFE || unit == 0xFFFF)
        return false;
    if (QChar::isHighSurrogate(unit))
        return index + 1 < text.size() && QChar::isLowSurrogate(text.at(index + 1).unicode());
    if (QChar::isLowSurrogate(unit))
        return index > 0 && QChar::isHighSurrogate(text.at(index - 1).unicode());
    return true;
}

int hexValue(QChar digit)
{
    const ushort unit = digit.unicode();
    if (unit >= '0' && unit <= '9')
        return unit - '0';
    if (unit >= 'a' && unit <= 'f')
        return unit - 'a' + 10;
    if (unit >= 'A' && unit <= 'F')
        return unit - 'A' + 10;
    return -1;
}

} // namespace

bool CXmlText::isStorable(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (!isXmlCharacter(text, i))
            return false;
    }
    return true;
}

QString CXmlText::escaped(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar character = text.at(i);
        if (character == QLatin1Char('%') || !isXmlCharacter(text, i))
            result += QStringLiteral("%%1").arg(character.unicode(), 4, 16, QLatin1Char('0'));
        else
            result += character;
    }
    return result;
}

QString CXmlText::unescaped(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%') && i + 4 < text.size()) {
            int value = 0;
            bool valid = true;
            for (int k = 1; k <= 4 && valid; ++k) {
                const int digit = hexValue(text.at(i + k));
                valid = digit >= 0;
                value = value * 16 + digit;
            }
            if (valid) {
                result += QChar(ushort(value));
                i += 4;
                continue;
            }
        }
        result += text.at(i);
    }
    return result;
}

QString CXmlText::storablePart(const QString& text)
{
    QString result = text;
    for (int i = 0; i < result.size(); ++i) {
        if (!isXmlCharacter(text, i))
            result[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}
