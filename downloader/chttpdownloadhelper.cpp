#include "chttpdownloadhelper.h"

#include "foundation/clogger.h"
#include "platform/cdurablefile.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QMutexLocker>
#include <QXmlStreamWriter>

const QString CHttpDownloadHelper::FileName = QStringLiteral("bvfilelog.bvlog");

namespace
{
const QString rootTag = QStringLiteral("downloadTasks");
const QString taskTag = QStringLiteral("task");
const QString partTag = QStringLiteral("part");

// Reads the piece attributes in order; the first that is not a number ends the reading, and the piece keeps
// what was read so far.
CFilePiece readPiece(const QDomElement& element)
{
    CFilePiece piece;
    bool ok = false;
    const int id = element.attribute(QStringLiteral("id")).toInt(&ok);
    if (!ok)
        return piece;
    piece.setId(id);
    const qint64 start = element.attribute(QStringLiteral("start")).toLongLong(&ok);
    if (!ok)
        return piece;
    piece.setStart(start);
    const qint64 end = element.attribute(QStringLiteral("end")).toLongLong(&ok);
    if (!ok)
        return piece;
    piece.setEnd(end);
    const qint64 completed = element.attribute(QStringLiteral("completed")).toLongLong(&ok);
    if (ok)
        piece.setCompleted(completed);
    return piece;
}

QByteArray serialize(const QMap<QString, DownloadTaskRecord>& records)
{
    QByteArray bytes;
    // A stream writer rather than a DOM, because the attributes must come in their fixed order.
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument(QStringLiteral("1.0"));
    xml.writeStartElement(rootTag);
    for (const DownloadTaskRecord& record : records) {
        xml.writeStartElement(taskTag);
        xml.writeAttribute(QStringLiteral("url"), record.url);
        xml.writeAttribute(QStringLiteral("path"), record.path);
        xml.writeAttribute(QStringLiteral("threads"), QString::number(record.threads));
        xml.writeAttribute(QStringLiteral("size"), QString::number(record.size));
        xml.writeAttribute(QStringLiteral("offset"), QString::number(record.offset));
        if (!record.validator.isEmpty())
            xml.writeAttribute(QStringLiteral("validator"), record.validator);
        for (const CFilePiece& piece : record.pieces) {
            xml.writeEmptyElement(partTag);
            xml.writeAttribute(QStringLiteral("id"), QString::number(piece.id()));
            xml.writeAttribute(QStringLiteral("start"), QString::number(piece.start()));
            xml.writeAttribute(QStringLiteral("end"), QString::number(piece.end()));
            xml.writeAttribute(QStringLiteral("completed"), QString::number(piece.completed()));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
} // namespace

CHttpDownloadHelper::CHttpDownloadHelper(const QString& journalPath, QObject* parent)
    : QObject(parent)
    , m_journalPath(journalPath)
    , m_file(journalPath)
{
}

CHttpDownloadHelper::~CHttpDownloadHelper() = default;

std::shared_ptr<CHttpDownloadHelper> CHttpDownloadHelper::shared(const QString& journalPath)
{
    static QMutex registryMutex;
    static QHash<QString, std::weak_ptr<CHttpDownloadHelper>> registry;
    QMutexLocker locker(&registryMutex);
    std::shared_ptr<CHttpDownloadHelper> journal = registry.value(journalPath).lock();
    if (journal)
        return journal;
    journal = std::make_shared<CHttpDownloadHelper>(journalPath);
    QString message;
    if (journal->exists() && !journal->read(&message)) {
        BV_LOG(5, QStringLiteral("The download journal %0 cannot be read (%1); its downloads start over.")
                      .arg(journalPath, message.isEmpty() ? journal->m_file.errorString() : message));
    }
    registry.insert(journalPath, journal);
    return journal;
}

bool CHttpDownloadHelper::exists() const
{
    return !m_journalPath.isEmpty() && QFile::exists(m_journalPath);
}

bool CHttpDownloadHelper::read(QString* message)
{
    if (m_journalPath.isEmpty())
        return false;
    QFile file(m_journalPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    QDomDocument document;
    QString parserMessage;
    int line = 0;
    int column = 0;
    QMutexLocker locker(&m_mutex);
    if (!document.setContent(&file, &parserMessage, &line, &column)) {
        m_lastReadError = QStringLiteral("%0 at line:%1,col:%2").arg(parserMessage).arg(line).arg(column);
        if (message)
            *message = m_lastReadError;
        return false;
    }

    QMap<QString, DownloadTaskRecord> records;
    for (QDomElement task = document.documentElement().firstChildElement(taskTag); !task.isNull();
         task = task.nextSiblingElement(taskTag)) {
        DownloadTaskRecord record;
        record.url = task.attribute(QStringLiteral("url"));
        record.path = task.attribute(QStringLiteral("path"));
        record.validator = task.attribute(QStringLiteral("validator"));
        bool threadsOk = false;
        bool sizeOk = false;
        bool offsetOk = false;
        record.threads = task.attribute(QStringLiteral("threads")).toInt(&threadsOk);
        record.size = task.attribute(QStringLiteral("size")).toLongLong(&sizeOk);
        record.offset = task.attribute(QStringLiteral("offset")).toInt(&offsetOk);
        if (record.url.isEmpty() || record.path.isEmpty() || !threadsOk || !sizeOk || !offsetOk)
            continue;
        for (QDomElement part = task.firstChildElement(partTag); !part.isNull();
             part = part.nextSiblingElement(partTag))
            record.pieces.append(readPiece(part));
        records.insert(key(record.url), record);
    }
    m_records = records;
    m_lastReadError.clear();
    return true;
}

bool CHttpDownloadHelper::write(QString* message, bool onDisk)
{
    const auto failed = [message](const QString& reason) {
        if (message)
            *message = reason;
        return false;
    };
    if (m_journalPath.isEmpty())
        return failed(QStringLiteral("The download journal has no path."));
    QMutexLocker locker(&m_mutex);
    if (m_records.isEmpty()) {
        m_file.close();
        if (QFile::exists(m_journalPath) && !m_file.remove())
            return failed(QStringLiteral("%0: %1").arg(m_journalPath, m_file.errorString()));
        return true;
    }
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return failed(QStringLiteral("%0: %1").arg(m_journalPath, m_file.errorString()));

    QByteArray bytes = serialize(m_records);
    const qint64 previous = m_file.size();
    if (bytes.size() < previous)
        bytes.append(QByteArray(int(previous - bytes.size()), ' '));
    if (!m_file.seek(0) || m_file.write(bytes) != bytes.size()) {
        const QString reason = QStringLiteral("%0: %1").arg(m_journalPath, m_file.errorString());
        m_file.close();
        return failed(reason);
    }
    QString problem;
    if (onDisk && !CDurableFile::sync(m_file, &problem)) {
        m_file.close();
        return failed(problem);
    }
    return true;
}

void CHttpDownloadHelper::addRecord(const DownloadTaskRecord& record)
{
    QMutexLocker locker(&m_mutex);
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (it->path == record.path)
            it = m_records.erase(it);
        else
            ++it;
    }
    m_records.insert(key(record.url), record);
}

bool CHttpDownloadHelper::loadRecord(const QString& url, DownloadTaskRecord* record) const
{
    QMutexLocker locker(&m_mutex);
    const auto it = m_records.constFind(key(url));
    if (it == m_records.constEnd())
        return false;
    if (record)
        *record = it.value();
    return true;
}

bool CHttpDownloadHelper::loadRecordForPath(const QString& path, DownloadTaskRecord* record) const
{
    QMutexLocker locker(&m_mutex);
    for (const DownloadTaskRecord& candidate : m_records) {
        if (candidate.path == path) {
            if (record)
                *record = candidate;
            return true;
        }
    }
    return false;
}

void CHttpDownloadHelper::removeRecord(const QString& url)
{
    QMutexLocker locker(&m_mutex);
    m_records.remove(key(url));
}

void CHttpDownloadHelper::putPiece(const QString& url, const CFilePiece& piece)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_records.find(key(url));
    if (it == m_records.end())
        return;
    QList<CFilePiece>& pieces = it->pieces;
    const int index = pieces.indexOf(piece);
    if (index >= 0)
        pieces[index] = piece;
    else
        pieces.append(piece);
}

void CHttpDownloadHelper::setOffset(const QString& url, int offset)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_records.find(key(url));
    if (it != m_records.end())
        it->offset = offset;
}

void CHttpDownloadHelper::setCompleted(const QString& url, int pieceId, qint64 completed)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_records.find(key(url));
    if (it == m_records.end())
        return;
    for (CFilePiece& piece : it->pieces) {
        if (piece.id() == pieceId)
            piece.setCompleted(completed);
    }
}

void CHttpDownloadHelper::removePiece(const QString& url, int pieceId)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_records.find(key(url));
    if (it == m_records.end())
        return;
    it->pieces.removeAll(CFilePiece(pieceId, 0, 0));
}

QMap<QString, DownloadTaskRecord> CHttpDownloadHelper::records() const
{
    QMutexLocker locker(&m_mutex);
    return m_records;
}

QString CHttpDownloadHelper::lastReadError() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastReadError;
}
