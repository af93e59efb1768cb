#pragma once

#include <QMetaType>
#include <QObject>

// One byte range of a download: [start, end], end inclusive, of which `completed` bytes are written.
//
// Pieces travel by value between the task and its workers, across threads: copying carries the four numbers
// and nothing of the QObject. Two pieces are equal when their ids are equal.
class CFilePiece : public QObject
{
    Q_OBJECT

public:
    CFilePiece() = default;
    CFilePiece(int id, qint64 start, qint64 end, qint64 completed = 0);
    CFilePiece(const CFilePiece& other);
    CFilePiece& operator=(const CFilePiece& other);
    ~CFilePiece() override = default;

    bool operator==(const CFilePiece& other) const { return m_id == other.m_id; }
    bool operator!=(const CFilePiece& other) const { return m_id != other.m_id; }

    // Id -1 ("no piece") and the three numbers 0.
    void reset();
    bool isValid() const { return m_id > 0; }

    int id() const { return m_id; }
    qint64 start() const { return m_start; }
    qint64 end() const { return m_end; }
    qint64 completed() const { return m_completed; }
    // Bytes the piece covers.
    qint64 length() const { return m_end - m_start + 1; }
    qint64 remaining() const { return length() - m_completed; }
    bool isFinished() const { return m_completed >= length(); }

    void setId(int id) { m_id = id; }
    void setStart(qint64 start) { m_start = start; }
    void setEnd(qint64 end) { m_end = end; }
    void setCompleted(qint64 completed) { m_completed = completed; }

private:
    int m_id = -1;
    qint64 m_start = 0;
    qint64 m_end = 0;
    qint64 m_completed = 0;
};

Q_DECLARE_METATYPE(CFilePiece)
