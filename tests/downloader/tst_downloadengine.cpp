// The download engine's parts that need no server: error texts, file utilities, the progress journal, the
// cutting of a file into pieces and the plan a download goes on from.

#include "cdatadirtest.h"
#include "downloader/cfileutils.h"
#include "downloader/chttpdownloadhelper.h"
#include "downloader/chttpdownloadtask.h"
#include "downloader/cnetworkerror.h"
#include "downloader/cresumeplan.h"
#include "downloader/downloadtaskrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace
{
const auto readAll = &CTestDataDir::readFile;
} // namespace

class TestDownloadEngine : public CDataDirTest
{
    Q_OBJECT

private slots:
    void errorText_data();
    void errorText();

    void normalizePath_data();
    void normalizePath();
    void createFile();
    void moveFile();

    void journalLayout();
    void journalRead_data();
    void journalRead();
    void journalParseError();
    void journalPieces();
    void journalRewrittenInPlace();

    void pieceSize_data();
    void pieceSize();
    void resumePlan_data();
    void resumePlan();
};

void TestDownloadEngine::errorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // set with setMessage when not empty
    QTest::addColumn<QString>("text");

    QTest::newRow("own error") << 0 << "Can't Create Download File!"
                               << "Code:400, Description: Can't Create Download File!";
    QTest::newRow("no error") << 0 << QString() << "Code:0, Description: No error";
    // One row of the table of texts stands for all: the others would copy it.
    QTest::newRow("connection refused")
        << 1 << QString()
        << "Code:1, Description: The remote server refused the connection (the server is not accepting requests).";
    QTest::newRow("code not in the table") << 1000 << QString() << "Code:1000, Description: Unknown error.";
    QTest::newRow("server error, not in the table") << 401 << QString() << "Code:401, Description: Unknown error.";
}

void TestDownloadEngine::errorText()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, text);
    CNetworkError error(code);
    if (!message.isEmpty())
        error.setMessage(message);
    QCOMPARE(error.text(), text);
    QCOMPARE(error.hasError(), error.code() != 0);
}

void TestDownloadEngine::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalized");

    const auto row = [](const char* name, const QString& path, const QString& normalized) {
        QTest::newRow(name) << path << normalized;
    };
    const QString programDirectory = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    row("relative", "data/file.bin", programDirectory + QStringLiteral("/data/file.bin"));
    row("absolute file", "/tmp/x/file.bin", "/tmp/x/file.bin");
    row("absolute folder with slash", "/tmp/x/", "/tmp/x");
    row("absolute folder with backslash", "/tmp/x\\", "/tmp/x");
    row("only the last slash goes", "/tmp/x//", "/tmp/x/");
    row("root stays", "/", "/");
    row("empty", "", "");
}

void TestDownloadEngine::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QString, normalized);
    QCOMPARE(CFileUtils::normalizePath(path), normalized);
}

void TestDownloadEngine::createFile()
{
    const QString nested = data().filePath(QStringLiteral("a/b/file.part"));
    QString reason;
    QVERIFY(!CFileUtils::createFile(nested, 10, false, &reason));
    QCOMPARE(reason, QStringLiteral("No such file or directory"));
    QVERIFY(!QFile::exists(nested));
    QVERIFY(CFileUtils::createFile(nested, 3 * 1024 * 1024 + 7, true));
    QCOMPARE(QFileInfo(nested).size(), qint64(3 * 1024 * 1024 + 7));

    // An existing file takes the new size; size 0 leaves it as it is.
    QVERIFY(CFileUtils::createFile(nested, 100, false));
    QCOMPARE(QFileInfo(nested).size(), qint64(100));
    QVERIFY(CFileUtils::createFile(nested, 0, false));
    QCOMPARE(QFileInfo(nested).size(), qint64(100));

    QVERIFY(!CFileUtils::createFile(data().path(), 10, true));
    QVERIFY(!CFileUtils::createFile(QString(), 10, true));
}

void TestDownloadEngine::moveFile()
{
    const QString source = data().writeFile(QStringLiteral("source.bin"), "new content");
    const QString destination = data().writeFile(QStringLiteral("destination.bin"), "old content that is longer");

    QVERIFY(CFileUtils::moveFile(source, destination));
    QCOMPARE(readAll(destination), QByteArray("new content"));
    QVERIFY(!QFile::exists(source));

    // A missing source leaves the destination alone.
    QVERIFY(!CFileUtils::moveFile(source, destination));
    QCOMPARE(readAll(destination), QByteArray("new content"));

    // Neither a folder as source nor one as destination.
    const QString folder = data().filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!CFileUtils::moveFile(folder, destination));
    QVERIFY(!CFileUtils::moveFile(destination, folder));
    QCOMPARE(readAll(destination), QByteArray("new content"));
    QVERIFY(QFileInfo(folder).isDir());
}

