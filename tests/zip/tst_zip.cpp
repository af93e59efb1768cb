// The writer: what it puts into each record, how it names entries, and that the reader gets back every byte.

#include "cdatadirtest.h"
#include "crawzip.h"
#include "cziptestfiles.h"
#include "zip/czipkeys.h"
#include "zip/czippacker.h"
#include "zip/unzip.h"
#include "zip/zip.h"

#include <QBuffer>
#include <QtTest>

#include <filesystem>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{
const auto navText = &CZipTestFiles::text;
const auto noise = [](int size) { return CZipTestFiles::noise(size); };

// The names the reader lists, or "<unreadable>" when the archive does not open.
QStringList entryNames(const QString& archive)
{
    UnZip unzip;
    return unzip.open(archive) == UnZip::Ok ? unzip.entryNames() : QStringList({"<unreadable>"});
}

// A device that accepts `limit` bytes and then fails every write: a full disk.
class CFullDevice : public QBuffer
{
public:
    explicit CFullDevice(qint64 limit)
        : m_limit(limit)
    {
    }

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        if (pos() + size > m_limit)
            return -1;
        return QBuffer::writeData(data, size);
    }

private:
    qint64 m_limit;
};
} // namespace

class TestZip : public CDataDirTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileEntryNames_data();
    void fileEntryNames();
    void emptyArchive();
    void missingSources_data();
    void missingSources();
    void duplicatesSkipped();
    void entryNameTakenOnce_data();
    void entryNameTakenOnce();
    void entryLimit();
    void notRegularFile();
    void replacesArchiveOnlyWhenComplete();
    void parallelPacking_data();
    void parallelPacking();
    void cancelInTheMiddle();
    void fileChangedWhilePacked_data();
    void fileChangedWhilePacked();
    void archiveNotAddedToItself();
    void commentAndTime();
    void fullDevice();
    void deviceDestroyed();

private:
    QString path(const QString& name) const { return data().filePath(name); }
};

void TestZip::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaray.zip.debug=false"));
}

void TestZip::fileEntryNames_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("expected"); // "%abs" stands for the folder's absolute path without leading "/"
    QTest::newRow("4, no root") << "" << int(Zip::IgnorePaths) << "wpt.dat";
    QTest::newRow("1, no root") << "" << int(Zip::RelativePaths) << "nav/wpt.dat";
    QTest::newRow("8, no root") << "" << int(Zip::RelativeToFolder) << "wpt.dat";
    QTest::newRow("2, no root") << "" << int(Zip::AbsolutePaths) << "%abs/wpt.dat";
    QTest::newRow("no option bits") << "" << 0 << "nav/wpt.dat";
    QTest::newRow("1, root") << "pkg" << int(Zip::RelativePaths) << "pkg/nav/wpt.dat";
    QTest::newRow("4, root with slashes") << "pkg///" << int(Zip::IgnorePaths) << "pkg/wpt.dat";
    QTest::newRow("4, root with backslash") << "pkg\\" << int(Zip::IgnorePaths) << "pkg/wpt.dat";
    QTest::newRow("4 wins over 1") << "" << int(Zip::IgnorePaths | Zip::RelativePaths) << "wpt.dat";
}

void TestZip::fileEntryNames()
{
    QFETCH(QString, root);
    QFETCH(int, options);
    QFETCH(QString, expected);
    const QString source = path("data/nav/wpt.dat");
    QVERIFY(CZipTestFiles::writeFile(source, "WPT"));
    expected.replace(QStringLiteral("%abs"), QFileInfo(source).absolutePath().mid(1));
    Zip zip;
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addFile(source, root, Zip::CompressionOptions(options)), Zip::Ok);
    QCOMPARE(zip.addFileAs(source, QStringLiteral("explicit/name.dat"), Zip::CompressionOptions(options)), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    QStringList names = {expected, QStringLiteral("explicit/name.dat")};
    names.sort();
    QCOMPARE(entryNames(path("a.zip")), names);
}

