#include "zip/czipentryname.h"

#include "platform/cfolderescape.h"
#include "zip/czipformat.h"

#include <QTextCodec>

QString CZipEntryName::decode(const QByteArray& raw, quint16 flags)
{
    if (flags & CZipFormat::FlagUtf8Names)
        return QString::fromUtf8(raw);
    bool ascii = true;
    for (const char byte : raw) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(raw);
    QTextCodec::ConverterState state;
    const QString utf8 = QTextCodec::codecForMib(106)->toUnicode(raw.constData(), raw.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0 ? utf8 : QString::fromLatin1(raw);
}

QByteArray CZipEntryName::encode(const QString& name, quint16& flags)
{
    for (const QChar character : name) {
        if (character.unicode() >= 0x80) {
            flags |= CZipFormat::FlagUtf8Names;
            return name.toUtf8();
        }
    }
    return name.toLatin1();
}

bool CZipEntryName::isSafe(const QString& name)
{
    return !name.isEmpty() && !CFolderEscape::leavesFolder(name);
}
