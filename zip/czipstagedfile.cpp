#include "zip/czipstagedfile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

namespace
{
std::filesystem::path nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}
} // namespace

CZipStagedFile::CZipStagedFile(const QString& target)
    : m_target(target)
{
}

CZipStagedFile::~CZipStagedFile()
{
    discard();
}

bool CZipStagedFile::open()
{
    // A target that is a folder makes the final rename fail. NewOnly never opens a file that is there
    // already, whoever made it.
    const QFileInfo target(m_target);
    // File names may have 255 bytes: a long target name is not repeated in the temporary one.
    const QString base =
        QFile::encodeName(target.fileName()).size() > 200 ? QStringLiteral("tessaray") : target.fileName();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString suffix = QString::number(QRandomGenerator::global()->generate() % 0x1000000, 36);
        m_file.setFileName(QStringLiteral("%1/.%2.%3.part").arg(target.absolutePath(), base, suffix));
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (QFileInfo::exists(m_file.fileName()))
            continue;
        break;
    }
    m_error = m_file.errorString();
    m_file.setFileName(QString());
    return false;
}

bool CZipStagedFile::commit()
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("The file is not open.");
        return false;
    }
    if (!m_file.flush()) {
        m_error = m_file.errorString();
        discard();
        return false;
    }
    // A full disk or a network share that went away may show only now.
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        m_error = m_file.errorString();
        discard();
        return false;
    }
    const QFileInfo target(m_target);
    if (target.exists() && !target.isSymLink())
        m_file.setPermissions(target.permissions());
    // Replaces an existing target in one step (rename(2); MoveFileEx with REPLACE_EXISTING on Windows).
    std::error_code error;
    std::filesystem::rename(nativePath(m_file.fileName()), nativePath(m_target), error);
    if (error) {
        m_error = QString::fromStdString(error.message());
        discard();
        return false;
    }
    m_file.setFileName(QString());
    return true;
}

void CZipStagedFile::discard()
{
    if (m_file.fileName().isEmpty())
        return;
    m_file.close();
    m_file.remove();
    m_file.setFileName(QString());
}