void TestZip::emptyArchive()
{
    {
        Zip zip;
        QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    } // destruction writes the directory
    // The end record alone: no entries, the directory at offset 0, no comment.
    QCOMPARE(CZipTestFiles::readFile(path("a.zip")), QByteArray("PK\5\6", 4) + QByteArray(18, '\0'));
    QCOMPARE(entryNames(path("a.zip")), QStringList());
}

void TestZip::missingSources_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("fails") << int(Zip::IgnorePaths) << int(Zip::FileNotFound) << QStringList();
    QTest::newRow("skipped with 0x20") << int(Zip::IgnorePaths | Zip::SkipBadFiles) << int(Zip::Ok)
                                       << QStringList({"a.txt", "b.txt"});
}

void TestZip::missingSources()
{
    QFETCH(int, options);
    QFETCH(int, code);
    QFETCH(QStringList, names);
    QVERIFY(CZipTestFiles::writeFile(path("a.txt"), "a"));
    QVERIFY(CZipTestFiles::writeFile(path("b.txt"), "b"));
    Zip zip;
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(int(zip.addFiles({path("a.txt"), path("gone.txt"), path("b.txt")}, QString(),
                              Zip::CompressionOptions(options))),
             code);
    QCOMPARE(zip.skippedFiles().size(), code == Zip::Ok ? 1 : 0);
    QCOMPARE(int(zip.addDirectory(path("gone"), QString(), Zip::CompressionOptions(options))), code);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(entryNames(path("a.zip")), names);
}

void TestZip::duplicatesSkipped()
{
    QVERIFY(CZipTestFiles::writeFile(path("x/a.txt"), navText(500)));
    Zip zip;
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addFile(path("x/a.txt"), QString(), Zip::IgnorePaths), Zip::Ok);
    QCOMPARE(zip.addFile(path("x/a.txt"), QStringLiteral("again"), Zip::IgnorePaths | Zip::SkipDuplicates), Zip::Ok);
    // Same path but a new size: no longer the same file.
    QVERIFY(CZipTestFiles::writeFile(path("x/a.txt"), navText(600)));
    QCOMPARE(zip.addFile(path("x/a.txt"), QStringLiteral("changed"), Zip::IgnorePaths | Zip::SkipDuplicates), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(entryNames(path("a.zip")), QStringList({"a.txt", "changed/a.txt"}));
}

void TestZip::entryNameTakenOnce_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("explicitName");
    QTest::addColumn<QString>("entryName");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("entries");
    const QStringList first = {"wpt.dat"};
    QTest::newRow("another name") << "b/wpt.dat" << true << "nav/wpt.dat" << int(Zip::Ok)
                                  << QStringList({"nav/wpt.dat", "wpt.dat"});
    QTest::newRow("the same name") << "b/wpt.dat" << true << "wpt.dat" << int(Zip::DuplicateEntryName) << first;
    QTest::newRow("the same file name, paths ignored")
        << "b/wpt.dat" << false << "" << int(Zip::DuplicateEntryName) << first;
    QTest::newRow("name climbs out") << "b/wpt.dat" << true << "../wpt.dat" << int(Zip::InvalidEntryName) << first;
    QTest::newRow("absolute name") << "b/wpt.dat" << true << "/tmp/wpt.dat" << int(Zip::InvalidEntryName) << first;
    QTest::newRow("empty name") << "b/wpt.dat" << true << "" << int(Zip::InvalidEntryName) << first;
    QTest::newRow("a folder") << "b" << true << "b.dat" << int(Zip::NotRegularFile) << first;
}

