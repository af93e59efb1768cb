#pragma once

#include <QByteArray>
#include <QtGlobal>

// The Blowfish block cipher (16 rounds, 64-bit blocks, big-endian halves, tables from the digits of pi) in
// ECB mode: every 8-byte block on its own. Used to keep stored credentials unreadable in "settings.conf".
//
// With padding enabled (PKCS#5), encryption appends 1 to 8 bytes of the value n so that the length becomes
// a multiple of 8, and decryption checks and removes them. Every failure gives an empty result: an empty
// key, a length that does not fit, or padding that does not check. Misuse (an empty key, a clear text
// that padding would have to complete) also warns on the debug output; undecipherable data does not,
// since stored values from elsewhere are an expected condition.
class CBlowfish
{
public:
    static constexpr int Rounds = 16;
    static constexpr int BlockSize = 8;

    // Any non-zero length; the schedule repeats the key as needed (only the first 72 bytes count).
    explicit CBlowfish(const QByteArray& key);

    void setPaddingEnabled(bool enabled) { m_paddingEnabled = enabled; }

    // Empty input gives empty output.
    QByteArray encrypted(const QByteArray& clearText);
    QByteArray decrypted(const QByteArray& cipherText);

private:
    // Runs the key schedule before the first block; false for an empty key.
    bool initialize();
    void encryptBlock(quint32& left, quint32& right) const;
    void decryptBlock(quint32& left, quint32& right) const;
    quint32 f(quint32 x) const;

    static const quint32 InitialP[Rounds + 2];
    static const quint32 InitialS[4][256];

    QByteArray m_key;
    bool m_paddingEnabled = false;
    bool m_initialized = false;
    quint32 m_p[Rounds + 2];
    quint32 m_s[4][256];
};
