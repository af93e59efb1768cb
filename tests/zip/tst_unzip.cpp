// The reader against archives built byte by byte: the end-record search, skipped entries, header checks,
// passwords, damaged data, extraction options and names that would leave the target folder.

#include "cdatadirtest.h"
#include "crawzip.h"
#include "cziptestfiles.h"
#include "zip/unzip.h"
#include <zlib.h>

#include <QBuffer>
#include <QtTest>

#include <cstdio>
#include <functional>

namespace
{
using Entry = CRawZipBuilder::Entry;
const auto text = &CZipTestFiles::text;

QByteArray le(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>(i < 4 ? (value >> (8 * i)) & 0xFF : 0));
    return out;
}

// The zip bomb of overlapping entries: entry i's deflate data opens with a stored block that quotes entry
// i+1's local header and then runs on through entry i+1's data, down to one kernel shared by all. Every
// entry is a valid deflate stream with a right CRC, and `entries` entries unpack the kernel `entries` times.
QByteArray overlapBomb(int entries, const QByteArray& kernelPlain)
{
    QByteArray data = CRawZipBuilder::deflateRaw(kernelPlain, 9); // entry i's, built from the last entry back
    quint32 crc = CRawZipBuilder::crc(kernelPlain);
    quint32 plain = static_cast<quint32>(kernelPlain.size());
    QByteArray local, directory;
    for (int i = entries - 1; i >= 0; --i) {
        if (i < entries - 1) {
            data = QByteArray(1, '\0') + le(static_cast<quint32>(local.size()), 2) +
                   le(~static_cast<quint32>(local.size()), 2) + local + data;
            crc = static_cast<quint32>(crc32_combine(CRawZipBuilder::crc(local), crc, static_cast<z_off_t>(plain)));
            plain += static_cast<quint32>(local.size());
        }
        const QByteArray name = "bomb" + QByteArray::number(100 + i);
        // Version 20, no flags, deflated, time and date 0, then CRC, sizes and name length.
        const QByteArray fields = QByteArray::fromHex("140000000800") + le(0, 4) + le(crc, 4) +
                                  le(static_cast<quint32>(data.size()), 4) + le(plain, 4) + le(7, 2);
        local = "PK\3\4" + fields + le(0, 2) + name;
        const quint32 offset = static_cast<quint32>(i * (local.size() + 5)); // each local header is quoted once
        directory.prepend("PK\1\2" + le(0, 2) + fields + le(0, 12) + le(offset, 4) + name);
    }
    const QByteArray archive = local + data;
    return archive + directory + "PK\5\6" + le(0, 4) + le(static_cast<quint32>(entries), 2) +
           le(static_cast<quint32>(entries), 2) + le(static_cast<quint32>(directory.size()), 4) +
           le(static_cast<quint32>(archive.size()), 4) + le(0, 2);
}
} // namespace

Q_DECLARE_METATYPE(std::function<void(QByteArray&, const CRawZipBuilder&)>)
using Patch = std::function<void(QByteArray&, const CRawZipBuilder&)>;

class TestUnzip : public CDataDirTest
{
    Q_OBJECT

private slots:
    void endRecordSearch_data();
    void endRecordSearch();
    void notAnArchive_data();
    void notAnArchive();
    void skippedEntries();
    void brokenCentralDirectory_data();
    void brokenCentralDirectory();
    void headerMismatch_data();
    void headerMismatch();
    void refusedArchives_data();
    void refusedArchives();
    void dataDescriptors_data();
    void dataDescriptors();
    void noPasswordSkipsAllEncrypted();
    void passwordOutsideLatin1();
    void damagedData_data();
    void damagedData();
    void emptyStoredEntry_data();
    void emptyStoredEntry();
    void failureKeepsTarget_data();
    void failureKeepsTarget();
    void archiveReplacedWhileExtracting();
    void longestNameExtracts();
    void extractOptions_data();
    void extractOptions();
    void escapeRefused_data();
    void escapeRefused();
    void deviceDestroyed();

private:
    QString archivePath() const { return data().filePath(QStringLiteral("test.zip")); }
    // Writes `bytes` as the test's archive and opens it.
    UnZip::ErrorCode openArchive(UnZip& unzip, const QByteArray& bytes) const
    {
        return CZipTestFiles::writeFile(archivePath(), bytes) ? unzip.open(archivePath()) : UnZip::OpenFailed;
    }
    QString target() const { return data().filePath(QStringLiteral("out")); }
};

