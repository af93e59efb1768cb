// tessaray-cli zip as a user runs it: output lines, error lines and exit statuses.

#include "cdatadirtest.h"
#include "crawzip.h"
#include "cziptestfiles.h"
#include "zip/unzip.h"

#include <QProcess>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{
struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

const auto navText = &CZipTestFiles::text;
} // namespace

class TestZipCli : public CDataDirTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void list();
    void testArchive_data();
    void testArchive();
    void extract_data();
    void extract();
    void extractRefusesEscape();
    void entriesItCannotHandle_data();
    void entriesItCannotHandle();
    void create_data();
    void create();
    void createRefusesToOverwrite();
    void createFailureKeepsArchive_data();
    void createFailureKeepsArchive();
    void usageErrors_data();
    void usageErrors();

private:
    Result cli(const QStringList& arguments) const;
    QString path(const QString& name) const { return data().filePath(name); }
    QString makeArchive();
    QString m_cli;
    CRawZipBuilder m_builder;
};

void TestZipCli::initTestCase()
{
    m_cli = qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/cli/tessaray-cli");
    QVERIFY2(QFileInfo(m_cli).isExecutable(), qPrintable(m_cli));
}

Result TestZipCli::cli(const QStringList& arguments) const
{
    QProcess process;
    process.setWorkingDirectory(data().path());
    process.start(m_cli, QStringList({QStringLiteral("--data-dir"), data().path(), QStringLiteral("zip")}) + arguments);
    Result result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// b.txt deflated and encrypted, a.txt stored, sub/c.txt deflated; the password is "pw".
QString TestZipCli::makeArchive()
{
    m_builder = CRawZipBuilder();
    CRawZipBuilder::Entry b = CRawZipBuilder::entry("b.txt", navText(8000));
    b.password = "pw";
    m_builder.add(b);
    m_builder.add("a.txt", "alpha", 0);
    m_builder.add("sub/c.txt", navText(800));
    const QString archive = path("nav.zip");
    CZipTestFiles::writeFile(archive, m_builder.build());
    return archive;
}

void TestZipCli::list()
{
    const QString archive = makeArchive();
    const Result result = cli({QStringLiteral("list"), archive});
    QCOMPARE(result.exitCode, 0);
    const auto line = [this](const char* name, const QByteArray& data, int index, const char* method,
                             const char* mode) {
        return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
            .arg(QLatin1String(name))
            .arg(data.size())
            .arg(m_builder.written().at(index).payloadSize)
            .arg(CRawZipBuilder::crc(data), 8, 16, QLatin1Char('0'))
            .arg(QLatin1String(method), QLatin1String(mode));
    };
    const QStringList expected = {line("a.txt", "alpha", 1, "stored", "plain"),
                                  line("b.txt", navText(8000), 0, "deflated", "encrypted"),
                                  line("sub/c.txt", navText(800), 2, "deflated", "plain")};
    QCOMPARE(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);

    const Result missing = cli({QStringLiteral("list"), path("missing.zip")});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.startsWith(QStringLiteral("error 8: ")), qPrintable(missing.err));
}

void TestZipCli::testArchive_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("corrupt");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("sound") << QStringList({"--password", "pw"}) << false << 0 << "";
    QTest::newRow("wrong password") << QStringList({"--password", "pv"}) << false << 1
                                    << "error 16: b.txt: Wrong password.";
    QTest::newRow("no password") << QStringList() << false << 1 << "error 17: b.txt: The entry is encrypted";
    QTest::newRow("corrupted entry") << QStringList({"--password", "pw"}) << true << 1
                                     << "error 5: a.txt: Corrupted archive.";
}

void TestZipCli::testArchive()
{
    QFETCH(QStringList, options);
    QFETCH(bool, corrupt);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    const QString archive = makeArchive();
    if (corrupt) {
        QByteArray bytes = CZipTestFiles::readFile(archive);
        bytes[static_cast<int>(m_builder.written().at(1).payloadOffset)] = 'A';
        QVERIFY(CZipTestFiles::writeFile(archive, bytes));
    }
    const Result result = cli(QStringList({QStringLiteral("test"), archive}) + options);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(error), qPrintable(result.err));
    // Every entry is checked, whatever failed before it.
    QVERIFY(result.out.contains(QStringLiteral("sub/c.txt\tok\n")));
    QCOMPARE(result.out.count(QStringLiteral("\tok\n")), exitCode == 0 ? 3 : 2);
}

