#pragma once

#include <zlib.h>

#include <QByteArray>
#include <QString>

// The three keys of the traditional PKWARE stream cipher. Each byte of plain text moves the keys on, so a
// stream must be processed in order, and a fresh object (or reset()) starts a new entry.
class CZipKeys
{
public:
    CZipKeys();
    // Initial keys moved on by each byte of the password.
    explicit CZipKeys(const QByteArray& password);
    void reset(const QByteArray& password);

    // The cipher works on bytes and both zip tools and this program take a password's Latin-1 bytes: a
    // character beyond Latin-1 has no byte of its own, and would make different passwords one key.
    static bool canEncode(const QString& password)
    {
        for (const QChar character : password) {
            if (character.unicode() > 0xFF)
                return false;
        }
        return true;
    }

    void decrypt(unsigned char* data, qint64 size);
    void encrypt(unsigned char* data, qint64 size);

private:
    unsigned char keyStreamByte() const
    {
        const quint32 temp = (m_keys[2] & 0xFFFF) | 2;
        return static_cast<unsigned char>(((temp * (temp ^ 1)) >> 8) & 0xFF);
    }
    void update(unsigned char plain)
    {
        m_keys[0] = m_crcTable[(m_keys[0] ^ plain) & 0xFF] ^ (m_keys[0] >> 8);
        m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
        m_keys[2] = m_crcTable[(m_keys[2] ^ (m_keys[1] >> 24)) & 0xFF] ^ (m_keys[2] >> 8);
    }

    const z_crc_t* m_crcTable;
    quint32 m_keys[3];
};