void TestUnzip::endRecordSearch_data()
{
    QTest::addColumn<int>("commentLength");
    QTest::addColumn<int>("trailingJunk");
    QTest::newRow("no comment: first read") << 0 << 0;
    QTest::newRow("100-byte comment: backward search") << 100 << 0;
    QTest::newRow("longest comment") << 65535 << 0;
    QTest::newRow("junk after the record") << 0 << 300000;
}

void TestUnzip::endRecordSearch()
{
    QFETCH(int, commentLength);
    QFETCH(int, trailingJunk);
    CRawZipBuilder builder;
    builder.add("b.txt", text(2000));
    builder.add("a.txt", "alpha", 0);
    QByteArray archive = builder.build(QByteArray(commentLength, 'c'));
    archive.append(QByteArray(trailingJunk, '\x17'));
    UnZip unzip;
    QCOMPARE(openArchive(unzip, archive), UnZip::Ok);
    QCOMPARE(unzip.entryNames(), QStringList({"a.txt", "b.txt"}));
    QCOMPARE(unzip.archiveComment().size(), commentLength);
    QCOMPARE(unzip.verify(), UnZip::Ok);
}

void TestUnzip::notAnArchive_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    QTest::newRow("21 bytes") << QByteArray(21, 'P') << int(UnZip::InvalidArchive);
    QTest::newRow("600 KiB without a signature") << QByteArray(600 * 1024, 'K') << int(UnZip::InvalidArchive);
    QByteArray cut = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
    CRawZipBuilder::patch16(cut, 20, 500); // comment longer than the file
    QTest::newRow("comment beyond the end") << cut << int(UnZip::ReadFailed);
}

void TestUnzip::notAnArchive()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    UnZip unzip;
    QCOMPARE(int(openArchive(unzip, bytes)), code);
    QVERIFY(!unzip.isOpen());
    QCOMPARE(unzip.extractAll(target()), UnZip::NoOpenArchive);
    QCOMPARE(int(UnZip().open(data().filePath(QStringLiteral("missing.zip")))), int(UnZip::FileNotFound));
}

void TestUnzip::skippedEntries()
{
    CRawZipBuilder builder;
    builder.add("keep.txt", text(800));
    builder.add("method12.txt", "abc", 12);
    Entry newer = CRawZipBuilder::entry("zip64.txt", "abc", 0);
    newer.versionNeeded = 45;
    builder.add(newer);
    builder.add("", "nameless", 0);
    builder.add("last.txt", "zz", 0);
    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(unzip.entryNames(), QStringList({"keep.txt", "last.txt"}));
    QStringList reasons;
    for (const UnZip::SkippedEntry& skipped : unzip.skippedEntries())
        reasons.append(skipped.name + QLatin1Char(':') + skipped.reason);
    QCOMPARE(reasons, QStringList({"method12.txt:compression method 12", "zip64.txt:format version 4.5", ":no name"}));
    // The readable entries still extract, but neither extracting all nor verifying passes over the rest.
    QCOMPARE(unzip.extractAll(target()), UnZip::UnsupportedEntry);
    QCOMPARE(CZipTestFiles::filesBelow(target()), QStringList({"keep.txt", "last.txt"}));
    QCOMPARE(unzip.extractFile(QStringLiteral("method12.txt"), target()), UnZip::UnsupportedEntry);
    QString failed;
    QCOMPARE(unzip.verify(&failed), UnZip::UnsupportedEntry);
    QCOMPARE(failed, QStringLiteral("method12.txt"));
}

void TestUnzip::brokenCentralDirectory_data()
{
    QTest::addColumn<int>("declared");
    QTest::addColumn<int>("cutAfterEntries");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("fewer headers than counted") << 5 << -1 << int(UnZip::Ok) << QStringList({"a.txt", "b.txt"});
    QTest::newRow("ends after one entry") << 2 << 1 << int(UnZip::PartiallyCorrupted) << QStringList({"a.txt"});
    QTest::newRow("ends before any entry") << 2 << 0 << int(UnZip::Corrupted) << QStringList();
}