void TestZip::entryNameTakenOnce()
{
    QFETCH(QString, source);
    QFETCH(bool, explicitName);
    QFETCH(QString, entryName);
    QFETCH(int, code);
    QFETCH(QStringList, entries);
    QVERIFY(CZipTestFiles::writeFile(path("a/wpt.dat"), navText(3000)));
    QVERIFY(CZipTestFiles::writeFile(path("b/wpt.dat"), navText(2000)));
    Zip zip;
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addFileAs(path("a/wpt.dat"), QStringLiteral("wpt.dat")), Zip::Ok);
    const Zip::ErrorCode ec =
        explicitName ? zip.addFileAs(path(source), entryName) : zip.addFile(path(source), QString(), Zip::IgnorePaths);
    QCOMPARE(int(ec), code);
    if (code != Zip::Ok)
        QVERIFY(zip.errorDetail().contains(path(source)) || zip.errorDetail().contains(entryName));
    QCOMPARE(zip.close(), Zip::Ok);

    // The first file is kept as it was, and nothing was written for a refused one: the central directory
    // starts where the last listed entry ends.
    const QByteArray archive = CZipTestFiles::readFile(path("a.zip"));
    const CRawCentralDirectory directory = parseCentralDirectory(archive);
    qint64 end = 0;
    for (const CRawCentralEntry& entry : directory.entries)
        end = std::max<qint64>(end, entry.localOffset + 30 + entry.name.size() + entry.compressedSize);
    QCOMPARE(qint64(readLe32(archive, archive.size() - 22 + 16)), end);
    UnZip unzip;
    QCOMPARE(unzip.open(path("a.zip")), UnZip::Ok);
    QCOMPARE(unzip.entryNames(), entries);
    QCOMPARE(unzip.extractAll(path("out")), UnZip::Ok);
    QCOMPARE(CZipTestFiles::readFile(path("out/wpt.dat")), navText(3000));
}

void TestZip::entryLimit()
{
    // 65,535 entries is the most an end record without ZIP64 can count.
    QVERIFY(CZipTestFiles::writeFile(path("e.dat"), QByteArray()));
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    Zip zip;
    QCOMPARE(zip.create(&buffer), Zip::Ok);
    QList<Zip::NamedFile> files;
    for (int i = 0; i <= 0xFFFF; ++i)
        files.append({path("e.dat"), QString::number(i)});
    QCOMPARE(zip.addFilesAs(files), Zip::WriteFailed);
    QVERIFY2(zip.errorDetail().contains(QStringLiteral("65,535 entries")), qPrintable(zip.errorDetail()));
    QCOMPARE(zip.close(), Zip::Ok);
    UnZip unzip;
    QCOMPARE(unzip.open(&buffer), UnZip::Ok);
    QCOMPARE(unzip.entryNames().size(), 0xFFFF);
}

void TestZip::notRegularFile()
{
#ifdef Q_OS_UNIX
    // Opening a pipe for reading waits for a writer that never comes.
    QVERIFY(CZipTestFiles::writeFile(path("tree/a.dat"), navText(100)));
    QCOMPARE(mkfifo(QFile::encodeName(path("tree/pipe")).constData(), 0600), 0);
    Zip zip;
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addFile(path("tree/pipe")), Zip::NotRegularFile);
    QCOMPARE(int(zip.addDirectory(path("tree"))), int(Zip::NotRegularFile));
    QVERIFY(zip.errorDetail().contains(QStringLiteral("pipe")));
    QCOMPARE(zip.addDirectory(path("tree"), QStringLiteral("skipped"), Zip::RelativePaths | Zip::SkipBadFiles),
             Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(entryNames(path("a.zip")), QStringList({"skipped/tree/", "skipped/tree/a.dat", "tree/", "tree/a.dat"}));
#else
    QSKIP("named pipes are a Unix test");
#endif
}