void TestZipCli::extract_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("all") << QStringList({"--password", "pw"}) << 0 << QStringList({"a.txt", "b.txt", "sub/c.txt"});
    QTest::newRow("flat") << QStringList({"--password", "pw", "--flat"}) << 0
                          << QStringList({"a.txt", "b.txt", "c.txt"});
    QTest::newRow("two readers") << QStringList({"--password", "pw", "--threads", "2"}) << 0
                                 << QStringList({"a.txt", "b.txt", "sub/c.txt"});
    QTest::newRow("named entries") << QStringList({"sub/c.txt", "a.txt"}) << 0 << QStringList({"a.txt", "sub/c.txt"});
    QTest::newRow("unknown entry") << QStringList({"nope.txt", "a.txt"}) << 1 << QStringList({"a.txt"});
    QTest::newRow("wrong password") << QStringList({"--password", "x"}) << 1 << QStringList({"a.txt", "sub/c.txt"});
}

void TestZipCli::extract()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, files);
    const QString archive = makeArchive();
    const QString target = path("out/deeper");
    const Result result = cli(QStringList({QStringLiteral("extract"), archive, target}) + arguments);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(CZipTestFiles::filesBelow(target), files);
    if (files.contains(QStringLiteral("b.txt")))
        QCOMPARE(CZipTestFiles::readFile(target + QStringLiteral("/b.txt")), navText(8000));
    QCOMPARE(result.err.isEmpty(), exitCode == 0);
}

void TestZipCli::extractRefusesEscape()
{
    CRawZipBuilder builder;
    builder.add("../evil.txt", "data", 0);
    builder.add("good.txt", "data", 0);
    QVERIFY(CZipTestFiles::writeFile(path("hostile.zip"), builder.build()));
    const Result result = cli({QStringLiteral("extract"), path("hostile.zip"), path("a/b")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("error 18: ../evil.txt: Entry name points outside the target folder")),
             qPrintable(result.err));
    QCOMPARE(CZipTestFiles::filesBelow(data().path()), QStringList({"a/b/good.txt", "hostile.zip"}));
}

void TestZipCli::entriesItCannotHandle_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("lines"); // on stdout
    const QString forged = QStringLiteral("x\\tok\\nforged.txt");
    QTest::newRow("list") << "list" << QStringList({"a.txt\t4\t4\t", forged + QStringLiteral("\t4\t4\t")});
    QTest::newRow("test") << "test" << QStringList({"a.txt\tok", forged + QStringLiteral("\tok")});
    QTest::newRow("extract") << "extract" << QStringList();
}

void TestZipCli::entriesItCannotHandle()
{
    QFETCH(QString, action);
    QFETCH(QStringList, lines);
    // A name with a tab and a line break that would print as a sound entry of its own; an entry of a
    // method this reader does not know.
    CRawZipBuilder builder;
    builder.add("a.txt", "data", 0);
    builder.add("m.dat", "data", 12);
    builder.add("x\tok\nforged.txt", "data", 0);
    QVERIFY(CZipTestFiles::writeFile(path("odd.zip"), builder.build()));
    QStringList arguments = {action, path("odd.zip")};
    if (action == QLatin1String("extract"))
        arguments.append(path("out"));
    const Result result = cli(arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("error 21: m.dat: The entry uses a compression method or format "
                                                "version this reader does not support. (compression method 12)")),
             qPrintable(result.err));
    const QStringList out = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(out.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(out.at(i).startsWith(lines.at(i)), qPrintable(out.at(i)));
    if (action == QLatin1String("extract"))
        QCOMPARE(CZipTestFiles::filesBelow(path("out")).size(), 2);
}

void TestZipCli::create_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("encrypted");
    QTest::newRow("defaults") << QStringList()
                              << QStringList({"nav/", "nav/sub/", "nav/sub/x.dat", "nav/y.dat", "solo/z.txt"})
                              << int(UnZip::Deflated) << false;
    QTest::newRow("flat, stored, password") << QStringList({"--flat", "--level", "0", "--password", "pw"})
                                            << QStringList({"x.dat", "y.dat", "z.txt"}) << int(UnZip::Stored) << true;
}