void TestUnzip::brokenCentralDirectory()
{
    QFETCH(int, declared);
    QFETCH(int, cutAfterEntries);
    QFETCH(int, code);
    QFETCH(QStringList, names);
    CRawZipBuilder builder;
    builder.add("a.txt", text(1200));
    builder.add("b.txt", "bravo", 0);
    QByteArray archive = builder.build(QByteArray(), declared);
    if (cutAfterEntries >= 0) {
        // The end record moves in front of the directory, which is cut off after `cutAfterEntries` headers
        // and two bytes of the next signature: reading the directory runs off the end of the file.
        const qint64 directory = builder.written().at(0).centralOffset;
        const qint64 cut = builder.written().at(cutAfterEntries).centralOffset;
        QByteArray record = archive.mid(static_cast<int>(builder.endRecordOffset()), 22);
        CRawZipBuilder::patch32(record, 16, static_cast<quint32>(directory + 22));
        const QByteArray headers = archive.mid(static_cast<int>(directory), static_cast<int>(cut - directory));
        archive = archive.left(static_cast<int>(directory)) + record + headers + QByteArray("PK");
    }
    UnZip unzip;
    QCOMPARE(int(openArchive(unzip, archive)), code);
    QCOMPARE(unzip.entryNames(), names);
    QCOMPARE(unzip.isOpen(), code != int(UnZip::Corrupted));
    if (!names.isEmpty()) {
        QCOMPARE(unzip.extractAll(target()), UnZip::Ok);
        QCOMPARE(CZipTestFiles::filesBelow(target()), names);
    }
}

void TestUnzip::headerMismatch_data()
{
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<int>("code");
    auto local = [](int field, quint32 value, bool wide) {
        return Patch([=](QByteArray& bytes, const CRawZipBuilder& builder) {
            const qint64 offset = builder.written().at(0).localOffset + field;
            if (wide)
                CRawZipBuilder::patch32(bytes, offset, value);
            else
                CRawZipBuilder::patch16(bytes, offset, static_cast<quint16>(value));
        });
    };
    QTest::newRow("local signature") << local(0, 0x04034B51, true) << int(UnZip::InvalidArchive);
    QTest::newRow("flag") << local(6, 0x0002, false) << int(UnZip::InconsistentHeaders);
    QTest::newRow("method") << local(8, 0, false) << int(UnZip::InconsistentHeaders);
    QTest::newRow("time") << local(10, 0x6001, false) << int(UnZip::InconsistentHeaders);
    QTest::newRow("date") << local(12, 0x5822, false) << int(UnZip::InconsistentHeaders);
    QTest::newRow("crc") << local(14, 0xDEADBEEF, true) << int(UnZip::InconsistentHeaders);
    QTest::newRow("compressed size") << local(18, 3, true) << int(UnZip::InconsistentHeaders);
    QTest::newRow("uncompressed size") << local(22, 3, true) << int(UnZip::InconsistentHeaders);
    QTest::newRow("name byte") << Patch([](QByteArray& bytes, const CRawZipBuilder& builder) {
        bytes[static_cast<int>(builder.written().at(0).localOffset + 30)] = 'X';
    }) << int(UnZip::InconsistentHeaders);
}

void TestUnzip::headerMismatch()
{
    QFETCH(Patch, patch);
    QFETCH(int, code);
    CRawZipBuilder builder;
    builder.add("a/bad.txt", text(1600));
    builder.add("good.txt", text(400));
    QByteArray archive = builder.build();
    patch(archive, builder);
    UnZip unzip;
    QCOMPARE(openArchive(unzip, archive), UnZip::Ok);
    QCOMPARE(int(unzip.extractFile(QStringLiteral("a/bad.txt"), target())), code);
    QVERIFY(!QFile::exists(target() + QStringLiteral("/a/bad.txt")));
    QCOMPARE(unzip.extractFile(QStringLiteral("good.txt"), target()), UnZip::Ok);
    QCOMPARE(CZipTestFiles::readFile(target() + QStringLiteral("/good.txt")), text(400));
}