void TestZip::replacesArchiveOnlyWhenComplete()
{
    const QString archive = path("backup.zip");
    QVERIFY(CZipTestFiles::writeFile(archive, "the old backup"));
    QVERIFY(CZipTestFiles::writeFile(path("a.dat"), navText(5000)));
    Zip zip;
    QCOMPARE(zip.create(archive, true), Zip::Ok);
    QCOMPARE(zip.addFile(path("a.dat")), Zip::Ok);
    QCOMPARE(CZipTestFiles::readFile(archive), QByteArray("the old backup"));
    zip.discard();
    QVERIFY(!zip.isOpen());
    QCOMPARE(CZipTestFiles::tree(data().path()),
             (QMap<QString, QByteArray>{{"a.dat", navText(5000)}, {"backup.zip", "the old backup"}}));

    QCOMPARE(zip.create(archive, true), Zip::Ok);
    QCOMPARE(zip.addFile(path("a.dat")), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(CZipTestFiles::filesBelow(data().path()), QStringList({"a.dat", "backup.zip"}));
    UnZip unzip;
    QCOMPARE(unzip.open(archive), UnZip::Ok);
    QCOMPARE(unzip.verify(), UnZip::Ok);
}

namespace
{
// The writer packs entries up to 4 MiB whole and larger ones in blocks of 1 MiB, each primed with the
// 32 KiB before it.
constexpr int MiB = 1024 * 1024;

// Archives of the same inputs from `threads` packing threads.
QByteArray pack(const QString& folder, int threads, const QString& password, int level)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    Zip zip;
    zip.setThreadCount(threads);
    zip.setPassword(password);
    if (zip.create(&buffer) != Zip::Ok ||
        zip.addDirectory(folder, QString(), Zip::RelativeToFolder, Zip::CompressionLevel(level)) != Zip::Ok ||
        zip.close() != Zip::Ok)
        return QByteArray();
    return buffer.data();
}

// Each entry's data decrypted, its encryption header's ten random bytes dropped; the bytes around the
// data unchanged. Two archives that differ only in those random bytes come out the same.
QByteArray withoutRandomBytes(const QByteArray& archive, const QByteArray& password)
{
    QByteArray out = archive;
    for (const CRawCentralEntry& entry : parseCentralDirectory(archive).entries) {
        if (!(entry.flags & 1))
            continue;
        const int data = static_cast<int>(entry.localOffset + 30 + entry.name.size());
        CZipKeys keys(password);
        keys.decrypt(reinterpret_cast<unsigned char*>(out.data()) + data, entry.compressedSize);
        out.replace(data, 10, QByteArray(10, '\0'));
    }
    return out;
}
} // namespace

void TestZip::parallelPacking_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("level");
    QTest::newRow("largest whole entry") << 4 * MiB << 6;
    QTest::newRow("smallest entry in blocks: a last block of one byte") << 4 * MiB + 1 << 6;
    QTest::newRow("five whole blocks") << 5 * MiB << 6;
    QTest::newRow("stored in blocks") << 4 * MiB + 1 << 0;
    QTest::newRow("level 9 in blocks") << 5 * MiB + 1 << 9;
}

void TestZip::parallelPacking()
{
    QFETCH(int, size);
    QFETCH(int, level);
    // Text with long repeats (matches reach back across block ends) and a stretch of noise.
    QByteArray data = navText(size - 100 * 1024) + noise(100 * 1024);
    QVERIFY(CZipTestFiles::writeFile(path("src/big.dat"), data));
    QVERIFY(CZipTestFiles::writeFile(path("src/sub/small.txt"), navText(70 * 1024)));

    // Without a password: the same bytes whatever the number of threads.
    const QByteArray one = pack(path("src"), 1, QString(), level);
    QVERIFY(!one.isEmpty());
    QCOMPARE(pack(path("src"), 3, QString(), level), one);
    // With one: the same but for the random bytes of the encryption headers.
    const QByteArray secret = pack(path("src"), 1, QStringLiteral("pw"), level);
    const QByteArray secret3 = pack(path("src"), 3, QStringLiteral("pw"), level);
    QVERIFY(secret != secret3);
    QCOMPARE(withoutRandomBytes(secret3, "pw"), withoutRandomBytes(secret, "pw"));

    for (const QByteArray& archive : {one, secret3}) {
        QBuffer buffer;
        buffer.setData(archive);
        UnZip unzip;
        unzip.setPassword(QStringLiteral("pw"));
        QCOMPARE(unzip.open(&buffer), UnZip::Ok);
        // Named below the folder, without its own name (how a folder's entries are named with options 1 and
        // 4: tst_zipcli's create).
        QCOMPARE(unzip.entryNames(), QStringList({"big.dat", "sub/", "sub/small.txt"}));
        QCOMPARE(unzip.verify(), UnZip::Ok);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QCOMPARE(unzip.extractFile(QStringLiteral("big.dat"), &out), UnZip::Ok);
        QVERIFY(out.data() == data);
    }
}

