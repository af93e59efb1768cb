#include "cfilepiece.h"

CFilePiece::CFilePiece(int id, qint64 start, qint64 end, qint64 completed)
    : m_id(id)
    , m_start(start)
    , m_end(end)
    , m_completed(completed)
{
}

CFilePiece::CFilePiece(const CFilePiece& other)
    : QObject()
    , m_id(other.m_id)
    , m_start(other.m_start)
    , m_end(other.m_end)
    , m_completed(other.m_completed)
{
}

CFilePiece& CFilePiece::operator=(const CFilePiece& other)
{
    m_id = other.m_id;
    m_start = other.m_start;
    m_end = other.m_end;
    m_completed = other.m_completed;
    return *this;
}

void CFilePiece::reset()
{
    m_id = -1;
    m_start = 0;
    m_end = 0;
    m_completed = 0;
}
