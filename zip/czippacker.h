#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CZipDeflater;
class QThread;

// A source file read through one handle from its first block to its last: a file replaced on disk while it
// is packed (renamed over, as installers and editors save) can't give one entry the start of one file and
// the end of another. Opened by the first block that needs it and checked against what was planned (size,
// modification time); checked again after the last block, so that a file written to in place while it was
// read fails its entry instead of being stored mixed. Blocks of one file may be read on several threads.
class CZipSource
{
public:
    // `modified`: the plan's modification time, in ms since the epoch.
    CZipSource(const QString& path, qint64 size, qint64 modified);

    QString path() const { return m_path; }
    // Reads `length` bytes at `offset`. False with `detail` (and whether it was the open that failed).
    bool read(qint64 offset, char* data, qint64 length, QString* detail, bool* openFailed);
    // After the last read: false with `detail` when the file changed since it was opened.
    bool unchangedSinceOpened(QString* detail);

private:
    struct Stamp
    {
        qint64 size = -1;
        qint64 modifiedNs = 0; // 0 where the system gives no time through a handle
        quint64 identity = 0;  // the file's inode; 0 where there is none
        bool operator==(const Stamp& other) const
        {
            return size == other.size && modifiedNs == other.modifiedNs && identity == other.identity;
        }
    };
    bool stampOf(Stamp* stamp);
    QString changed() const;

    std::mutex m_mutex;
    const QString m_path;
    const qint64 m_plannedSize;
    const qint64 m_plannedModified;
    QFile m_file;
    bool m_opened = false;
    QString m_openError; // the first open's failure, given to every block
    Stamp m_stamp;       // when opened
};

// One piece of packing work: a whole small entry, or one block of a large one. The writer fills in what to
// do; a packing thread reads the source, computes the CRC-32 and compresses (a whole entry also gets its
// encryption header and is encrypted, since its cipher stream starts and ends within the task).
struct CZipPackTask
{
    std::shared_ptr<CZipSource> source; // shared by the blocks of one entry
    qint64 offset = 0;                  // of the block in the file
    qint64 length = 0;
    int level = 0; // 0 stores
    bool whole = true;
    bool last = true;    // the entry's last block
    QByteArray password; // whole entries only; empty for none
    quint16 dosTime = 0; // its high byte is the encryption header's check byte

    QByteArray data; // what goes into the archive for this piece
    quint32 crc = 0;
    enum Failure
    {
        None,
        OpenFailed,
        ReadFailed,
        CompressFailed,
        Cancelled
    };
    Failure error = None;
    QString detail;
    bool done = false; // guarded by the packer's mutex
};

// The packing threads and the queue between them and the one writer: tasks are taken back in the order
// they were submitted, whatever order they finish in, so that the archive does not depend on the number
// of threads. The threads run from construction until destruction, which waits for them.
class CZipPacker
{
public:
    // `cancel` is checked before each task; a task started when it is set ends as Cancelled.
    CZipPacker(int threadCount, const std::atomic<bool>* cancel);
    ~CZipPacker();

    CZipPacker(const CZipPacker&) = delete;
    CZipPacker& operator=(const CZipPacker&) = delete;

    void submit(std::shared_ptr<CZipPackTask> task);
    // Waits for the oldest task not taken yet and hands it over (with its result); null when none is left.
    std::shared_ptr<CZipPackTask> takeNext();
    // Forgets every task not taken yet, waiting for the ones being worked on.
    void dropAll();
    int outstanding() const { return static_cast<int>(m_order.size()); }

    // Does one task on the calling thread.
    static void execute(CZipPackTask& task, CZipDeflater& deflater);
    // Called before each block of a file packed in blocks is read, with the file and the block's offset; one
    // for all writers. Tests use it to change a file between two of its blocks.
    static void setBeforeBlockRead(std::function<void(const QString&, qint64)> hook);

private:
    void run();

    const std::atomic<bool>* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_taskDone;
    std::deque<std::shared_ptr<CZipPackTask>> m_queue; // not started
    std::deque<std::shared_ptr<CZipPackTask>> m_order; // not taken, in submission order
    int m_running = 0;
    bool m_stopping = false;
    std::vector<QThread*> m_threads;
};