void TestUnzip::refusedArchives_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<int>("openCode");
    QTest::addColumn<int>("extractCode"); // of a.txt, when the archive opens
    const auto three = [](const std::function<void(QByteArray&, const CRawZipBuilder&)>& patch, int declared = -1) {
        CRawZipBuilder builder;
        builder.add("a.txt", text(800), 0);
        builder.add("b.txt", text(800), 0);
        builder.add("c.txt", text(800), 0);
        QByteArray bytes = builder.build(QByteArray(), declared);
        patch(bytes, builder);
        return bytes;
    };
    const auto sizeOfA = [](int grow) {
        return [grow](QByteArray& bytes, const CRawZipBuilder& builder) {
            const auto& a = builder.written().at(0);
            CRawZipBuilder::patch32(bytes, a.localOffset + 18, static_cast<quint32>(a.payloadSize + grow));
            CRawZipBuilder::patch32(bytes, a.centralOffset + 20, static_cast<quint32>(a.payloadSize + grow));
        };
    };
    const auto offsetOfA = [](quint32 offset) {
        return [offset](QByteArray& bytes, const CRawZipBuilder& builder) {
            CRawZipBuilder::patch32(bytes, builder.written().at(0).centralOffset + 42, offset);
        };
    };
    const int overlap = UnZip::OverlappingEntries;
    QTest::newRow("20 entries share one deflate stream") << overlapBomb(20, QByteArray(1 << 20, 'A')) << overlap << 0;
    QTest::newRow("data runs into the next entry") << three(sizeOfA(1)) << overlap << 0;
    QTest::newRow("two entries at one offset") << three([&](QByteArray& bytes, const CRawZipBuilder& builder) {
        offsetOfA(static_cast<quint32>(builder.written().at(1).localOffset))(bytes, builder);
    }) << overlap << 0;
    QTest::newRow("local header beyond the central directory") << three(offsetOfA(0x7FFFFFF0)) << overlap << 0;
    QTest::newRow("last entry runs into the central directory")
        << three([](QByteArray& bytes, const CRawZipBuilder& builder) {
               const auto& c = builder.written().at(2);
               CRawZipBuilder::patch32(bytes, c.centralOffset + 20, static_cast<quint32>(c.payloadSize + 1));
           })
        << overlap << 0;
    // Only the local header tells this one: the entry opens, its extraction is refused.
    QTest::newRow("local extra field pushes the data into the next entry")
        << three([](QByteArray& bytes, const CRawZipBuilder& builder) {
               CRawZipBuilder::patch16(bytes, builder.written().at(0).localOffset + 28, 4);
           })
        << int(UnZip::Ok) << overlap;
    QTest::newRow("ZIP64 locator before the end record") << three([](QByteArray& bytes, const CRawZipBuilder& builder) {
        bytes.insert(static_cast<int>(builder.endRecordOffset()), QByteArray("PK\x06\x07", 4) + QByteArray(16, '\0'));
    }) << int(UnZip::UnsupportedArchive) << 0;
    // What a writer without ZIP64 leaves after 65,538 entries: a count that wrapped to 2.
    QTest::newRow("more headers than the end record counts")
        << three([](QByteArray&, const CRawZipBuilder&) {}, 2) << int(UnZip::UnsupportedArchive) << 0;
}

void TestUnzip::refusedArchives()
{
    QFETCH(QByteArray, archive);
    QFETCH(int, openCode);
    QFETCH(int, extractCode);
    UnZip unzip;
    QCOMPARE(int(openArchive(unzip, archive)), openCode);
    QVERIFY(!unzip.errorText(openCode).contains(QStringLiteral("Unknown")));
    if (openCode == UnZip::Ok) {
        QCOMPARE(int(unzip.extractFile(QStringLiteral("a.txt"), target())), extractCode);
        QCOMPARE(unzip.extractFile(QStringLiteral("c.txt"), target()), UnZip::Ok);
        QCOMPARE(CZipTestFiles::filesBelow(target()), QStringList({"c.txt"}));
    } else {
        QVERIFY(!unzip.isOpen());
        QCOMPARE(unzip.extractAll(target()), UnZip::NoOpenArchive);
        QVERIFY(!QFileInfo::exists(target()));
    }
}

void TestUnzip::dataDescriptors_data()
{
    QTest::addColumn<int>("descriptor");
    QTest::addColumn<int>("patchDescriptorCrc");
    QTest::addColumn<int>("code");
    // Descriptors with a signature, also after encrypted data, come from Info-ZIP (tst_zipinterop).
    QTest::newRow("without signature") << 2 << 0 << int(UnZip::Ok);
    QTest::newRow("descriptor CRC differs") << 1 << 1 << int(UnZip::InconsistentHeaders);
}

void TestUnzip::dataDescriptors()
{
    QFETCH(int, descriptor);
    QFETCH(int, patchDescriptorCrc);
    QFETCH(int, code);
    CRawZipBuilder builder;
    Entry streamed = CRawZipBuilder::entry("streamed.txt", text(12000));
    streamed.descriptor = descriptor;
    builder.add(streamed);
    QByteArray archive = builder.build();
    if (patchDescriptorCrc) {
        const CRawZipBuilder::Written& w = builder.written().at(0);
        CRawZipBuilder::patch32(archive, w.payloadOffset + w.payloadSize + (descriptor == 1 ? 4 : 0), 0x12345678);
    }
    UnZip unzip;
    QCOMPARE(openArchive(unzip, archive), UnZip::Ok);
    QCOMPARE(int(unzip.extractAll(target())), code);
    if (code == UnZip::Ok)
        QCOMPARE(CZipTestFiles::readFile(target() + QStringLiteral("/streamed.txt")), text(12000));
}

