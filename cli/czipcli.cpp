// tessaray-cli zip: list, test, extract and create zip archives with the program's own reader and writer.

#include "cli/cclicommand.h"
#include "zip/unzip.h"
#include "zip/zip.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

namespace
{
const QString passwordName = QStringLiteral("password");
const QString flatName = QStringLiteral("flat");
const QString levelName = QStringLiteral("level");
const QString threadsName = QStringLiteral("threads");
const QString commentName = QStringLiteral("comment");
const QString overwriteName = QStringLiteral("overwrite");
const QString verboseName = QStringLiteral("verbose");

QString usage()
{
    return QStringLiteral(
        "Usage: tessaray-cli zip <action> [options]\n\n"
        "Actions:\n"
        "  list ARCHIVE [--password PW]                 One line per entry: name, size, packed size,\n"
        "                                               CRC-32, method, encrypted or plain.\n"
        "  test ARCHIVE [--password PW]                 Verify every entry.\n"
        "  extract ARCHIVE DIR [--password PW] [--flat] [ENTRY...]\n"
        "                                               Extract all entries, or the ones named.\n"
        "  create ARCHIVE PATH... [--password PW] [--level N] [--flat] [--comment TEXT] [--overwrite]\n"
        "                                               Pack files and folders.\n\n"
        "'tessaray-cli zip <action> --help' shows an action's options.\n");
}

void addCommonOptions(QCommandLineParser& parser)
{
    parser.addOption(
        QCommandLineOption(passwordName, QStringLiteral("Password of the encrypted entries."), QStringLiteral("PW")));
    parser.addOption(QCommandLineOption(verboseName, QStringLiteral("Show why the reader or writer failed.")));
    parser.addOption(QCommandLineOption(
        threadsName, QStringLiteral("Threads that pack or unpack; default 0, one per core."), QStringLiteral("N")));
}

// --threads: 0 (one per core) or more; `fallback` when not given, -1 when not a number of that kind.
int threadCount(const QCommandLineParser& parser, int fallback)
{
    if (!parser.isSet(threadsName))
        return fallback;
    bool ok = false;
    const int count = parser.value(threadsName).toInt(&ok);
    return ok && count >= 0 && count <= 256 ? count : -1;
}

// Entry names come from the archive: a tab or line break in one must not forge fields or lines of the
// output, so control characters are shown as \t, \n, \r or \xHH.
QString printable(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar character : name) {
        const ushort code = character.unicode();
        if (code == '\t')
            out += QLatin1String("\\t");
        else if (code == '\n')
            out += QLatin1String("\\n");
        else if (code == '\r')
            out += QLatin1String("\\r");
        else if (code < 0x20 || code == 0x7F)
            out += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        else
            out += character;
    }
    return out;
}

// The reader reports password trouble as "skip this entry" codes; say what they mean.
QString readerErrorText(int code)
{
    if (code == UnZip::SkipAllEncrypted)
        return QStringLiteral("The entry is encrypted; give its --password.");
    return UnZip::errorText(code == UnZip::SkipEntry ? UnZip::WrongPassword : code);
}

// "<subject>: <the code's text> <the particulars>", e.g. the system's reason for a failed write.
void printFailure(int code, const QString& subject, const QString& text, const QString& detail)
{
    QString message = QStringLiteral("%1: %2").arg(printable(subject), text);
    if (!detail.isEmpty())
        message += QLatin1Char(' ') + printable(detail);
    CCli::printError(code, message);
}

void printReaderError(const UnZip& unzip, int code, const QString& subject)
{
    // The password check's own detail says no more than "Wrong password."
    const QString detail = code == UnZip::SkipEntry ? QString() : unzip.errorDetail();
    printFailure(code, subject, readerErrorText(code), detail);
}

void printReaderError(const UnZip::EntryResult& result, const QString& subject)
{
    const QString detail = result.code == UnZip::SkipEntry ? QString() : result.detail;
    printFailure(result.code, subject, readerErrorText(result.code), detail);
}

void printWriterError(const Zip& zip, int code, const QString& subject)
{
    printFailure(code, subject, Zip::errorText(code), zip.errorDetail());
}

// Entries left out at opening are named with their reason by every reading action; returns false when
// there were any.
bool reportSkippedEntries(const UnZip& unzip)
{
    const QList<UnZip::SkippedEntry> skipped = unzip.skippedEntries();
    for (const UnZip::SkippedEntry& entry : skipped)
        printFailure(UnZip::UnsupportedEntry, entry.name.isEmpty() ? QStringLiteral("<no name>") : entry.name,
                     UnZip::errorText(UnZip::UnsupportedEntry), QStringLiteral("(%1)").arg(entry.reason));
    return skipped.isEmpty();
}

