#include "cpackagebuilder.h"

#include "zip/zip.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{
const QString packageSuffix = QStringLiteral(".zip");

// Every file below `folder` as a path relative to it, with "/" separators, in name order (so that the
// same sources give the same package).
QStringList sourceFiles(const QString& folder)
{
    const QDir base(folder);
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(base.relativeFilePath(it.next()));
    files.sort();
    return files;
}
} // namespace

QStringList CPackageBuilder::buildAll(const QString& sourcesFolder, const QString& packagesFolder)
{
    QStringList problems;
    const QStringList names = QDir(sourcesFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (!names.isEmpty() && !QDir().mkpath(packagesFolder))
        return {QStringLiteral("The packages folder \"%1\" cannot be created.").arg(packagesFolder)};
    for (const QString& name : names) {
        const QString source = QDir(sourcesFolder).filePath(name);
        const QString package = QDir(packagesFolder).filePath(name + packageSuffix);
        const QFileInfo existing(package);
        if (existing.isFile() && existing.lastModified() >= newestChange(source))
            continue;
        QString problem;
        if (!build(source, package, problem))
            problems.append(problem);
    }
    return problems;
}

bool CPackageBuilder::build(const QString& sourceFolder, const QString& package, QString& problem)
{
    // Taken before reading, so that a source written during the packing counts as newer than the package.
    const QDateTime newest = newestChange(sourceFolder);
    QSaveFile file(package);
    if (!file.open(QIODevice::WriteOnly)) {
        problem = QStringLiteral("%1: cannot be written (%2).").arg(package, file.errorString());
        return false;
    }
    Zip zip;
    Zip::ErrorCode code = zip.create(&file);
    QString failed = package; // what the error is about
    const QStringList files = sourceFiles(sourceFolder);
    for (int i = 0; code == Zip::Ok && i < files.size(); ++i) {
        code = zip.addFileAs(QDir(sourceFolder).filePath(files.at(i)), files.at(i), Zip::RelativePaths, Zip::Deflate6);
        if (code != Zip::Ok)
            failed = QStringLiteral("%1: %2").arg(package, files.at(i));
    }
    const Zip::ErrorCode closed = zip.close();
    if (code == Zip::Ok)
        code = closed;
    if (code != Zip::Ok) {
        problem = QStringLiteral("%1 cannot be packed: %2").arg(failed, Zip::errorText(code));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        problem = QStringLiteral("%1: cannot be moved into place (%2).").arg(package, file.errorString());
        return false;
    }
    // Best effort: without it the package keeps its write time, still later than its sources.
    QFile written(package);
    if (written.open(QIODevice::ReadWrite))
        written.setFileTime(newest, QFileDevice::FileModificationTime);
    return true;
}

QDateTime CPackageBuilder::newestChange(const QString& folder)
{
    QDateTime newest = QFileInfo(folder).lastModified();
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        newest = qMax(newest, it.fileInfo().lastModified());
    }
    return newest;
}
