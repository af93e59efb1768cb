#include "zip/czipentryname.h"

#include "zip/czipformat.h"

#include <QDir>
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

namespace
{
bool startsWithDrive(const QString& path)
{
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).unicode() < 0x80 && path.at(0).isLetter();
}
} // namespace

bool CZipEntryName::isSafe(const QString& name)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        return false;
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString cleaned = QDir::cleanPath(path);
    if (path.startsWith(QLatin1Char('/')) || cleaned.startsWith(QLatin1Char('/')))
        return false;
    if (startsWithDrive(path) || startsWithDrive(cleaned))
        return false;
    return cleaned != QLatin1String("..") && !cleaned.startsWith(QLatin1String("../"));
}