// Shared start of the reading actions: parse, open the archive, set the password. Returns false with
// `status` set when the action cannot go on.
bool openArchive(QCommandLineParser& parser, const QStringList& arguments, int positionals, UnZip& unzip, int& status)
{
    if (CCli::parseOrExit(parser, arguments, status))
        return false;
    const QStringList args = parser.positionalArguments();
    if (args.size() < positionals) {
        status = CCli::usageError(parser, QStringLiteral("Missing arguments."));
        return false;
    }
    if (threadCount(parser, 0) < 0) {
        status = CCli::usageError(parser, QStringLiteral("--threads must be a number from 0 to 256."));
        return false;
    }
    if (!parser.isSet(verboseName))
        QLoggingCategory::setFilterRules(QStringLiteral("tessaray.zip.debug=false"));
    unzip.setThreadCount(threadCount(parser, 0));
    status = CCli::Failure;
    UnZip::ErrorCode ec = unzip.setPassword(parser.value(passwordName));
    if (ec != UnZip::Ok) {
        printReaderError(unzip, ec, QStringLiteral("--password"));
        return false;
    }
    ec = unzip.open(args.first());
    if (ec == UnZip::Ok) {
        status = CCli::Success;
        return true;
    }
    printReaderError(unzip, ec, args.first());
    // A directory that breaks off part-way still yields the entries before the break.
    return ec == UnZip::PartiallyCorrupted;
}

int listArchive(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the entries of a zip archive in name order, "
                                                    "tab-separated: name, size, packed size, CRC-32, method, "
                                                    "encrypted or plain."));
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("The zip archive."));
    addCommonOptions(parser);
    UnZip unzip;
    int status = CCli::Success;
    if (!openArchive(parser, arguments, 1, unzip, status))
        return status;
    const QList<UnZip::EntryInfo> entries = unzip.entries();
    for (const UnZip::EntryInfo& entry : entries) {
        const QString method = entry.compression == UnZip::Stored     ? QStringLiteral("stored")
                               : entry.compression == UnZip::Deflated ? QStringLiteral("deflated")
                                                                      : QStringLiteral("unknown");
        CCli::printLine(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                            .arg(printable(entry.fileName))
                            .arg(entry.uncompressedSize)
                            .arg(entry.compressedSize)
                            .arg(entry.crc32, 8, 16, QLatin1Char('0'))
                            .arg(method, entry.encrypted ? QStringLiteral("encrypted") : QStringLiteral("plain")));
    }
    return reportSkippedEntries(unzip) ? status : CCli::Failure;
}

int testArchive(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Decompresses and checks every entry; prints \"<name>\tok\" "
                                                    "for each sound one. Exit status 0 when all are sound."));
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("The zip archive."));
    addCommonOptions(parser);
    UnZip unzip;
    int status = CCli::Success;
    if (!openArchive(parser, arguments, 1, unzip, status))
        return status;
    if (!reportSkippedEntries(unzip))
        status = CCli::Failure;
    const QStringList names = unzip.entryNames();
    const QList<UnZip::EntryResult> failures = unzip.extractEntries(names, QString(), UnZip::VerifyOnly);
    for (int i = 0, failure = 0; i < names.size(); ++i) {
        if (failure < failures.size() && failures.at(failure).name == names.at(i)) {
            printReaderError(failures.at(failure++), names.at(i));
            status = CCli::Failure;
        } else {
            CCli::printLine(QStringLiteral("%1\tok").arg(printable(names.at(i))));
        }
    }
    return status;
}

int extractArchive(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Extracts all entries, or the ones named, below DIR. "
                                                    "Entries whose names would leave DIR are refused."));
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("The zip archive."));
    parser.addPositionalArgument(QStringLiteral("dir"), QStringLiteral("The target folder (created when missing)."));
    parser.addPositionalArgument(QStringLiteral("entry"), QStringLiteral("Entries to extract (default: all)."),
                                 QStringLiteral("[ENTRY...]"));
    addCommonOptions(parser);
    parser.addOption(QCommandLineOption(flatName, QStringLiteral("Put every file directly into DIR.")));
    UnZip unzip;
    int status = CCli::Success;
    if (!openArchive(parser, arguments, 2, unzip, status))
        return status;
    const QStringList args = parser.positionalArguments();
    const QString target = args.at(1);
    const bool all = args.size() <= 2;
    if (all && !reportSkippedEntries(unzip))
        status = CCli::Failure;
    const QStringList names = all ? unzip.entryNames() : args.mid(2);
    const UnZip::ExtractOptions options = parser.isSet(flatName) ? UnZip::DropFolders : UnZip::KeepFolders;
    const QList<UnZip::EntryResult> failures = unzip.extractEntries(names, target, options);
    for (const UnZip::EntryResult& failure : failures)
        printReaderError(failure, failure.name);
    return failures.isEmpty() ? status : CCli::Failure;
}

