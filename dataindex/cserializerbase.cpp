#include "cserializerbase.h"

#include "platform/cdurablefile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>

namespace
{

// Walks the text once without building anything, to refuse nesting that the DOM would follow recursively.
bool isTooDeep(const QByteArray& content, int maximumDepth)
{
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > maximumDepth)
                return true;
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return false;
}

} // namespace

CSerializerBase::LoadResult CSerializerBase::loadDocument(const QString& path, QDomDocument& document, QString* detail)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        if (detail)
            *detail = file.errorString();
        return LoadResult::CannotOpen;
    }
    if (file.size() > MaximumDocumentSize) {
        if (detail)
            *detail = QStringLiteral("the file has %0 bytes, more than the %1 allowed")
                          .arg(file.size())
                          .arg(MaximumDocumentSize);
        return LoadResult::InvalidFormat;
    }
    // As much as the file holds, and one byte more to notice one that grew past the limit meanwhile; never
    // a buffer of the whole limit for a file of a few hundred bytes.
    const QByteArray content = file.read(qMin(file.size(), MaximumDocumentSize) + 1);
    if (content.size() > MaximumDocumentSize) {
        if (detail)
            *detail = QStringLiteral("the file is larger than the %0 bytes allowed").arg(MaximumDocumentSize);
        return LoadResult::InvalidFormat;
    }
    return loadContent(content, document, detail);
}

CSerializerBase::LoadResult CSerializerBase::loadContent(const QByteArray& content, QDomDocument& document,
                                                         QString* detail)
{
    if (content.size() > MaximumDocumentSize) {
        if (detail)
            *detail = QStringLiteral("the document is larger than the %0 bytes allowed").arg(MaximumDocumentSize);
        return LoadResult::InvalidFormat;
    }
    if (isTooDeep(content, MaximumDocumentDepth)) {
        if (detail)
            *detail = QStringLiteral("elements are nested more than %0 levels deep").arg(MaximumDocumentDepth);
        return LoadResult::InvalidFormat;
    }
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(content, &message, &line, &column)) {
        if (detail)
            *detail = QStringLiteral("%0 at line %1, column %2").arg(message).arg(line).arg(column);
        return LoadResult::InvalidFormat;
    }
    return LoadResult::Loaded;
}

bool CSerializerBase::writeDocument(const QDomDocument& document, const QString& path, QString* detail, Readers readers)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (detail)
            *detail = file.errorString();
        return false;
    }
#ifndef Q_OS_WIN
    if (readers == Readers::OwnerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    Q_UNUSED(readers)
#endif
    const QByteArray bytes = document.toByteArray(4);
    if (file.write(bytes) != bytes.size()) {
        if (detail)
            *detail = file.errorString();
        file.cancelWriting();
        return false;
    }
    // Synced and renamed into place, then the folder synced: a mapping list is never replaced by a file
    // that a power cut or a full disk would leave short.
    QString problem;
    if (!CDurableFile::commit(file, &problem)) {
        if (detail)
            *detail = problem;
        return false;
    }
    return true;
}
