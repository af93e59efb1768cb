// Archives from Info-ZIP zip read by our reader, and archives from our writer read by Info-ZIP unzip, byte
// for byte: the check that the format is right, not only self-consistent.

#include "cdatadirtest.h"
#include "crawzip.h"
#include "cziptestfiles.h"
#include "zip/unzip.h"
#include "zip/zip.h"

#include <QProcess>
#include <QtTest>

namespace
{
const QString Password = QStringLiteral("n4v-s3cret");

struct Run
{
    int exitCode = -1;
    QByteArray output;
};

// Runs a shell command line in `directory`, in a UTF-8 locale so that the tools treat names alike.
Run shell(const QString& directory, const QString& command, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.setWorkingDirectory(directory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAll();
    return run;
}
} // namespace

class TestZipInterop : public CDataDirTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readInfoZip_data();
    void readInfoZip();
    void writeForInfoZip_data();
    void writeForInfoZip();
    void nonAsciiNamesBothWays();

private:
    void makeSources();
    QString path(const QString& name) const { return data().filePath(name); }
    QMap<QString, QByteArray> m_sources; // below "src"
};

void TestZipInterop::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.zip.debug=false"));
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("Info-ZIP zip and unzip are not installed (scripts/setup installs them)");
}

void TestZipInterop::init()
{
    CDataDirTest::init();
    makeSources();
}

void TestZipInterop::makeSources()
{
    const QByteArray text = CZipTestFiles::text(900 * 1024);
    const QByteArray random = CZipTestFiles::noise(400 * 1024, 7);
    // Beyond 4 MiB our writer packs in primed blocks that join into one stream.
    QByteArray global;
    while (global.size() < 5 * 1024 * 1024 + 1)
        global += text.mid(global.size() % 7919, 300 * 1024) + random.left(4096);
    global.truncate(5 * 1024 * 1024 + 1);
    m_sources = {{QStringLiteral("nav/global.dat"), global},
                 {QStringLiteral("nav/proc/EDDF.txt"), text},
                 {QStringLiteral("nav/blob.bin"), random},
                 {QStringLiteral("nav/59.txt"), QByteArray(59, 'x')},
                 {QStringLiteral("nav/60.txt"), QByteArray(60, 'y')},
                 {QStringLiteral("nav/empty.dat"), QByteArray()}};
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it)
        QVERIFY(CZipTestFiles::writeFile(path(QStringLiteral("src/") + it.key()), it.value()));
}

void TestZipInterop::readInfoZip_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("comment");
    QTest::newRow("deflated") << "zip -q -r ../a.zip nav" << false << "";
    QTest::newRow("stored") << "zip -q -r -0 ../a.zip nav" << false << "";
    QTest::newRow("password") << "zip -q -r -P " + Password + " ../a.zip nav" << true << "";
    QTest::newRow("stored with password") << "zip -q -r -0 -P " + Password + " ../a.zip nav" << true << "";
    QTest::newRow("comment") << "zip -q -r -z ../a.zip nav" << false << "AIRAC 2401\nrevision 3";
    // Written to a pipe, zip cannot seek back: every entry gets a data descriptor.
    QTest::newRow("streamed") << "zip -q -r - nav | cat > ../a.zip" << false << "";
    QTest::newRow("streamed with password") << "zip -q -r -P " + Password + " - nav | cat > ../a.zip" << true << "";
}

void TestZipInterop::readInfoZip()
{
    QFETCH(QString, command);
    QFETCH(bool, encrypted);
    QFETCH(QString, comment);
    const Run made = shell(path("src"), command, comment.toUtf8() + "\n.\n");
    QVERIFY2(made.exitCode == 0, made.output.constData());

    const QByteArray archive = CZipTestFiles::readFile(path("a.zip"));
    const CRawCentralDirectory raw = parseCentralDirectory(archive);
    if (command.contains(QLatin1String("| cat"))) {
        const CRawCentralEntry* big = raw.find("nav/proc/EDDF.txt");
        QVERIFY(big && (big->flags & 0x0008));
    }

    UnZip unzip;
    unzip.setPassword(Password);
    QCOMPARE(unzip.open(path("a.zip")), UnZip::Ok);
    QCOMPARE(unzip.skippedEntryCount(), 0);
    if (!comment.isEmpty())
        QCOMPARE(unzip.archiveComment().trimmed().replace(QLatin1String("\r\n"), QLatin1String("\n")),
                 comment); // zip writes CRLF
    for (const UnZip::EntryInfo& entry : unzip.entries()) {
        if (entry.type == UnZip::FileEntry)
            QCOMPARE(entry.encrypted, encrypted);
    }
    QCOMPARE(unzip.verify(), UnZip::Ok);
    QCOMPARE(unzip.extractAll(path("out")), UnZip::Ok);
    QCOMPARE(CZipTestFiles::tree(path("out")), m_sources);
    // Modification times survive to the second (DOS time has two-second steps).
    const QDateTime source = QFileInfo(path("src/nav/proc/EDDF.txt")).lastModified();
    const QDateTime extracted = QFileInfo(path("out/nav/proc/EDDF.txt")).lastModified();
    QVERIFY(qAbs(source.secsTo(extracted)) <= 2);

    if (encrypted) {
        // The password check of the traditional encryption is one byte: a wrong password passes it for one
        // entry in 256 (the header bytes are random), and that entry then fails to inflate or its CRC.
        unzip.setPassword(QStringLiteral("n4v-s3cres"));
        const int code = unzip.verify();
        QVERIFY2(code == UnZip::SkipEntry || code == UnZip::ZlibError || code == UnZip::Corrupted,
                 qPrintable(UnZip::errorText(code)));
    }
}

