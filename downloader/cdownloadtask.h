#pragma once

#include <QObject>
#include <QString>

// Base of a download request: where the file goes and whether the request runs.
class CDownloadTask : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Idle = 0,
        Running = 1,
    };

    // `path` is the destination; a relative one is made absolute first (CFileUtils::normalizePath).
    explicit CDownloadTask(const QString& path, QObject* parent = nullptr);

    // Directory, "/", file name.
    QString fullPath() const;
    QString directory() const { return m_directory; }
    QString fileName() const { return m_fileName; }
    void setPath(const QString& path);
    int state() const { return m_state; }

    virtual void start() = 0;
    virtual void stop() = 0;

protected:
    void setState(int state) { m_state = state; }

private:
    QString m_directory;
    QString m_fileName;
    int m_state = Idle;
};
