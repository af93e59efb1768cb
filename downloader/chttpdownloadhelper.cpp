#include "chttpdownloadhelper.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
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
} // namespace

CHttpDownloadHelper::CHttpDownloadHelper(const QString& journalPath, QObject* parent)
    : QObject(parent)
    , m_journalPath(journalPath)
{
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
        records.insert(record.url, record);
    }
    m_records = records;
    m_lastReadError.clear();
    return true;
}

bool CHttpDownloadHelper::write()
{
    if (m_journalPath.isEmpty())
        return false;
    QFile file(m_journalPath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;

    // A stream writer rather than a DOM, because the attributes must come in their fixed order.
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument(QStringLiteral("1.0"));
    xml.writeStartElement(rootTag);
    for (const DownloadTaskRecord& record : m_records) {
        xml.writeStartElement(taskTag);
        xml.writeAttribute(QStringLiteral("url"), record.url);
        xml.writeAttribute(QStringLiteral("path"), record.path);
        xml.writeAttribute(QStringLiteral("threads"), QString::number(record.threads));
        xml.writeAttribute(QStringLiteral("size"), QString::number(record.size));
        xml.writeAttribute(QStringLiteral("offset"), QString::number(record.offset));
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
    return !xml.hasError() && file.error() == QFileDevice::NoError;
}

void CHttpDownloadHelper::addRecord(const DownloadTaskRecord& record)
{
    m_records.insert(record.url, record);
}

bool CHttpDownloadHelper::loadRecord(const QString& url, DownloadTaskRecord* record) const
{
    const auto it = m_records.constFind(url);
    if (it == m_records.constEnd())
        return false;
    if (record)
        *record = it.value();
    return true;
}

void CHttpDownloadHelper::removeRecord(const QString& url)
{
    m_records.remove(url);
}

void CHttpDownloadHelper::putPiece(const QString& url, const CFilePiece& piece)
{
    auto it = m_records.find(url);
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
    auto it = m_records.find(url);
    if (it != m_records.end())
        it->offset = offset;
}

void CHttpDownloadHelper::setCompleted(const QString& url, int pieceId, qint64 completed)
{
    auto it = m_records.find(url);
    if (it == m_records.end())
        return;
    for (CFilePiece& piece : it->pieces) {
        if (piece.id() == pieceId)
            piece.setCompleted(completed);
    }
}

void CHttpDownloadHelper::removePiece(const QString& url, int pieceId)
{
    auto it = m_records.find(url);
    if (it == m_records.end())
        return;
    it->pieces.removeAll(CFilePiece(pieceId, 0, 0));
}
