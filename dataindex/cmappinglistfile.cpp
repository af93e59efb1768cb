#include "cmappinglistfile.h"

#include "dataindex/cdataindexserializer.h"
#include "foundation/clogger.h"

#include <QDir>
#include <QFileInfo>

namespace
{
constexpr int fileErrorNumber = 3;
constexpr int errorLevel = 6;
} // namespace

CMappingListFile::CMappingListFile(const QString& path)
    : m_path(path)
{
}

QString CMappingListFile::whyNotReplaceable() const
{
    if (!QFileInfo::exists(m_path))
        return QString();
    CDataIndexSerializer reader;
    QString failure;
    QObject::connect(&reader, &CDataIndexSerializer::taskError,
                     [&failure](const Exception& error) { failure = error.message; });
    reader.deserialize(m_path);
    if (!failure.isEmpty())
        return failure;
    QStringList problems = reader.readProblems();
    if (reader.lastReadWasDataIndex())
        problems.prepend(QStringLiteral("it is a data index (its root has a \"cycle\"), not a mapping list"));
    return problems.join(QStringLiteral("; "));
}

bool CMappingListFile::read(const std::function<void(IndexInfo*)>& add, Exception* error) const
{
    if (!QFileInfo::exists(m_path))
        return true;
    CDataIndexSerializer reader;
    bool failed = false;
    QObject::connect(&reader, &CDataIndexSerializer::addonFound, add);
    QObject::connect(&reader, &CDataIndexSerializer::taskError, [&](const Exception& reported) {
        if (error)
            *error = reported;
        failed = true;
    });
    reader.deserialize(m_path);
    return !failed;
}

bool CMappingListFile::write(const IndexInfoMap& addons, Exception* error) const
{
    const QString reason = whyNotReplaceable();
    if (!reason.isEmpty()) {
        const QString message = QStringLiteral("%0 was not read completely as a mapping list (%1); it is left "
                                               "unchanged so that no mapping in it is lost.")
                                    .arg(QDir::toNativeSeparators(m_path), reason);
        BV_LOG(6, message);
        if (error)
            *error = BV_EXCEPTION(fileErrorNumber, errorLevel, message);
        return false;
    }
    CDataIndexSerializer writer;
    QObject::connect(&writer, &CDataIndexSerializer::taskError, [error](const Exception& reported) {
        if (error)
            *error = reported;
    });
    return writer.serializeTo(addons, m_path);
}
