#include "cdownloadlogutils.h"

#include "webservices/cblowfish.h"
#include "webservices/ccipherkeys.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTextCodec>

QString CDownloadLogUtils::newGuidText()
{
    return guidText(QUuid::createUuid());
}

QString CDownloadLogUtils::guidText(const QUuid& guid)
{
    QString text = guid.toString();
    text.remove(QLatin1Char('{'));
    text.remove(QLatin1Char('}'));
    return text;
}

bool CDownloadLogUtils::isGuid(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\{?[a-fA-F\\d]{8}-([a-fA-F\\d]{4}-){3}[a-fA-F\\d]{12}\\}?$"));
    QString candidate = text.trimmed().toLower();
    candidate.remove(QLatin1Char('{'));
    candidate.remove(QLatin1Char('}'));
    return pattern.match(candidate).hasMatch();
}

QString CDownloadLogUtils::textAfterLast(const QString& text, const QString& separator, bool includeSeparator)
{
    const int position = text.lastIndexOf(separator);
    if (position < 0 || separator.isEmpty())
        return text;
    return text.mid(includeSeparator ? position : position + separator.size());
}

namespace
{

QByteArray keyBytes(const QString& keyText)
{
    return QByteArray::fromHex((keyText.isEmpty() ? CCipherKeys::DefaultTextKey : keyText).toLatin1());
}

} // namespace

QString CDownloadLogUtils::encryptText(const QString& clearText, const QString& keyText)
{
    if (clearText.isEmpty())
        return QString();
    CBlowfish cipher(keyBytes(keyText));
    cipher.setPaddingEnabled(true);
    return QString::fromLatin1(cipher.encrypted(clearText.toUtf8()).toBase64());
}

QString CDownloadLogUtils::decryptText(const QString& cipherText, const QString& keyText)
{
    if (cipherText.isEmpty())
        return QString();
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(cipherText.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return QString();
    CBlowfish cipher(keyBytes(keyText));
    cipher.setPaddingEnabled(true);
    const QByteArray clear = cipher.decrypted(decoded.decoded);

    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(clear.constData(), clear.size(), &state);
    return state.invalidChars == 0 ? text : QString();
}

QString CDownloadLogUtils::hashedText(const QString& text)
{
    if (text.isEmpty())
        return QString();
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
    return encryptText(QString::fromLatin1(digest), CCipherKeys::DefaultTextKey);
}