void TestDownloadEngine::journalLayout()
{
    CHttpDownloadHelper journal(data().filePath(CHttpDownloadHelper::FileName));
    DownloadTaskRecord record;
    record.url = QStringLiteral("http://host/pkg.zip");
    record.path = QStringLiteral("/data/pkg.zip");
    record.threads = 5;
    record.size = 5000000000; // over 4 GiB: written in full
    record.offset = 2;
    journal.addRecord(record);
    journal.putPiece(record.url, CFilePiece(3, 6291456, 9437183, 1024));
    journal.putPiece(record.url, CFilePiece(1, 0, 3145727, 0));
    QVERIFY(journal.write());

    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<downloadTasks>\n"
                                "    <task url=\"http://host/pkg.zip\" path=\"/data/pkg.zip\" threads=\"5\" "
                                "size=\"5000000000\" offset=\"2\">\n"
                                "        <part id=\"3\" start=\"6291456\" end=\"9437183\" completed=\"1024\"/>\n"
                                "        <part id=\"1\" start=\"0\" end=\"3145727\" completed=\"0\"/>\n"
                                "    </task>\n"
                                "</downloadTasks>\n";
    QCOMPARE(readAll(journal.journalPath()), expected);

    CHttpDownloadHelper reread(journal.journalPath());
    QVERIFY(reread.read());
    DownloadTaskRecord loaded;
    QVERIFY(reread.loadRecord(record.url, &loaded));
    QCOMPARE(loaded.size, record.size);
    QCOMPARE(loaded.pieces.size(), 2);
    QCOMPARE(loaded.pieces.first().completed(), qint64(1024));
    QCOMPARE(loaded.pieces.first().end(), qint64(9437183));
}

void TestDownloadEngine::journalRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("urls");

    // A good task, then the one of the row.
    const auto row = [](const char* name, const char* task) {
        QTest::newRow(name) << QByteArray(
                                   R"(<downloadTasks><task url="u1" path="/p1" threads="1" size="10" offset="0"/>)" +
                                   QByteArray(task) + "</downloadTasks>")
                            << QStringList{QStringLiteral("u1")};
    };
    row("task without path skipped", R"(<task url="u2" threads="1" size="10" offset="0"/>)");
    row("task without url skipped", R"(<task path="/p" threads="1" size="10" offset="0"/>)");
    row("threads not a number", R"(<task url="u2" path="/p" threads="x" size="10" offset="0"/>)");
    row("size missing", R"(<task url="u2" path="/p" threads="1" offset="0"/>)");
    row("later record replaces earlier", R"(<task url="u1" path="/p2" threads="2" size="20" offset="1"/>)");
    QTest::newRow("empty journal") << QByteArray("<downloadTasks/>") << QStringList();
}

void TestDownloadEngine::journalRead()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, urls);
    const QString path = data().writeFile(CHttpDownloadHelper::FileName, content);
    CHttpDownloadHelper journal(path);
    QVERIFY(journal.read());
    QCOMPARE(journal.records().keys(), urls);
}

void TestDownloadEngine::journalParseError()
{
    const QString path =
        data().writeFile(CHttpDownloadHelper::FileName, "<downloadTasks>\n<task url=\"u\"\n</downloadTasks>");
    CHttpDownloadHelper journal(path);
    QString message;
    QVERIFY(!journal.read(&message));
    QVERIFY2(message.contains(QStringLiteral(" at line:3,col:")), qPrintable(message));
    QCOMPARE(journal.lastReadError(), message);

    CHttpDownloadHelper missing(data().filePath(QStringLiteral("none/") + CHttpDownloadHelper::FileName));
    QVERIFY(!missing.read());
    missing.addRecord(DownloadTaskRecord{QStringLiteral("u"), QStringLiteral("/p"), QString(), 1, 0, 1, 0, {}});
    QString reason;
    QVERIFY(!missing.write(&reason));
    QVERIFY2(reason.endsWith(QStringLiteral(": No such file or directory")), qPrintable(reason));
    CHttpDownloadHelper unnamed{QString()};
    QVERIFY(!unnamed.read());
    QVERIFY(!unnamed.write());
}