int createArchive(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Packs files and folders. A file is stored under its folder's name and its own "
                       "(\"nav/wpt.dat\"), a folder under its name with everything below it; with --flat under "
                       "the file names alone. The archive is written beside its final name and moved into "
                       "place only when complete."));
    parser.addPositionalArgument(QStringLiteral("archive"), QStringLiteral("The zip archive to write."));
    parser.addPositionalArgument(QStringLiteral("path"), QStringLiteral("Files and folders to pack."),
                                 QStringLiteral("PATH..."));
    addCommonOptions(parser);
    parser.addOption(QCommandLineOption(levelName, QStringLiteral("Compression level, 0 (store) to 9; default 6."),
                                        QStringLiteral("N"), QStringLiteral("6")));
    parser.addOption(QCommandLineOption(flatName, QStringLiteral("Store the file names only.")));
    parser.addOption(
        QCommandLineOption(commentName, QStringLiteral("Archive comment (Latin-1)."), QStringLiteral("TEXT")));
    parser.addOption(QCommandLineOption(overwriteName, QStringLiteral("Replace an existing archive.")));
    int status = CCli::Success;
    if (CCli::parseOrExit(parser, arguments, status))
        return status;
    const QStringList args = parser.positionalArguments();
    if (args.size() < 2)
        return CCli::usageError(parser, QStringLiteral("Missing arguments."));
    bool levelOk = false;
    const int level = parser.value(levelName).toInt(&levelOk);
    if (!levelOk || level < 0 || level > 9)
        return CCli::usageError(parser, QStringLiteral("The level must be a number from 0 to 9."));
    if (threadCount(parser, 0) < 0)
        return CCli::usageError(parser, QStringLiteral("--threads must be a number from 0 to 256."));
    if (!parser.isSet(verboseName))
        QLoggingCategory::setFilterRules(QStringLiteral("tessaray.zip.debug=false"));

    const QString archive = args.first();
    Zip zip;
    zip.setThreadCount(threadCount(parser, 0));
    Zip::ErrorCode ec = zip.setPassword(parser.value(passwordName));
    if (ec != Zip::Ok) {
        printWriterError(zip, ec, QStringLiteral("--password"));
        return CCli::Failure;
    }
    zip.setArchiveComment(parser.value(commentName));
    // The writer puts the archive in place only when close() has written it completely, so a failure or
    // a kill leaves an existing archive as it was.
    ec = zip.create(archive, parser.isSet(overwriteName));
    if (ec == Zip::FileExists) {
        CCli::printError(
            ec, QStringLiteral("%1: the archive exists; pass --overwrite to replace it.").arg(printable(archive)));
        return CCli::Failure;
    }
    if (ec != Zip::Ok) {
        printWriterError(zip, ec, archive);
        return CCli::Failure;
    }
    const Zip::CompressionOptions options = parser.isSet(flatName) ? Zip::IgnorePaths : Zip::RelativePaths;
    for (const QString& path : args.mid(1)) {
        ec = QFileInfo(path).isDir()
                 ? zip.addDirectory(path, QString(), options, static_cast<Zip::CompressionLevel>(level))
                 : zip.addFile(path, QString(), options, static_cast<Zip::CompressionLevel>(level));
        if (ec != Zip::Ok) {
            printWriterError(zip, ec, path);
            zip.discard();
            return CCli::Failure;
        }
    }
    ec = zip.close();
    if (ec != Zip::Ok) {
        printWriterError(zip, ec, archive);
        return CCli::Failure;
    }
    return CCli::Success;
}

int zipCommand(const QStringList& arguments)
{
    const QString action = arguments.value(1);
    QStringList rest = arguments.mid(2);
    rest.prepend(QStringLiteral("tessaray-cli zip %1").arg(action));
    if (action == QLatin1String("list"))
        return listArchive(rest);
    if (action == QLatin1String("test"))
        return testArchive(rest);
    if (action == QLatin1String("extract"))
        return extractArchive(rest);
    if (action == QLatin1String("create"))
        return createArchive(rest);
    const bool help = action == QLatin1String("-h") || action == QLatin1String("--help");
    const QByteArray text =
        ((help || action.isEmpty()) ? usage() : QStringLiteral("Unknown action '%1'.\n\n").arg(action) + usage())
            .toLocal8Bit();
    fputs(text.constData(), help ? stdout : stderr);
    return help ? CCli::Success : CCli::UsageError;
}

const CCliCommandRegistration
    registration({QStringLiteral("zip"), QStringLiteral("List, test, extract and create zip archives."), zipCommand});
} // namespace
