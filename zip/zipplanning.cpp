// The writer's planning half: what each add operation will store (sources, entry names, levels and limits),
// worked out on the calling thread before any data is read. zip.cpp writes the plan.
#include "zip/czipdostime.h"
#include "zip/czipentryname.h"
#include "zip/czipkeys.h"
#include "zip/zip_p.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

using namespace CZipFormat;

namespace
{
// Files below this size are stored: deflate would only add its overhead.
constexpr qint64 SmallFileSize = 60;

QString normalisedRoot(QString root)
{
    if (root == QLatin1String("/"))
        return root;
    while (root.endsWith(QLatin1Char('\\')))
        root.chop(1);
    while (root.endsWith(QLatin1String("//")))
        root.chop(1);
    if (!root.isEmpty() && !root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

// An absolute folder path as a relative entry name: no drive, no leading "/".
QString withoutRoot(QString path)
{
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':'))
        path.remove(0, 2);
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

int levelForType(const QFileInfo& source)
{
    static const QStringList archives = {QStringLiteral("7z"),  QStringLiteral("bin"), QStringLiteral("deb"),
                                         QStringLiteral("exe"), QStringLiteral("gz"),  QStringLiteral("gz2"),
                                         QStringLiteral("jar"), QStringLiteral("rar"), QStringLiteral("rpm"),
                                         QStringLiteral("tar"), QStringLiteral("tgz"), QStringLiteral("z"),
                                         QStringLiteral("zip")};
    static const QStringList media = {
        QStringLiteral("asf"),  QStringLiteral("avi"),  QStringLiteral("divx"), QStringLiteral("doc"),
        QStringLiteral("docx"), QStringLiteral("flv"),  QStringLiteral("gif"),  QStringLiteral("iso"),
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("mka"),  QStringLiteral("mkv"),
        QStringLiteral("mp3"),  QStringLiteral("mp4"),  QStringLiteral("mpeg"), QStringLiteral("mpg"),
        QStringLiteral("odt"),  QStringLiteral("ogg"),  QStringLiteral("ogm"),  QStringLiteral("ra"),
        QStringLiteral("rm"),   QStringLiteral("wma"),  QStringLiteral("wmv")};
    static const QStringList text = {
        QStringLiteral("asp"), QStringLiteral("bat"), QStringLiteral("c"),   QStringLiteral("conf"),
        QStringLiteral("cpp"), QStringLiteral("css"), QStringLiteral("csv"), QStringLiteral("cxx"),
        QStringLiteral("h"),   QStringLiteral("hpp"), QStringLiteral("htm"), QStringLiteral("html"),
        QStringLiteral("hxx"), QStringLiteral("ini"), QStringLiteral("js"),  QStringLiteral("php"),
        QStringLiteral("pl"),  QStringLiteral("py"),  QStringLiteral("rtf"), QStringLiteral("sh"),
        QStringLiteral("tsv"), QStringLiteral("txt"), QStringLiteral("vb"),  QStringLiteral("vbs"),
        QStringLiteral("xml"), QStringLiteral("xst")};
    const QString suffix = source.completeSuffix().toLower();
    if (archives.contains(suffix))
        return 0;
    if (media.contains(suffix))
        return 2;
    if (text.contains(suffix))
        return 9;
    return 5;
}

int effectiveLevel(Zip::CompressionLevel level, const QFileInfo& source)
{
    if (level <= Zip::Deflate9)
        return std::max(0, static_cast<int>(level));
    if (level == Zip::AutoBySpeed)
        return 5;
    return levelForType(source);
}
} // namespace

Zip::ErrorCode ZipPrivate::checkSource(const QFileInfo& source)
{
    if (!source.exists())
        return fail(Zip::FileNotFound, QStringLiteral("File or directory does not exist: %1").arg(source.filePath()));
    if (!source.isFile() && !source.isDir())
        return fail(Zip::NotRegularFile, QStringLiteral("%1 is not a regular file.").arg(source.filePath()));
    if (!source.isReadable())
        return fail(Zip::FileNotFound, QStringLiteral("File or directory is not readable: %1").arg(source.filePath()));
    return Zip::Ok;
}

bool ZipPrivate::isDuplicate(const QFileInfo& source) const
{
    const QString path = source.absoluteFilePath();
    for (const CZipEntryHeader& header : *headers) {
        if (header.sourceSize == source.size() && header.sourcePath.compare(path, Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const CZipPlannedEntry& entry : plan) {
        if (entry.size == source.size() && entry.path.compare(path, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool ZipPrivate::isArchiveItself(const QFileInfo& source) const
{
    return archivePaths.contains(source.absoluteFilePath());
}

Zip::ErrorCode ZipPrivate::addSources(const QStringList& paths, const QString& rawRoot, Zip::CompressionOptions options,
                                      Zip::CompressionLevel level, const QString& entryName)
{
    if (!headers)
        return Zip::NoOpenArchive;
    // Entries encrypted under a mangled password could be opened with other passwords too.
    if (!password.isEmpty() && !CZipKeys::canEncode(password))
        return fail(Zip::UnsupportedPassword, QStringLiteral("The password has characters outside Latin-1."));
    const bool skipBad = options.testFlag(Zip::SkipBadFiles);

    QList<QFileInfo> sources;
    for (const QString& path : paths) {
        const QFileInfo source(path);
        if (options.testFlag(Zip::SkipDuplicates) && source.isFile() && isDuplicate(source))
            continue;
        const Zip::ErrorCode ec = checkSource(source);
        if (ec != Zip::Ok) {
            if (!skipBad)
                return ec;
            skipped.append(QStringLiteral("%1: %2").arg(path, detail));
            continue;
        }
        sources.append(source);
    }

    const QString root = normalisedRoot(rawRoot);
    Zip::ErrorCode planned = Zip::Ok;
    for (const QFileInfo& source : sources) {
        if (isArchiveItself(source))
            continue;
        Zip::ErrorCode ec = Zip::Ok;
        if (source.isDir()) {
            if (options.testFlag(Zip::IgnorePaths))
                ec = planDirectory(source.absoluteFilePath(), root, false, options, level);
            else if (options.testFlag(Zip::RelativeToFolder))
                ec = planDirectory(source.absoluteFilePath(), root, true, options, level);
            else {
                const QString own =
                    options.testFlag(Zip::AbsolutePaths) ? withoutRoot(source.absoluteFilePath()) : source.fileName();
                const QString prefix = own.isEmpty() ? root : root + own + QLatin1Char('/');
                if (prefix != root)
                    ec = planEntry(source, prefix, Zip::Store);
                if (ec == Zip::Ok || skipBad)
                    ec = planDirectory(source.absoluteFilePath(), prefix, true, options, level);
            }
        } else {
            QString name = entryName;
            if (name.isEmpty()) {
                QString folder;
                if (options.testFlag(Zip::IgnorePaths) || options.testFlag(Zip::RelativeToFolder))
                    folder.clear();
                else if (options.testFlag(Zip::AbsolutePaths))
                    folder = withoutRoot(source.absolutePath());
                else
                    folder = source.absoluteDir().dirName();
                name =
                    folder.isEmpty() ? root + source.fileName() : root + folder + QLatin1Char('/') + source.fileName();
            }
            ec = planEntry(source, name, level);
        }
        if (ec != Zip::Ok && !skipBad) {
            planned = ec;
            break;
        }
    }
    // What was planned before a failure is written, as if each entry had been written at once.
    const Zip::ErrorCode written = writePlan(skipBad);
    return written != Zip::Ok ? written : planned;
}

Zip::ErrorCode ZipPrivate::addNamedFiles(const QList<Zip::NamedFile>& files, Zip::CompressionOptions options,
                                         Zip::CompressionLevel level)
{
    if (!headers)
        return Zip::NoOpenArchive;
    if (!password.isEmpty() && !CZipKeys::canEncode(password))
        return fail(Zip::UnsupportedPassword, QStringLiteral("The password has characters outside Latin-1."));
    const bool skipBad = options.testFlag(Zip::SkipBadFiles);
    Zip::ErrorCode planned = Zip::Ok;
    for (const Zip::NamedFile& file : files) {
        const QFileInfo source(file.path);
        if (options.testFlag(Zip::SkipDuplicates) && source.isFile() && isDuplicate(source))
            continue;
        Zip::ErrorCode ec = checkSource(source);
        if (ec == Zip::Ok && file.entryName.isEmpty())
            ec = fail(Zip::InvalidEntryName, QStringLiteral("No entry name given for %1.").arg(file.path));
        if (ec == Zip::Ok && source.isDir())
            ec = fail(Zip::NotRegularFile, QStringLiteral("%1 is a folder, not a file.").arg(file.path));
        if (ec == Zip::Ok)
            ec = planEntry(source, file.entryName, level);
        if (ec != Zip::Ok && !skipBad) {
            planned = ec;
            break;
        }
        if (ec != Zip::Ok)
            skipped.append(QStringLiteral("%1: %2").arg(file.path, detail));
    }
    const Zip::ErrorCode written = writePlan(skipBad);
    return written != Zip::Ok ? written : planned;
}

Zip::ErrorCode ZipPrivate::planDirectory(const QString& path, const QString& prefix, bool folderEntries,
                                         Zip::CompressionOptions options, Zip::CompressionLevel level)
{
    const bool skipBad = options.testFlag(Zip::SkipBadFiles);
    // System: pipes, sockets, devices and dangling links are listed too, so that they are reported rather
    // than left out without a word.
    const QFileInfoList children = QDir(path).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& child : children) {
        // A link to a folder could lead back up the tree.
        if ((child.isSymLink() && child.isDir()) || isArchiveItself(child))
            continue;
        if (options.testFlag(Zip::SkipDuplicates) && child.isFile() && isDuplicate(child))
            continue;
        Zip::ErrorCode ec = checkSource(child);
        if (ec != Zip::Ok) {
            // reported as it is
        } else if (child.isDir()) {
            const QString childPrefix = folderEntries ? prefix + child.fileName() + QLatin1Char('/') : prefix;
            if (folderEntries)
                ec = planEntry(child, childPrefix, Zip::Store);
            if (ec == Zip::Ok || skipBad)
                ec = planDirectory(child.filePath(), childPrefix, folderEntries, options, level);
        } else {
            ec = planEntry(child, prefix + child.fileName(), level);
        }
        if (ec != Zip::Ok && !skipBad)
            return ec;
        if (ec != Zip::Ok)
            skipped.append(QStringLiteral("%1: %2").arg(child.filePath(), detail));
    }
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::planEntry(const QFileInfo& source, const QString& entryName, Zip::CompressionLevel level)
{
    CZipPlannedEntry entry;
    entry.directory = source.isDir();
    entry.name = entryName;
    if (entry.directory && !entry.name.endsWith(QLatin1Char('/')))
        entry.name += QLatin1Char('/');
    // Names this program's reader would refuse are not written either.
    if (!CZipEntryName::isSafe(entry.name))
        return fail(Zip::InvalidEntryName,
                    QStringLiteral("Entry name %1 is empty, absolute or leaves its folder.").arg(entry.name));
    // Entry names are file names only in a backup: two files of one name from different folders must
    // fail the backup, not silently keep one of them.
    const auto existing = headers->constFind(entry.name);
    if (existing != headers->constEnd() || plannedNames.contains(entry.name)) {
        if (entry.directory)
            return Zip::Ok;
        const QString first = existing != headers->constEnd() ? existing->sourcePath : QStringLiteral("this add");
        return fail(Zip::DuplicateEntryName,
                    QStringLiteral("%1 (from %2) has the entry name of a file added before (from %3).")
                        .arg(entry.name, source.absoluteFilePath(), first));
    }
    // No ZIP64: sizes must fit in 32 bits, and the directory in 65,535 entries.
    if (headers->size() + plan.size() >= 0xFFFF)
        return fail(
            Zip::WriteFailed,
            QStringLiteral("%1: the archive would hold more than 65,535 entries, which needs ZIP64.").arg(entry.name));
    quint16 unusedFlags = 0;
    if (CZipEntryName::encode(entry.name, unusedFlags).size() > 0xFFFF)
        return fail(Zip::InvalidEntryName, QStringLiteral("Entry name too long: %1").arg(entry.name));
    entry.path = source.absoluteFilePath();
    entry.size = entry.directory ? 0 : source.size();
    if (entry.size > 0xFFFFFFFFLL)
        return fail(Zip::WriteFailed, QStringLiteral("%1 is 4 GiB or larger, which needs ZIP64.").arg(entry.path));
    entry.modified = source.lastModified().toMSecsSinceEpoch();
    CZipDosTime::fromDateTime(source.lastModified(), entry.dosDate, entry.dosTime);
    entry.level = entry.directory || entry.size < SmallFileSize ? 0 : effectiveLevel(level, source);
    plan.append(entry);
    plannedNames.insert(entry.name);
    return Zip::Ok;
}
