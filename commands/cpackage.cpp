#include "cpackage.h"

#include "dataindex/cfilemappingserializer.h"
#include "foundation/cdatalocations.h"

#include <QBuffer>
#include <QDir>

namespace
{
// Larger than any file mapping; a package that claims more is not believed.
constexpr qint64 MaximumMappingSize = 64 * 1024 * 1024;
} // namespace

bool CPackage::fail(Failure failure, const QString& text, QString* problem)
{
    m_failure = failure;
    *problem = text;
    return false;
}

bool CPackage::open(const QString& path, const QString& password, const QUuid& addonGuid, const QString& simulator,
                    const QString& addonFolder, QString* problem)
{
    m_path = path;
    if (!password.isEmpty())
        m_archive.setPassword(password);
    m_openError = m_archive.open(path);
    if (m_openError != UnZip::Ok)
        return fail(Failure::Unopened, UnZip::errorText(m_openError), problem);

    QStringList names;
    for (const UnZip::EntryInfo& entry : m_archive.entries()) {
        names.append(entry.fileName);
        m_sizes.insert(entry.fileName, entry.uncompressedSize);
    }
    const QString twice = CInstallPlan::duplicateName(names);
    if (!twice.isEmpty())
        return fail(
            Failure::Duplicate,
            QStringLiteral("it holds two entries named %0, and which of them is meant can't be told").arg(twice),
            problem);

    const QString indexName = CDataLocations::packageIndexName(addonGuid);
    m_mappingEntry = m_archive.contains(indexName) ? indexName : indexName + QStringLiteral(".mapping");
    if (!m_archive.contains(m_mappingEntry))
        return fail(Failure::NoMapping, QStringLiteral("it holds no file mapping %0").arg(indexName), problem);
    if (m_sizes.value(m_mappingEntry) > MaximumMappingSize)
        return fail(Failure::BadMapping, QStringLiteral("its file mapping is too large to be one"), problem);
    QBuffer buffer(&m_mapping);
    buffer.open(QIODevice::WriteOnly);
    const UnZip::ErrorCode extracted = m_archive.extractFile(m_mappingEntry, &buffer);
    if (extracted != UnZip::Ok) {
        // The first entry read: a wrong password or a damaged package shows here.
        m_openError = extracted;
        return fail(Failure::Unopened,
                    QStringLiteral("its file mapping can't be unpacked (%0)").arg(UnZip::errorText(extracted)),
                    problem);
    }

    CFileMappingSerializer reader;
    QString unreadable;
    QObject::connect(&reader, &CFileMappingSerializer::taskError,
                     [&unreadable](const Exception& error) { unreadable = error.message; });
    const bool read = reader.deserializeContent(m_mapping, m_mappingEntry, simulator).isValid() && unreadable.isEmpty();
    if (!read)
        return fail(Failure::BadMapping, unreadable, problem);
    QString unplanned;
    if (!CInstallPlan::build(reader.items(), addonFolder, &m_files, &unplanned))
        return fail(Failure::BadMapping, unplanned, problem);
    return true;
}