void TestUnzip::noPasswordSkipsAllEncrypted()
{
    CRawZipBuilder builder;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        Entry e = CRawZipBuilder::entry(name, text(800));
        e.password = "pw";
        builder.add(e);
    }
    builder.add("d.txt", "plain", 0);
    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(unzip.extractFile(QStringLiteral("b.txt"), target()), UnZip::SkipAllEncrypted);
    // Extracting all: the first encrypted entry sets the skip-all flag, the plain one still extracts.
    QCOMPARE(unzip.extractAll(target()), UnZip::Ok);
    QCOMPARE(CZipTestFiles::filesBelow(target()), QStringList({"d.txt"}));
    QCOMPARE(unzip.verify(), UnZip::SkipAllEncrypted);
    // Closing clears the flag; with the password everything extracts.
    unzip.close();
    unzip.setPassword(QStringLiteral("pw"));
    QCOMPARE(unzip.open(archivePath()), UnZip::Ok);
    QCOMPARE(unzip.extractAll(target()), UnZip::Ok);
    QCOMPARE(CZipTestFiles::filesBelow(target()).size(), 4);
}

void TestUnzip::passwordOutsideLatin1()
{
    // "?" is what every character beyond Latin-1 used to become, so "caf\u0142" and "caf\u20ac" opened this.
    CRawZipBuilder builder;
    Entry secret = CRawZipBuilder::entry("secret.txt", text(1200));
    secret.password = "caf?";
    builder.add(secret);
    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(unzip.setPassword(QStringLiteral("caf\u0142")), UnZip::UnsupportedPassword);
    QCOMPARE(unzip.extractAll(target()), UnZip::UnsupportedPassword);
    QCOMPARE(unzip.verify(), UnZip::UnsupportedPassword);
    QVERIFY(!QFileInfo::exists(target()));
    QCOMPARE(unzip.setPassword(QStringLiteral("caf?")), UnZip::Ok);
    QCOMPARE(unzip.verify(), UnZip::Ok);
}

void TestUnzip::damagedData_data()
{
    QTest::addColumn<quint16>("method");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<int>("cut");
    QTest::addColumn<qint64>("uncompressedOverride");
    QTest::addColumn<int>("code");
    const Patch none = [](QByteArray&, const CRawZipBuilder&) {};
    // Block type 3 does not exist: inflate fails on the first byte.
    const Patch badBlock = [](QByteArray& bytes, const CRawZipBuilder& builder) {
        bytes[static_cast<int>(builder.written().at(0).payloadOffset)] = '\xFF';
    };
    const Patch flipLast = [](QByteArray& bytes, const CRawZipBuilder& builder) {
        const auto& w = builder.written().at(0);
        const int at = static_cast<int>(w.payloadOffset + w.payloadSize - 1);
        bytes[at] = static_cast<char>(bytes.at(at) ^ 0x01);
    };
    QTest::newRow("stored, flipped byte")
        << quint16(0) << QByteArray() << flipLast << 0 << qint64(-1) << int(UnZip::Corrupted);
    QTest::newRow("stored, encrypted, flipped byte")
        << quint16(0) << QByteArray("pw") << flipLast << 0 << qint64(-1) << int(UnZip::Corrupted);
    QTest::newRow("deflate stream cut short")
        << quint16(8) << QByteArray() << none << 40 << qint64(-1) << int(UnZip::Corrupted);
    QTest::newRow("deflate, encrypted, cut short")
        << quint16(8) << QByteArray("pw") << none << 40 << qint64(-1) << int(UnZip::Corrupted);
    QTest::newRow("deflate garbage") << quint16(8) << QByteArray() << badBlock << 0 << qint64(-1)
                                     << int(UnZip::ZlibError);
    QTest::newRow("inflates beyond the stated size")
        << quint16(8) << QByteArray() << none << 0 << qint64(1000) << int(UnZip::Corrupted);
    QTest::newRow("stored, more data than stated")
        << quint16(0) << QByteArray() << none << 0 << qint64(1000) << int(UnZip::Corrupted);
    QTest::newRow("stated size larger than the data")
        << quint16(8) << QByteArray() << none << 0 << qint64(10 * 1000 * 1000) << int(UnZip::Corrupted);
}

