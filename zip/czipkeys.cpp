#include "zip/czipkeys.h"

CZipKeys::CZipKeys()
    : m_crcTable(get_crc_table())
{
    reset(QByteArray());
}

CZipKeys::CZipKeys(const QByteArray& password)
    : m_crcTable(get_crc_table())
{
    reset(password);
}

void CZipKeys::reset(const QByteArray& password)
{
    m_keys[0] = 0x12345678;
    m_keys[1] = 0x23456789;
    m_keys[2] = 0x34567890;
    for (const char byte : password)
        update(static_cast<unsigned char>(byte));
}

// The loops work on local copies of the keys so that the compiler can keep them in registers over a whole
// 256 KiB buffer.
void CZipKeys::decrypt(unsigned char* data, qint64 size)
{
    quint32 k0 = m_keys[0], k1 = m_keys[1], k2 = m_keys[2];
    const z_crc_t* table = m_crcTable;
    for (qint64 i = 0; i < size; ++i) {
        const quint32 temp = (k2 & 0xFFFF) | 2;
        const unsigned char plain = data[i] ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
        data[i] = plain;
        k0 = table[(k0 ^ plain) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    m_keys[0] = k0;
    m_keys[1] = k1;
    m_keys[2] = k2;
}

void CZipKeys::encrypt(unsigned char* data, qint64 size)
{
    quint32 k0 = m_keys[0], k1 = m_keys[1], k2 = m_keys[2];
    const z_crc_t* table = m_crcTable;
    for (qint64 i = 0; i < size; ++i) {
        const quint32 temp = (k2 & 0xFFFF) | 2;
        const unsigned char plain = data[i];
        data[i] = plain ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
        k0 = table[(k0 ^ plain) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    m_keys[0] = k0;
    m_keys[1] = k1;
    m_keys[2] = k2;
}
