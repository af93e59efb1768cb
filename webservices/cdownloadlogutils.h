#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// Text, GUID and cipher helpers of the download engine and the commands. Static operations only.
class CDownloadLogUtils : public QObject
{
    Q_OBJECT

public:
    // A fresh random GUID as text without braces.
    static QString newGuidText();
    // The GUID's text with "{" and "}" removed: lower-case hexadecimal with hyphens.
    static QString guidText(const QUuid& guid);
    // True for 8-4-4-4-12 hexadecimal digits, with or without braces, in either letter case, blanks around.
    static bool isGuid(const QString& text);
    // The part after the last `separator` (with it when asked); the whole text when it does not occur.
    static QString textAfterLast(const QString& text, const QString& separator, bool includeSeparator = false);

    // Blowfish (ECB, PKCS#5 padding) under the key given as hexadecimal text, or under the default text key
    // when `keyText` is empty; the cipher bytes as Base64 text. An empty clear text gives an empty text.
    static QString encryptText(const QString& clearText, const QString& keyText = QString());
    // The reverse of encryptText(). Text that is not Base64, not a whole number of blocks, does not check
    // its padding or is not UTF-8 once deciphered gives an empty text, never garbage.
    static QString decryptText(const QString& cipherText, const QString& keyText = QString());
    // The MD5 digest of the text's UTF-8 bytes as lower-case hexadecimal, enciphered by encryptText() under
    // the default text key; empty for an empty text. The password of data and backup packages.
    static QString hashedText(const QString& text);
};
