#include "cziptestfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

QByteArray CZipTestFiles::text(int size)
{
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += "AWY " + QByteArray::number(i * 31 % 977) + " N47 15.2 E011 20.9\n";
    out.truncate(size);
    return out;
}

QByteArray CZipTestFiles::noise(int size, quint32 seed)
{
    QByteArray out(size, '\0');
    for (char& byte : out) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<char>(seed >> 24);
    }
    return out;
}

bool CZipTestFiles::writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray CZipTestFiles::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList CZipTestFiles::filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QMap<QString, QByteArray> CZipTestFiles::tree(const QString& root)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : filesBelow(root))
        files.insert(name, readFile(QDir(root).filePath(name)));
    return files;
}
