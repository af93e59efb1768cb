#include "cblowfish.h"

#include <QtEndian>

#include <cstring>

CBlowfish::CBlowfish(const QByteArray& key)
    : m_key(key)
{
}

bool CBlowfish::initialize()
{
    if (m_initialized)
        return true;
    if (m_key.isEmpty()) {
        qWarning("Cannot init. Key is empty.");
        return false;
    }

    std::memcpy(m_p, InitialP, sizeof(m_p));
    std::memcpy(m_s, InitialS, sizeof(m_s));

    // XOR the key, repeated cyclically, into the P-array, one big-endian word at a time.
    const auto* key = reinterpret_cast<const uchar*>(m_key.constData());
    const int keyLength = m_key.size();
    int position = 0;
    for (quint32& word : m_p) {
        quint32 data = 0;
        for (int i = 0; i < 4; ++i) {
            data = (data << 8) | key[position];
            position = (position + 1) % keyLength;
        }
        word ^= data;
    }

    // Replace P and then the S-boxes, two words at a time, by the encryption of an all-zero block that
    // is chained through the changing tables.
    quint32 left = 0;
    quint32 right = 0;
    for (int i = 0; i < Rounds + 2; i += 2) {
        encryptBlock(left, right);
        m_p[i] = left;
        m_p[i + 1] = right;
    }
    for (auto& box : m_s) {
        for (int i = 0; i < 256; i += 2) {
            encryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
    m_initialized = true;
    return true;
}

quint32 CBlowfish::f(quint32 x) const
{
    const quint32 a = m_s[0][(x >> 24) & 0xff];
    const quint32 b = m_s[1][(x >> 16) & 0xff];
    const quint32 c = m_s[2][(x >> 8) & 0xff];
    const quint32 d = m_s[3][x & 0xff];
    return ((a + b) ^ c) + d;
}

void CBlowfish::encryptBlock(quint32& left, quint32& right) const
{
    quint32 l = left;
    quint32 r = right;
    for (int i = 0; i < Rounds; ++i) {
        l ^= m_p[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_p[Rounds];
    l ^= m_p[Rounds + 1];
    left = l;
    right = r;
}

void CBlowfish::decryptBlock(quint32& left, quint32& right) const
{
    quint32 l = left;
    quint32 r = right;
    for (int i = Rounds + 1; i > 1; --i) {
        l ^= m_p[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_p[1];
    l ^= m_p[0];
    left = l;
    right = r;
}

QByteArray CBlowfish::encrypted(const QByteArray& clearText)
{
    if (clearText.isEmpty() || !initialize())
        return QByteArray();

    QByteArray data = clearText;
    if (m_paddingEnabled) {
        const int padding = BlockSize - data.size() % BlockSize;
        data.append(QByteArray(padding, static_cast<char>(padding)));
    } else if (data.size() % BlockSize != 0) {
        qWarning("Cannot encrypt. Clear-text length is not a multiple of 8 and padding is not enabled.");
        return QByteArray();
    }

    auto* bytes = reinterpret_cast<uchar*>(data.data());
    for (int offset = 0; offset < data.size(); offset += BlockSize) {
        quint32 left = qFromBigEndian<quint32>(bytes + offset);
        quint32 right = qFromBigEndian<quint32>(bytes + offset + 4);
        encryptBlock(left, right);
        qToBigEndian(left, bytes + offset);
        qToBigEndian(right, bytes + offset + 4);
    }
    return data;
}

QByteArray CBlowfish::decrypted(const QByteArray& cipherText)
{
    if (cipherText.isEmpty() || !initialize())
        return QByteArray();
    if (cipherText.size() % BlockSize != 0)
        return QByteArray();

    QByteArray data = cipherText;
    auto* bytes = reinterpret_cast<uchar*>(data.data());
    for (int offset = 0; offset < data.size(); offset += BlockSize) {
        quint32 left = qFromBigEndian<quint32>(bytes + offset);
        quint32 right = qFromBigEndian<quint32>(bytes + offset + 4);
        decryptBlock(left, right);
        qToBigEndian(left, bytes + offset);
        qToBigEndian(right, bytes + offset + 4);
    }

    if (!m_paddingEnabled)
        return data;
    // PKCS#5: the last byte n (1 to 8) repeated n times; anything else is not a text we enciphered.
    const int padding = static_cast<uchar>(data.at(data.size() - 1));
    if (padding < 1 || padding > BlockSize)
        return QByteArray();
    for (int i = data.size() - padding; i < data.size(); ++i) {
        if (static_cast<uchar>(data.at(i)) != padding)
            return QByteArray();
    }
    data.chop(padding);
    return data;
}
