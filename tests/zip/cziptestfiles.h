#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Content and file helpers the zip tests share.
class CZipTestFiles
{
public:
    // `size` bytes of navigation-data lines: text that deflates well, with matches far back.
    static QByteArray text(int size);
    // `size` pseudo-random bytes that do not deflate.
    static QByteArray noise(int size, quint32 seed = 99);
    // Creates missing parent folders; false when the bytes could not all be written.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    // "<missing>" for a file that cannot be read, so that a comparison names the problem.
    static QByteArray readFile(const QString& path);
    // Every file below a folder (hidden ones too), relative to it, sorted.
    static QStringList filesBelow(const QString& root);
    // Relative path -> content of every file below a folder.
    static QMap<QString, QByteArray> tree(const QString& root);
};