void TestZipInterop::writeForInfoZip_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("comment");
    QTest::newRow("level 6") << 6 << ""
                             << "";
    QTest::newRow("level 6, password") << 6 << Password << "";
    QTest::newRow("stored, password") << 0 << Password << "";
    QTest::newRow("level 9, comment") << 9 << ""
                                      << "backup of 2024-05-01";
    QTest::newRow("level 1, password, comment") << 1 << Password << "AIRAC 2405";
}

void TestZipInterop::writeForInfoZip()
{
    QFETCH(int, level);
    QFETCH(QString, password);
    QFETCH(QString, comment);
    Zip zip;
    zip.setPassword(password);
    zip.setArchiveComment(comment);
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addDirectory(path("src/nav"), QString(), Zip::RelativePaths, Zip::CompressionLevel(level)), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);

    const QString passwordOption = password.isEmpty() ? QString() : QStringLiteral("-P ") + password + QLatin1Char(' ');
    const Run tested = shell(path(QString()), QStringLiteral("unzip ") + passwordOption + QStringLiteral("-t a.zip"));
    QVERIFY2(tested.exitCode == 0, tested.output.constData());
    QVERIFY(tested.output.contains("No errors detected"));
    const Run extracted =
        shell(path(QString()), QStringLiteral("unzip -q ") + passwordOption + QStringLiteral("a.zip -d out"));
    QVERIFY2(extracted.exitCode == 0, extracted.output.constData());
    QCOMPARE(CZipTestFiles::tree(path("out")), m_sources);
    if (!comment.isEmpty()) {
        const Run shown = shell(path(QString()), QStringLiteral("unzip -z a.zip"));
        QVERIFY2(shown.output.contains(comment.toUtf8()), shown.output.constData());
    }
    if (!password.isEmpty()) {
        const Run wrong = shell(path(QString()), QStringLiteral("unzip -P wrong -t a.zip"));
        QVERIFY(wrong.exitCode != 0);
    }
}

void TestZipInterop::nonAsciiNamesBothWays()
{
    const QString latin = QStringLiteral("Z\u00fcrich.dat");
    const QString polish = QStringLiteral("\u0141\u00f3d\u017a.dat");
    QVERIFY(CZipTestFiles::writeFile(path(QStringLiteral("names/") + latin), "latin"));
    QVERIFY(CZipTestFiles::writeFile(path(QStringLiteral("names/") + polish), "polish"));
    const QMap<QString, QByteArray> expected = {{QStringLiteral("names/") + latin, "latin"},
                                                {QStringLiteral("names/") + polish, "polish"}};

    // Info-ZIP on Linux stores the names' UTF-8 bytes without flag bit 11.
    Run run = shell(path(QString()), QStringLiteral("zip -q -r iz.zip names"));
    QVERIFY2(run.exitCode == 0, run.output.constData());
    UnZip unzip;
    QCOMPARE(unzip.open(path("iz.zip")), UnZip::Ok);
    QCOMPARE(unzip.extractAll(path("ours")), UnZip::Ok);
    QCOMPARE(CZipTestFiles::tree(path("ours")), expected);

    Zip zip;
    QCOMPARE(zip.create(path("our.zip")), Zip::Ok);
    QCOMPARE(zip.addDirectory(path("names")), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    run = shell(path(QString()), QStringLiteral("unzip -q our.zip -d theirs"));
    QVERIFY2(run.exitCode == 0, run.output.constData());
    QCOMPARE(CZipTestFiles::tree(path("theirs")), expected);
}

QTEST_GUILESS_MAIN(TestZipInterop)
#include "tst_zipinterop.moc"