void TestZip::cancelInTheMiddle()
{
    for (int i = 0; i < 12; ++i)
        QVERIFY(CZipTestFiles::writeFile(path(QStringLiteral("src/%1.dat").arg(i)), navText(3 * MiB / 2 + i)));
    QVERIFY(CZipTestFiles::writeFile(path("src/zz-big.dat"), navText(6 * MiB)));
    const QString archive = path("backup.zip");
    QVERIFY(CZipTestFiles::writeFile(archive, "the old backup"));
    const auto threads = [] { return QDir(QStringLiteral("/proc/self/task")).count(); };
    const uint before = threads();

    Zip zip;
    QCOMPARE(zip.create(archive, true), Zip::Ok);
    // The first written entry lets another thread cancel, and waits until it has.
    QSemaphore written, cancelled;
    std::thread canceller([&] {
        written.acquire();
        zip.cancel();
        cancelled.release();
    });
    int calls = 0;
    zip.setProgressHandler([&](int, int) {
        if (++calls == 1) {
            written.release();
            cancelled.acquire();
        }
    });
    QCOMPARE(zip.addDirectory(path("src")), Zip::Cancelled);
    canceller.join();
    QCOMPARE(calls, 1);
    QVERIFY(!zip.isOpen());
    QCOMPARE(zip.close(), Zip::Ok);
    // The old archive as it was, nothing else beside it, and no packing thread left.
    QCOMPARE(CZipTestFiles::readFile(archive), QByteArray("the old backup"));
    QCOMPARE(QDir(data().path()).entryList(QDir::Files | QDir::Hidden), QStringList({"backup.zip"}));
    // QThread's wait() returns as the thread ends its run; the system thread is gone a moment later.
    if (QFileInfo::exists(QStringLiteral("/proc/self/task")))
        QTRY_COMPARE(threads(), before);
    QCOMPARE(zip.addFile(path("src/1.dat")), Zip::Cancelled);
    QCOMPARE(zip.create(archive, true), Zip::Ok);
    QCOMPARE(zip.addFile(path("src/1.dat")), Zip::Ok);
}

void TestZip::fileChangedWhilePacked_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("renamed over between two blocks: the first version, whole") << false;
    QTest::newRow("written in place between two blocks: refused") << true;
}