void TestUnzip::damagedData()
{
    QFETCH(quint16, method);
    QFETCH(QByteArray, password);
    QFETCH(Patch, patch);
    QFETCH(int, cut);
    QFETCH(qint64, uncompressedOverride);
    QFETCH(int, code);
    CRawZipBuilder builder;
    Entry damaged = CRawZipBuilder::entry("nav/damaged.dat", text(120000), method);
    damaged.password = password;
    damaged.cutPayload = cut;
    damaged.uncompressedOverride = uncompressedOverride;
    builder.add(damaged);
    builder.add("nav/sound.dat", text(2000));
    QByteArray archive = builder.build();
    patch(archive, builder);
    // No broken file where the entry would go (over an older copy: failureKeepsTarget).
    UnZip unzip;
    unzip.setPassword(QString::fromLatin1(password));
    QCOMPARE(openArchive(unzip, archive), UnZip::Ok);
    QCOMPARE(int(unzip.extractFile(QStringLiteral("nav/damaged.dat"), target())), code);
    QVERIFY(!QFile::exists(target() + QStringLiteral("/nav/damaged.dat")));
    QCOMPARE(int(unzip.verify()), code);
    QCOMPARE(unzip.extractFile(QStringLiteral("nav/sound.dat"), target()), UnZip::Ok);
    QCOMPARE(CZipTestFiles::readFile(target() + QStringLiteral("/nav/sound.dat")), text(2000));
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QCOMPARE(int(unzip.extractFile(QStringLiteral("nav/damaged.dat"), &sink)), code);
}

void TestUnzip::emptyStoredEntry_data()
{
    QTest::addColumn<qint64>("crc");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("CRC 0") << qint64(0) << QByteArray() << int(UnZip::Ok);
    QTest::newRow("CRC 0, encrypted") << qint64(0) << QByteArray("pw") << int(UnZip::Ok);
    QTest::newRow("non-zero CRC") << qint64(0x1234) << QByteArray() << int(UnZip::Corrupted);
}

void TestUnzip::emptyStoredEntry()
{
    QFETCH(qint64, crc);
    QFETCH(QByteArray, password);
    QFETCH(int, code);
    CRawZipBuilder builder;
    Entry empty = CRawZipBuilder::entry("empty.txt", QByteArray(), 0);
    empty.crcOverride = crc;
    empty.password = password;
    builder.add(empty);
    UnZip unzip;
    unzip.setPassword(QString::fromLatin1(password));
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(int(unzip.extractFile(QStringLiteral("empty.txt"), target())), code);
    const QFileInfo file(target() + QStringLiteral("/empty.txt"));
    QCOMPARE(file.exists(), code == UnZip::Ok);
    if (file.exists())
        QCOMPARE(file.size(), qint64(0));
}

namespace
{
enum Failure
{
    NoFailure,
    WrongPassword,
    NoPassword,
    LocalHeaderDiffers,
    BadCrc
};
enum Route
{
    IntoFolder,
    All,
    Several,
    Flat,
    ToPath
};
} // namespace

void TestUnzip::failureKeepsTarget_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("route");
    QTest::addColumn<int>("code");
    // The CRC mismatch stands for every fault found only once the data is out, a cut stream's too.
    const QList<std::tuple<int, const char*, int>> failures = {
        {NoFailure, "sound entry", UnZip::Ok},
        {WrongPassword, "wrong password", UnZip::SkipEntry},
        {NoPassword, "no password", UnZip::SkipAllEncrypted},
        {LocalHeaderDiffers, "local header differs", UnZip::InconsistentHeaders},
        {BadCrc, "CRC mismatch", UnZip::Corrupted}};
    const QList<std::pair<int, const char*>> routes = {{IntoFolder, "one entry"},
                                                       {All, "all entries"},
                                                       {Several, "several entries"},
                                                       {Flat, "flat"},
                                                       {ToPath, "to a file path"}};
    for (const auto& [failure, failureName, code] : failures) {
        for (const auto& [route, routeName] : routes)
            QTest::addRow("%s, %s", failureName, routeName) << failure << route << code;
    }
}

