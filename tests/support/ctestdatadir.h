#pragma once

#include <QString>
#include <QTemporaryDir>

// A scratch program data directory and stand-in registry for one test: points TESSARAY_DATA_DIR and
// TESSARAY_REGISTRY_FILE into a fresh temporary folder and names a log file, and restores the previous
// environment when it goes away. No test touches the user's home.
class CTestDataDir
{
public:
    CTestDataDir();
    // Virtual: the scratch-home sandbox derives from it and is held through this type.
    virtual ~CTestDataDir();

    CTestDataDir(const CTestDataDir&) = delete;
    CTestDataDir& operator=(const CTestDataDir&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    // Without a trailing separator.
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString registryFile() const { return filePath(QStringLiteral("registry.ini")); }
    QString logFile() const;

    // Writes a text file below the directory (parents created); returns its path.
    QString writeFile(const QString& relativePath, const QByteArray& content) const;
    static QByteArray readFile(const QString& path);

private:
    QTemporaryDir m_dir;
    QByteArray m_previousDataDir;
    QByteArray m_previousRegistry;
    QString m_previousLogName;
};