// A large file is read in blocks, possibly long after its first one: whatever happens to the file meanwhile,
// its entry holds one version of it or the add fails naming it, never the start of one and the end of another.
void TestZip::fileChangedWhilePacked()
{
    QFETCH(bool, inPlace);
    const QString big = path("src/big.dat");
    const QByteArray first = navText(6 * MiB);
    const QByteArray second(first.size(), 'z');
    QVERIFY(CZipTestFiles::writeFile(big, first));
    QVERIFY(CZipTestFiles::writeFile(path("src/small.dat"), navText(3000)));
    bool changed = false;
    CZipPacker::setBeforeBlockRead([&](const QString& file, qint64 offset) {
        if (changed || offset < 2 * MiB || QFileInfo(file) != QFileInfo(big))
            return;
        changed = true;
        if (inPlace) {
            QFile out(big);
            out.open(QIODevice::ReadWrite);
            out.write(second);
        } else {
            CZipTestFiles::writeFile(big + QStringLiteral(".new"), second);
            std::filesystem::rename(QFile::encodeName(big + QStringLiteral(".new")).toStdString(),
                                    QFile::encodeName(big).toStdString());
        }
    });
    const auto noHook = qScopeGuard([] { CZipPacker::setBeforeBlockRead({}); });

    Zip zip;
    zip.setThreadCount(1); // blocks in order: the first ones are read before the file changes
    QCOMPARE(zip.create(path("out.zip")), Zip::Ok);
    const Zip::ErrorCode added =
        zip.addFilesAs({{path("src/small.dat"), QStringLiteral("small.dat")}, {big, QStringLiteral("big.dat")}});
    QVERIFY(changed);
    if (inPlace) {
        QCOMPARE(added, Zip::ReadFailed);
        QVERIFY2(zip.errorDetail().contains(big), qPrintable(zip.errorDetail()));
        return;
    }
    QCOMPARE(added, Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    UnZip unzip;
    QCOMPARE(unzip.open(path("out.zip")), UnZip::Ok);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QCOMPARE(unzip.extractFile(QStringLiteral("big.dat"), &out), UnZip::Ok);
    QVERIFY(out.data() == first);
}

void TestZip::archiveNotAddedToItself()
{
    QVERIFY(CZipTestFiles::writeFile(path("tree/a.txt"), navText(3000)));
    Zip zip;
    QCOMPARE(zip.create(path("tree/self.zip")), Zip::Ok);
    QCOMPARE(zip.addDirectory(path("tree")), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(entryNames(path("tree/self.zip")), QStringList({"tree/", "tree/a.txt"}));
}

void TestZip::commentAndTime()
{
    const QString source = path("t.txt");
    QVERIFY(CZipTestFiles::writeFile(source, navText(300)));
    const QDateTime stamp(QDate(2021, 6, 30), QTime(8, 15, 43), Qt::LocalTime);
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    Zip zip;
    zip.setArchiveComment(QStringLiteral("AIRAC 2107 caf\u00e9"));
    QCOMPARE(zip.create(path("a.zip")), Zip::Ok);
    QCOMPARE(zip.addFile(source, QString(), Zip::IgnorePaths), Zip::Ok);
    QCOMPARE(zip.close(), Zip::Ok);

    QCOMPARE(parseCentralDirectory(CZipTestFiles::readFile(path("a.zip"))).comment, QByteArray("AIRAC 2107 caf\xe9"));
    UnZip unzip;
    QCOMPARE(unzip.open(path("a.zip")), UnZip::Ok);
    QCOMPARE(unzip.archiveComment(), QStringLiteral("AIRAC 2107 caf\u00e9"));
    QCOMPARE(unzip.entries().first().lastModified, stamp.addSecs(-1)); // two-second steps
    QCOMPARE(unzip.extractAll(path("out")), UnZip::Ok);
    QCOMPARE(QFileInfo(path("out/t.txt")).lastModified(), stamp.addSecs(-1));
}

void TestZip::fullDevice()
{
    QVERIFY(CZipTestFiles::writeFile(path("small.txt"), navText(100)));
    QVERIFY(CZipTestFiles::writeFile(path("big.bin"), noise(200 * 1024)));
    CFullDevice device(64 * 1024);
    QVERIFY(device.open(QIODevice::ReadWrite));
    Zip zip;
    QCOMPARE(zip.create(&device), Zip::Ok);
    QCOMPARE(zip.addFile(path("small.txt"), QString(), Zip::IgnorePaths), Zip::Ok);
    QCOMPARE(zip.addFile(path("big.bin"), QString(), Zip::IgnorePaths, Zip::Store), Zip::WriteFailed);
    QVERIFY2(zip.errorDetail().contains(QStringLiteral("big.bin")), qPrintable(zip.errorDetail()));
    QCOMPARE(zip.close(), Zip::Ok);
    // The failed entry's bytes stay, but the directory lists only the complete one.
    device.close();
    QBuffer written(&device.buffer());
    UnZip unzip;
    QCOMPARE(unzip.open(&written), UnZip::Ok);
    QCOMPARE(unzip.entryNames(), QStringList({"small.txt"}));
    QCOMPARE(unzip.verify(), UnZip::Ok);
}

void TestZip::deviceDestroyed()
{
    QVERIFY(CZipTestFiles::writeFile(path("a.txt"), navText(100)));
    auto* buffer = new QBuffer;
    Zip zip;
    QCOMPARE(zip.create(buffer), Zip::Ok);
    QCOMPARE(zip.addFile(path("a.txt")), Zip::Ok);
    delete buffer;
    QVERIFY(!zip.isOpen());
    QCOMPARE(zip.addFile(path("a.txt")), Zip::NoOpenArchive);
    QCOMPARE(zip.close(), Zip::Ok);
    QCOMPARE(zip.create(static_cast<QIODevice*>(nullptr)), Zip::OpenFailed);
}

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