void TestUnzip::failureKeepsTarget()
{
    QFETCH(int, failure);
    QFETCH(int, route);
    QFETCH(int, code);
    const QByteArray content = text(80000);
    CRawZipBuilder builder;
    Entry wpt = CRawZipBuilder::entry("nav/wpt.dat", content);
    if (failure == WrongPassword || failure == NoPassword)
        wpt.password = "pw";
    if (failure == LocalHeaderDiffers)
        wpt.localNameOverride = "nav/wpt.dau";
    if (failure == BadCrc)
        wpt.crcOverride = CRawZipBuilder::crc(content) ^ 1;
    builder.add(wpt);
    QVERIFY(CZipTestFiles::writeFile(archivePath(), builder.build()));

    const QString installed = route == Flat ? QStringLiteral("wpt.dat") : QStringLiteral("nav/wpt.dat");
    const auto extract = [&](UnZip& unzip, const QString& folder) {
        switch (route) {
        case IntoFolder:
            return unzip.extractFile(QStringLiteral("nav/wpt.dat"), folder);
        case All:
            return unzip.extractAll(folder);
        case Several:
            return unzip.extractFiles({QStringLiteral("nav/wpt.dat")}, folder);
        case Flat:
            return unzip.extractFile(QStringLiteral("nav/wpt.dat"), folder, UnZip::DropFolders);
        default:
            return unzip.extractFileTo(QStringLiteral("nav/wpt.dat"), folder + QStringLiteral("/nav/wpt.dat"));
        }
    };
    UnZip unzip;
    QCOMPARE(unzip.open(archivePath()), UnZip::Ok);
    unzip.setPassword(failure == WrongPassword ? QStringLiteral("px") : QString());

    // Over an installed file: replaced only by a sound entry; otherwise byte for byte as it was, and no
    // temporary file left beside it.
    QVERIFY(CZipTestFiles::writeFile(target() + QLatin1Char('/') + installed, "installed before\n"));
    QCOMPARE(int(extract(unzip, target())), code);
    const QMap<QString, QByteArray> expected = {{installed, code == UnZip::Ok ? content : "installed before\n"}};
    QCOMPARE(CZipTestFiles::tree(target()), expected);

    // Into a new folder: a failure leaves no file, and no folder when it was found before any output.
    const QString fresh = data().filePath(QStringLiteral("fresh"));
    QCOMPARE(unzip.open(archivePath()), UnZip::Ok); // forgets "skip all encrypted"
    QCOMPARE(int(extract(unzip, fresh)), code);
    if (code == UnZip::Ok)
        QCOMPARE(CZipTestFiles::readFile(fresh + QLatin1Char('/') + installed), content);
    else if (failure == BadCrc)
        QVERIFY(CZipTestFiles::filesBelow(fresh).isEmpty());
    else
        QVERIFY(!QFileInfo::exists(fresh));
}

void TestUnzip::archiveReplacedWhileExtracting()
{
    // The caller's reader lists the archive; then another one takes its name, with the same names.
    const auto archive = [](const QByteArray& prefix) {
        CRawZipBuilder builder;
        for (int i = 0; i < 40; ++i)
            builder.add("e" + QByteArray::number(100 + i), prefix + text(800));
        return builder.build();
    };
    UnZip unzip;
    QCOMPARE(openArchive(unzip, archive("listed ")), UnZip::Ok);
    const QString other = data().filePath(QStringLiteral("other.zip"));
    QVERIFY(CZipTestFiles::writeFile(other, archive("swapped ")));
    QCOMPARE(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(archivePath()).constData()), 0);

    // Each entry comes from the archive that was listed or not at all.
    unzip.setThreadCount(4);
    const QList<UnZip::EntryResult> failures = unzip.extractEntries(QStringList(), target());
    for (const UnZip::EntryResult& failure : failures)
        QCOMPARE(failure.code, UnZip::InconsistentHeaders);
    const QMap<QString, QByteArray> files = CZipTestFiles::tree(target());
    QCOMPARE(files.size() + failures.size(), 40);
    for (const QByteArray& content : files)
        QVERIFY(content.startsWith("listed "));
}

void TestUnzip::longestNameExtracts()
{
    // 255 bytes, the most a file name may have: the temporary name beside it must not be longer.
    const QByteArray name = "nav/" + QByteArray(251, 'n') + ".dat";
    CRawZipBuilder builder;
    builder.add(name, text(400));
    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(unzip.extractAll(target()), UnZip::Ok);
    QCOMPARE(CZipTestFiles::filesBelow(target()), QStringList(QString::fromLatin1(name)));
}

void TestUnzip::extractOptions_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("files");
    const QStringList all = {"a/b/c.txt", "root.txt", "w/x/y.txt"};
    QTest::newRow("1 keeps folders") << int(UnZip::KeepFolders) << false << int(UnZip::Ok) << all;
    QTest::newRow("2 drops folders") << int(UnZip::DropFolders) << false << int(UnZip::Ok)
                                     << QStringList({"c.txt", "root.txt", "y.txt"});
    QTest::newRow("4 writes nothing") << int(UnZip::VerifyOnly) << false << int(UnZip::Ok) << QStringList();
    QTest::newRow("8 with a missing target")
        << int(UnZip::NoDirectoryCreation) << false << int(UnZip::OpenFailed) << QStringList();
    QTest::newRow("8 with folders present") << int(UnZip::NoDirectoryCreation) << true << int(UnZip::Ok) << all;
}

