#include "zip/czippacker.h"

#include "zip/czipdeflater.h"
#include "zip/czipformat.h"
#include "zip/czipkeys.h"
#include <zlib.h>

#include <QFile>
#include <QRandomGenerator>
#include <QThread>

namespace
{
// Deflate looks back at most this far, so a block primed with this much of what comes before it
// compresses as it would have in one stream.
constexpr qint64 DictionarySize = 32 * 1024;

void fail(CZipPackTask& task, CZipPackTask::Failure code, const QString& detail)
{
    task.error = code;
    task.detail = detail;
    task.data.clear();
}

} // namespace

void CZipPacker::execute(CZipPackTask& task, CZipDeflater& deflater)
{
    QFile file(task.path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(task, CZipPackTask::OpenFailed,
                    QStringLiteral("An error occurred while opening %1: %2").arg(task.path, file.errorString()));
    const qint64 dictionary = task.level != 0 ? std::min(task.offset, DictionarySize) : 0;
    QByteArray input(static_cast<int>(dictionary + task.length), Qt::Uninitialized);
    if ((task.offset != 0 && !file.seek(task.offset - dictionary)) ||
        file.read(input.data(), input.size()) != input.size()) {
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("the file ended early");
        return fail(task, CZipPackTask::ReadFailed,
                    QStringLiteral("Error while reading %1: %2").arg(task.path, reason));
    }
    const char* block = input.constData() + dictionary;
    task.crc = static_cast<quint32>(
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(block), static_cast<uInt>(task.length)));

    bool compressed = true;
    if (task.level == 0)
        task.data = input;
    else if (task.whole)
        compressed = deflater.compressWhole(block, task.length, task.level, task.data);
    else
        compressed = deflater.compressBlock(block, task.length, dictionary, task.level, task.last, task.data);
    if (!compressed)
        return fail(task, CZipPackTask::CompressFailed, QStringLiteral("Could not compress %1").arg(task.path));

    if (!task.password.isEmpty()) {
        // A reader checks its password against the header's last byte: the time's high byte, since the
        // CRC is not known before the data has been read.
        QByteArray header(CZipFormat::EncryptionHeaderSize, Qt::Uninitialized);
        for (int i = 0; i < CZipFormat::EncryptionHeaderSize - 2; ++i)
            header[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
        header[CZipFormat::EncryptionHeaderSize - 2] = static_cast<char>(task.dosTime & 0xFF);
        header[CZipFormat::EncryptionHeaderSize - 1] = static_cast<char>(task.dosTime >> 8);
        task.data.prepend(header);
        CZipKeys keys(task.password);
        keys.encrypt(reinterpret_cast<unsigned char*>(task.data.data()), task.data.size());
    }
}

CZipPacker::CZipPacker(int threadCount, const std::atomic<bool>* cancel)
    : m_cancel(cancel)
{
    for (int i = 0; i < threadCount; ++i) {
        QThread* thread = QThread::create([this] { run(); });
        thread->setObjectName(QStringLiteral("zip packer %1").arg(i + 1));
        thread->start();
        m_threads.push_back(thread);
    }
}

CZipPacker::~CZipPacker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_workReady.notify_all();
    for (QThread* thread : m_threads) {
        thread->wait();
        delete thread;
    }
}

void CZipPacker::submit(std::shared_ptr<CZipPackTask> task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(task);
        m_order.push_back(std::move(task));
    }
    m_workReady.notify_one();
}

std::shared_ptr<CZipPackTask> CZipPacker::takeNext()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_order.empty())
        return nullptr;
    m_taskDone.wait(lock, [this] { return m_order.front()->done; });
    std::shared_ptr<CZipPackTask> task = std::move(m_order.front());
    m_order.pop_front();
    return task;
}

void CZipPacker::dropAll()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_queue.clear();
    m_taskDone.wait(lock, [this] { return m_running == 0; });
    m_order.clear();
}

void CZipPacker::run()
{
    CZipDeflater deflater;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_workReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        std::shared_ptr<CZipPackTask> task = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        if (m_cancel->load())
            fail(*task, CZipPackTask::Cancelled, QStringLiteral("Cancelled."));
        else
            execute(*task, deflater);
        lock.lock();
        --m_running;
        task->done = true;
        m_taskDone.notify_all();
    }
}