void TestZipCli::create()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, names);
    QFETCH(int, method);
    QFETCH(bool, encrypted);
    QVERIFY(CZipTestFiles::writeFile(path("nav/sub/x.dat"), navText(2000)));
    QVERIFY(CZipTestFiles::writeFile(path("nav/y.dat"), navText(2400)));
    QVERIFY(CZipTestFiles::writeFile(path("solo/z.txt"), navText(2800)));
    const QString archive = path("new.zip");
    const Result result =
        cli(QStringList({QStringLiteral("create"), archive, QStringLiteral("nav"), QStringLiteral("solo/z.txt"),
                         QStringLiteral("--comment"), QStringLiteral("made by the test")}) +
            options);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));

    UnZip unzip;
    unzip.setPassword(QStringLiteral("pw"));
    QCOMPARE(unzip.open(archive), UnZip::Ok);
    QCOMPARE(unzip.entryNames(), names);
    QCOMPARE(unzip.archiveComment(), QStringLiteral("made by the test"));
    QCOMPARE(unzip.verify(), UnZip::Ok);
    for (const UnZip::EntryInfo& entry : unzip.entries()) {
        if (entry.type == UnZip::FileEntry) {
            QCOMPARE(int(entry.compression), method);
            QCOMPARE(entry.encrypted, encrypted);
        }
    }
}

void TestZipCli::createRefusesToOverwrite()
{
    QVERIFY(CZipTestFiles::writeFile(path("y.dat"), navText(2400)));
    const QString archive = path("old.zip");
    QVERIFY(CZipTestFiles::writeFile(archive, "keep me"));
    const Result refused = cli({QStringLiteral("create"), archive, QStringLiteral("y.dat")});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.startsWith(QStringLiteral("error 3: ")), qPrintable(refused.err));
    QCOMPARE(CZipTestFiles::readFile(archive), QByteArray("keep me"));

    const Result replaced =
        cli({QStringLiteral("create"), archive, QStringLiteral("y.dat"), QStringLiteral("--overwrite")});
    QCOMPARE(replaced.exitCode, 0);
    UnZip unzip;
    QCOMPARE(unzip.open(archive), UnZip::Ok);
    QCOMPARE(unzip.entryNames().size(), 1);
}

void TestZipCli::createFailureKeepsArchive_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << "gone.dat" << QStringList()
                                  << "error 6: gone.dat: File or directory does not exist."
                                  << "";
    QTest::newRow("file of 4 GiB") << "huge.dat" << QStringList() << "error 8: huge.dat: File write error. "
                                   << "huge.dat is 4 GiB or larger, which needs ZIP64.";
    QTest::newRow("named pipe") << "pipe" << QStringList()
                                << "error 12: pipe: Not a regular file (a pipe, socket or device)."
                                << "";
    QTest::newRow("password beyond Latin-1")
        << "y.dat" << QStringList({"--password", QStringLiteral("\u0142\u00f3d\u017a")})
        << "error 13: --password: The password has characters outside Latin-1"
        << "";
}

void TestZipCli::createFailureKeepsArchive()
{
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    QFETCH(QString, reason);
    QVERIFY(CZipTestFiles::writeFile(path("y.dat"), navText(2400)));
    if (source == QLatin1String("huge.dat")) {
        QFile huge(path(source)); // sparse: costs no disk
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(Q_INT64_C(4) << 30));
    }
#ifdef Q_OS_UNIX
    if (source == QLatin1String("pipe"))
        QCOMPARE(mkfifo(QFile::encodeName(path(source)).constData(), 0600), 0);
#endif
    const QString archive = path("old.zip");
    QVERIFY(CZipTestFiles::writeFile(archive, "keep me"));
    // A file of the name the writer once used for its unfinished archive: not its to overwrite.
    QVERIFY(CZipTestFiles::writeFile(archive + QStringLiteral(".partial"), "not yours"));
    const QStringList before = QDir(data().path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
    const Result result = cli(QStringList({QStringLiteral("create"), archive, QStringLiteral("y.dat"), source,
                                           QStringLiteral("--overwrite")}) +
                              options);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.startsWith(error) && result.err.contains(reason), qPrintable(result.err));
    QCOMPARE(CZipTestFiles::readFile(archive), QByteArray("keep me"));
    QCOMPARE(CZipTestFiles::readFile(archive + QStringLiteral(".partial")), QByteArray("not yours"));
    QCOMPARE(QDir(data().path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), before);
}

void TestZipCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no action") << QStringList();
    QTest::newRow("unknown action") << QStringList({"pack", "a.zip"});
    QTest::newRow("list without archive") << QStringList({"list"});
    QTest::newRow("extract without folder") << QStringList({"extract", "a.zip"});
    QTest::newRow("create without paths") << QStringList({"create", "a.zip"});
    QTest::newRow("level out of range") << QStringList({"create", "a.zip", "x", "--level", "10"});
    QTest::newRow("unknown option") << QStringList({"list", "a.zip", "--fast"});
}

void TestZipCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Result result = cli(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(!result.err.isEmpty());
    QVERIFY(!QFile::exists(path("a.zip")));
}

QTEST_GUILESS_MAIN(TestZipCli)
#include "tst_zipcli.moc"
