#include "zip/czippacker.h"

#include "zip/czipdeflater.h"
#include "zip/czipformat.h"
#include "zip/czipkeys.h"
#include <zlib.h>

#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{
// Deflate looks back at most this far, so a block primed with this much of what comes before it
// compresses as it would have in one stream.
constexpr qint64 DictionarySize = 32 * 1024;

std::function<void(const QString&, qint64)> beforeBlockRead;

void fail(CZipPackTask& task, CZipPackTask::Failure code, const QString& detail)
{
    task.error = code;
    task.detail = detail;
    task.data.clear();
}

} // namespace

CZipSource::CZipSource(const QString& path, qint64 size, qint64 modified)
    : m_path(path)
    , m_plannedSize(size)
    , m_plannedModified(modified)
    , m_file(path)
{
}

bool CZipSource::stampOf(Stamp* stamp)
{
#ifdef Q_OS_UNIX
    struct stat status;
    if (::fstat(m_file.handle(), &status) != 0)
        return false;
    stamp->size = status.st_size;
#if defined(Q_OS_DARWIN)
    stamp->modifiedNs = qint64(status.st_mtimespec.tv_sec) * 1000000000 + status.st_mtimespec.tv_nsec;
#else
    stamp->modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#endif
    stamp->identity = quint64(status.st_ino);
#else
    // Windows keeps a file that is open here from being renamed over or deleted; its size tells of a write.
    stamp->size = m_file.size();
#endif
    return true;
}

QString CZipSource::changed() const
{
    return QStringLiteral("%1 changed while it was being read; packing it now would mix two versions of it")
        .arg(m_path);
}

bool CZipSource::read(qint64 offset, char* data, qint64 length, QString* detail, bool* openFailed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    *openFailed = false;
    if (!m_opened) {
        m_opened = true;
        if (!m_file.open(QIODevice::ReadOnly))
            m_openError = QStringLiteral("An error occurred while opening %1: %2").arg(m_path, m_file.errorString());
        else if (!stampOf(&m_stamp))
            m_openError = QStringLiteral("An error occurred while opening %1: its size can't be read").arg(m_path);
        else if (m_stamp.size != m_plannedSize ||
                 (m_stamp.modifiedNs != 0 && m_stamp.modifiedNs / 1000000 != m_plannedModified))
            m_openError = changed();
    }
    if (!m_openError.isEmpty()) {
        *openFailed = true;
        *detail = m_openError;
        return false;
    }
    if (!m_file.seek(offset) || m_file.read(data, length) != length) {
        *detail = QStringLiteral("Error while reading %1: %2")
                      .arg(m_path, m_file.error() != QFileDevice::NoError ? m_file.errorString()
                                                                          : QStringLiteral("the file ended early"));
        return false;
    }
    return true;
}

bool CZipSource::unchangedSinceOpened(QString* detail)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Stamp now;
    if (m_file.isOpen() && stampOf(&now) && now == m_stamp)
        return true;
    *detail = changed();
    return false;
}

void CZipPacker::setBeforeBlockRead(std::function<void(const QString&, qint64)> hook)
{
    beforeBlockRead = std::move(hook);
}

void CZipPacker::execute(CZipPackTask& task, CZipDeflater& deflater)
{
    if (!task.whole && beforeBlockRead)
        beforeBlockRead(task.source->path(), task.offset);
    const qint64 dictionary = task.level != 0 ? std::min(task.offset, DictionarySize) : 0;
    QByteArray input(static_cast<int>(dictionary + task.length), Qt::Uninitialized);
    QString detail;
    bool openFailed = false;
    if (!task.source->read(task.offset - dictionary, input.data(), input.size(), &detail, &openFailed))
        return fail(task, openFailed ? CZipPackTask::OpenFailed : CZipPackTask::ReadFailed, detail);
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
        return fail(task, CZipPackTask::CompressFailed,
                    QStringLiteral("Could not compress %1").arg(task.source->path()));

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