void TestDownloadEngine::journalPieces()
{
    // A part whose "end" is not a number keeps the id and start read before it.
    const QString path =
        data().writeFile(CHttpDownloadHelper::FileName,
                         "<downloadTasks><task url=\"u\" path=\"/p\" threads=\"2\" size=\"100\" offset=\"3\">"
                         "<part id=\"2\" start=\"10\" end=\"19\" completed=\"4\"/>"
                         "<part id=\"4\" start=\"30\" end=\"x\" completed=\"1\"/>"
                         "</task></downloadTasks>");
    CHttpDownloadHelper journal(path);
    QVERIFY(journal.read());
    DownloadTaskRecord record;
    QVERIFY(journal.loadRecord(QStringLiteral("u"), &record));
    QCOMPARE(record.offset, 3);
    QCOMPARE(record.pieces.size(), 2);
    QCOMPARE(record.pieces[1].id(), 4);
    QCOMPARE(record.pieces[1].start(), qint64(30));
    QCOMPARE(record.pieces[1].end(), qint64(0));
    QCOMPARE(record.pieces[1].completed(), qint64(0));
}

void TestDownloadEngine::journalRewrittenInPlace()
{
    const QString path = data().filePath(CHttpDownloadHelper::FileName);
    const std::shared_ptr<CHttpDownloadHelper> journal = CHttpDownloadHelper::shared(path);
    QCOMPARE(CHttpDownloadHelper::shared(path), journal); // one journal a folder, for every download in it
    const auto record = [](const char* url, const char* path) {
        return DownloadTaskRecord{
            QString::fromLatin1(url), QString::fromLatin1(path), QStringLiteral("\"v\""), 1, 0, 100, 0, {}};
    };
    journal->addRecord(record("http://h/Long/Name/Of/A.bin", "/d/a.bin"));
    journal->addRecord(record("http://h/b.bin", "/d/b.bin"));
    journal->putPiece(QStringLiteral("http://h/b.bin"), CFilePiece(1, 0, 99, 7));
    QVERIFY(journal->write());
    const qint64 longest = QFileInfo(path).size();

    // Shorter now: the rest of the longer document is blanked out, and the file reads back whole.
    journal->removeRecord(QStringLiteral("HTTP://H/LONG/NAME/OF/A.BIN"));
    QVERIFY(journal->write());
    QCOMPARE(QFileInfo(path).size(), longest);
    CHttpDownloadHelper reread(path);
    QVERIFY(reread.read());
    DownloadTaskRecord loaded;
    QVERIFY(reread.loadRecord(QStringLiteral("http://H/B.bin"), &loaded));
    QCOMPARE(loaded.url, QStringLiteral("http://h/b.bin"));
    QCOMPARE(loaded.validator, QStringLiteral("\"v\""));
    QCOMPARE(loaded.pieces.size(), 1);
    QCOMPARE(reread.records().size(), 1);
    // A second download into the same destination takes the place of the first.
    journal->addRecord(record("http://other/b.bin", "/d/b.bin"));
    QCOMPARE(journal->records().size(), 1);

    // The last record gone, so is the file.
    journal->removeRecord(QStringLiteral("http://other/b.bin"));
    QVERIFY(journal->write());
    QVERIFY(!QFile::exists(path));
}

void TestDownloadEngine::pieceSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("threads");
    QTest::addColumn<qint64>("pieceSize");
    QTest::addColumn<qint64>("pieces");

    // With the default chunk C = 1572864. Small files: two chunks a piece.
    QTest::newRow("one byte") << qint64(1) << 5 << qint64(3145728) << qint64(1);
    QTest::newRow("three chunks, five threads") << qint64(4718592) << 5 << qint64(3145728) << qint64(2);
    QTest::newRow("100 chunks, one thread") << qint64(157286400) << 1 << qint64(31457280) << qint64(5);
    // Single precision: 536870912 / 10 = 53687091.2 is 53687092 as a float; / 50 is 10737418.
    QTest::newRow("512 MiB, one thread") << qint64(536870912) << 1 << qint64(107374184) << qint64(5);
    QTest::newRow("512 MiB, five threads") << qint64(536870912) << 5 << qint64(21474836) << qint64(26);
    QTest::newRow("3 GiB, one thread") << qint64(3221225472) << 1 << qint64(644245120) << qint64(5);
    // Past 1024 chunks the modulus no longer doubles the piece.
    QTest::newRow("18 GiB, one thread") << qint64(19327352832) << 1 << qint64(2254857728) << qint64(9);
    // The 32-bit truncation keeps the largest int.
    QTest::newRow("40 GiB, one thread") << qint64(42949672960) << 1 << qint64(2684354558) << qint64(17);
}