void TestUnzip::extractOptions()
{
    QFETCH(int, options);
    QFETCH(bool, targetExists);
    QFETCH(int, code);
    QFETCH(QStringList, files);
    CRawZipBuilder builder;
    builder.add("a/", QByteArray(), 0);
    builder.add("a/b/c.txt", text(3200));
    builder.add("root.txt", "root", 0);
    builder.add("w\\x\\y.txt", "made on Windows", 0);
    if (targetExists) {
        QVERIFY(QDir().mkpath(target() + QStringLiteral("/a/b")));
        QVERIFY(QDir().mkpath(target() + QStringLiteral("/w/x")));
    }

    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(int(unzip.extractAll(target(), UnZip::ExtractOptions(options))), code);
    QCOMPARE(CZipTestFiles::filesBelow(target()), files);
    if (files.contains(QStringLiteral("c.txt")))
        QCOMPARE(CZipTestFiles::readFile(target() + QStringLiteral("/c.txt")), text(3200));
    if (files.contains(QStringLiteral("a/b/c.txt")))
        QCOMPARE(CZipTestFiles::readFile(target() + QStringLiteral("/a/b/c.txt")), text(3200));
    if (options == UnZip::VerifyOnly || (options == UnZip::NoDirectoryCreation && !targetExists))
        QVERIFY(!QFileInfo::exists(target()));
}

void TestUnzip::escapeRefused_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("options");
    // Which names leave a folder is CFolderEscape's rule, tested with CLocalPath; these rows are the
    // reader's routes: a file, a file with folders dropped, a folder entry.
    QTest::newRow("parent") << QByteArray("../evil.txt") << int(UnZip::KeepFolders);
    QTest::newRow("parent, folders dropped") << QByteArray("../evil.txt") << int(UnZip::DropFolders);
    QTest::newRow("parent folder entry") << QByteArray("../evil/") << int(UnZip::KeepFolders);
}

void TestUnzip::escapeRefused()
{
    QFETCH(QByteArray, name);
    QFETCH(int, options);
    CRawZipBuilder builder;
    builder.add("a-good.txt", text(400));
    builder.add(name, "escaped", 0);
    builder.add("z-good/z.txt", text(480));
    // The target sits two levels down, so that ".." would still land inside the temporary folder.
    const QString deepTarget = data().filePath(QStringLiteral("one/two"));

    UnZip unzip;
    QCOMPARE(openArchive(unzip, builder.build()), UnZip::Ok);
    QCOMPARE(unzip.extractFile(QString::fromLatin1(name), deepTarget, UnZip::ExtractOptions(options)),
             UnZip::UnsafeEntryName);
    QCOMPARE(unzip.extractAll(deepTarget, UnZip::ExtractOptions(options)), UnZip::UnsafeEntryName);
    QCOMPARE(unzip.verify(), UnZip::UnsafeEntryName);
    QCOMPARE(unzip.extractFiles({QString::fromLatin1(name), QStringLiteral("a-good.txt")}, deepTarget,
                                UnZip::ExtractOptions(options)),
             UnZip::UnsafeEntryName);
    // Nothing escaped anywhere in the temporary folder, and the good entries are in place.
    QStringList expected = options == UnZip::DropFolders ? QStringList({"a-good.txt", "z.txt"})
                                                         : QStringList({"a-good.txt", "z-good/z.txt"});
    QCOMPARE(CZipTestFiles::filesBelow(deepTarget), expected);
    for (QString& file : expected)
        file.prepend(QStringLiteral("one/two/"));
    expected.prepend(QStringLiteral("test.zip"));
    expected.sort();
    QCOMPARE(CZipTestFiles::filesBelow(data().path()), expected);
    QVERIFY(!UnZip::errorText(UnZip::UnsafeEntryName).contains(QStringLiteral("Unknown")));
}

void TestUnzip::deviceDestroyed()
{
    CRawZipBuilder builder;
    builder.add("a.txt", "alpha", 0);
    auto* buffer = new QBuffer;
    buffer->setData(builder.build());
    UnZip unzip;
    QCOMPARE(unzip.open(buffer), UnZip::Ok);
    QVERIFY(unzip.isOpen());
    delete buffer;
    QVERIFY(!unzip.isOpen());
    QCOMPARE(unzip.extractAll(target()), UnZip::NoOpenArchive);
    QCOMPARE(unzip.open(static_cast<QIODevice*>(nullptr)), UnZip::InvalidDevice);
}

QTEST_GUILESS_MAIN(TestUnzip)
#include "tst_unzip.moc"
