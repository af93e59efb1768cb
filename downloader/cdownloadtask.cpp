#include "cdownloadtask.h"

#include "downloader/cfileutils.h"

#include <QDir>

CDownloadTask::CDownloadTask(const QString& path, QObject* parent)
    : QObject(parent)
{
    setPath(path);
}

QString CDownloadTask::fullPath() const
{
    return m_directory + QLatin1Char('/') + m_fileName;
}

void CDownloadTask::setPath(const QString& path)
{
    const QString normalized = QDir::fromNativeSeparators(CFileUtils::normalizePath(path));
    const int slash = normalized.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        m_directory.clear();
        m_fileName = normalized;
        return;
    }
    m_directory = normalized.left(slash);
    m_fileName = normalized.mid(slash + 1);
}