void TestDownloadEngine::pieceSize()
{
    QFETCH(qint64, size);
    QFETCH(int, threads);
    QFETCH(qint64, pieceSize);
    QFETCH(qint64, pieces);
    const qint64 computed = CResumePlan::pieceSize(size, threads, CHttpDownloadTask::chunkSizeFor(16));
    QCOMPARE(computed, pieceSize);
    const QList<CFilePiece> cut = CResumePlan::missingPieces(size, computed, 0, {});
    QCOMPARE(qint64(cut.size()), pieces);
    QCOMPARE(cut.last().end(), size - 1);
}

void TestDownloadEngine::resumePlan_data()
{
    QTest::addColumn<QString>("change"); // from a download that can go on
    QTest::addColumn<QString>("words");  // in the reason it starts over; empty: it goes on

    QTest::newRow("as recorded") << QString() << QString();
    QTest::newRow("another URL, same destination") << "url" << QString();
    QTest::newRow("recorded for another destination") << "path"
                                                      << "the journal has it for";
    QTest::newRow("size changed") << "size"
                                  << "its size was";
    QTest::newRow("no validator now") << "no validator"
                                      << "names no ETag";
    QTest::newRow("validator changed") << "validator"
                                       << "changed on the server";
    QTest::newRow("part file gone") << "no part"
                                    << "missing or has the wrong size";
    QTest::newRow("part file a byte short") << "short part"
                                            << "missing or has the wrong size";
    QTest::newRow("chunk size changed") << "chunk"
                                        << "do not fit";
    QTest::newRow("piece beyond the offset") << "offset"
                                             << "do not fit";
    QTest::newRow("more done than the piece holds") << "completed"
                                                    << "do not fit";
}

void TestDownloadEngine::resumePlan()
{
    QFETCH(QString, change);
    QFETCH(QString, words);
    const qint64 chunk = 65536;
    const qint64 piece = 2 * chunk; // two workers, small file: the floor of one chunk, doubled
    const qint64 size = 5 * piece + 5;
    const QString url = QStringLiteral("http://files.invalid/Pack.zip");
    const QString path = data().filePath(QStringLiteral("pack.zip"));
    const QString part = path + CHttpDownloadTask::PartSuffix;
    if (change != QLatin1String("no part"))
        QVERIFY(CFileUtils::createFile(part, change == QLatin1String("short part") ? size - 1 : size, true));

    DownloadTaskRecord record;
    record.url = url;
    record.path = change == QLatin1String("path") ? data().filePath(QStringLiteral("other.zip")) : path;
    record.validator = QStringLiteral("\"v1\"");
    record.threads = 2;
    record.size = size;
    record.offset = 3;
    const CFilePiece begun(2, piece, 2 * piece - 1, change == QLatin1String("completed") ? piece + 1 : 1000);
    const CFilePiece written(3, 2 * piece, 3 * piece - 1, piece); // in full, not yet taken out
    record.pieces = {begun, written};
    if (change == QLatin1String("offset"))
        record.pieces.append(CFilePiece(4, 3 * piece, 4 * piece - 1, 0));
    CHttpDownloadHelper journal(data().filePath(CHttpDownloadHelper::FileName));
    journal.addRecord(record);

    const QString validator = change == QLatin1String("no validator") ? QString()
                              : change == QLatin1String("validator")  ? QStringLiteral("\"v2\"")
                                                                      : record.validator;
    const CResumePlan plan = CResumePlan::fromJournal(
        journal, change == QLatin1String("url") ? QStringLiteral("http://mirror.invalid/pack.zip") : url, path, part,
        change == QLatin1String("size") ? size + 1 : size, validator,
        change == QLatin1String("chunk") ? 2 * chunk : chunk);
    if (!words.isEmpty()) {
        QVERIFY(!plan.resumes);
        QVERIFY2(plan.startOverReason.contains(words), qPrintable(plan.startOverReason));
        return;
    }
    QVERIFY2(plan.resumes, qPrintable(plan.startOverReason));
    QCOMPARE(plan.pieceBytes, piece);
    QCOMPARE(plan.offset, 3);
    QCOMPARE(plan.pieces.size(), 1);
    QCOMPARE(plan.pieces.first().id(), 2);
    QCOMPARE(plan.pieces.first().completed(), qint64(1000));
    // The rest of piece 2, and every piece past the third.
    QCOMPARE(plan.remaining, (piece - 1000) + (size - 3 * piece));
}

QTEST_GUILESS_MAIN(TestDownloadEngine)
#include "tst_downloadengine.moc"
