#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// File helpers the zip tests share.
class CZipTestFiles
{
public:
    // Creates missing parent folders; false when the bytes could not all be written.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    // "<missing>" for a file that cannot be read, so that a comparison names the problem.
    static QByteArray readFile(const QString& path);
    // Every file below a folder (hidden ones too), relative to it, sorted.
    static QStringList filesBelow(const QString& root);
    // Relative path -> content of every file below a folder.
    static QMap<QString, QByteArray> tree(const QString& root);
};
