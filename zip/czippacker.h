#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class CZipDeflater;
class QThread;

// One piece of packing work: a whole small entry, or one block of a large one. The writer fills in what to
// do; a packing thread reads the source, computes the CRC-32 and compresses (a whole entry also gets its
// encryption header and is encrypted, since its cipher stream starts and ends within the task).
struct CZipPackTask
{
    QString path;
    qint64 offset = 0; // of the block in the file
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
