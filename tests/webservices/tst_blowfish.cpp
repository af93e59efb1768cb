#include "webservices/cblowfish.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace
{

// The clear text of `length` bytes used for the cross-checks: varied bytes, some of them control bytes.
QByteArray clearBytes(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(static_cast<char>(0x20 + (i * 37 + length) % 0x5f));
    return bytes;
}

} // namespace

// The credential cipher: its padding, the program's two keys pinned by known answers, and agreement with
// an independent implementation (Perl's Crypt::Blowfish) on those keys.
class TestBlowfish : public QObject
{
    Q_OBJECT

private slots:
    void wrongKeyOrPaddingGivesEmpty()
    {
        CBlowfish noKey{QByteArray()};
        noKey.setPaddingEnabled(true);
        QTest::ignoreMessage(QtWarningMsg, "Cannot init. Key is empty.");
        QTest::ignoreMessage(QtWarningMsg, "Cannot init. Key is empty.");
        QVERIFY(noKey.encrypted("secret").isEmpty());
        QVERIFY(noKey.decrypted(QByteArray(8, 'x')).isEmpty());

        CBlowfish blowfish(QByteArray::fromHex(CCipherKeys::TokenKey.toLatin1()));
        blowfish.setPaddingEnabled(true);
        const QByteArray cipher = blowfish.encrypted("a clear text");
        // A length that is not a whole number of blocks, and data under another key, do not decipher.
        QVERIFY(blowfish.decrypted(cipher.left(cipher.size() - 1)).isEmpty());
        CBlowfish other(QByteArray::fromHex(CCipherKeys::DefaultTextKey.toLatin1()));
        other.setPaddingEnabled(true);
        QVERIFY(other.decrypted(cipher).isEmpty());

        // A last block whose padding bytes disagree: build it by enciphering without padding.
        CBlowfish raw(QByteArray::fromHex(CCipherKeys::TokenKey.toLatin1()));
        for (const QByteArray& block : {QByteArray("abcdefg\x00", 8), QByteArray("abcdef\x01\x02", 8),
                                        QByteArray("abcdefg\x09", 8), QByteArray("abcde\x02\x03\x03", 8)})
            QVERIFY2(blowfish.decrypted(raw.encrypted(block)).isEmpty(), block.toHex().constData());
        QCOMPARE(blowfish.decrypted(raw.encrypted(QByteArray("abcde\x03\x03\x03", 8))), QByteArray("abcde"));
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("clear");
        QTest::addColumn<QString>("key");

        // Texts of every length from 0 to 40 bytes under both keys: agreesWithPerl.
        QTest::newRow("user id under the default key") << "4711" << QString();
        QTest::newRow("non-ASCII text") << QStringLiteral("Zürich – Łódź ✈") << CCipherKeys::DefaultTextKey;
    }
    void textRoundTrip()
    {
        QFETCH(QString, clear);
        QFETCH(QString, key);

        const QString cipher = CDownloadLogUtils::encryptText(clear, key);
        QVERIFY(!cipher.isEmpty());
        QVERIFY(!cipher.contains(clear));
        const int bytes = clear.toUtf8().size();
        QCOMPARE(cipher.size(), ((bytes / 8 + 1) * 8 + 2) / 3 * 4);
        QCOMPARE(CDownloadLogUtils::decryptText(cipher, key), clear);
        // An empty key means the default key.
        if (key.isEmpty())
            QCOMPARE(CDownloadLogUtils::decryptText(cipher, CCipherKeys::DefaultTextKey), clear);

        QCOMPARE(CDownloadLogUtils::encryptText(QString(), key), QString());
        QCOMPARE(CDownloadLogUtils::decryptText(QString(), key), QString());
    }

    void undecipherableTextGivesEmpty_data()
    {
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QString>("key");

        QTest::newRow("stored default of the user key") << "0" << QString();
        QTest::newRow("not Base64") << "!!not base64!!" << QString();
        QTest::newRow("Base64 of a partial block") << QString::fromLatin1(QByteArray("abc").toBase64()) << QString();
        QTest::newRow("whole blocks of noise") << QString::fromLatin1(QByteArray(16, '\x5a').toBase64()) << QString();
        QTest::newRow("text of the other key")
            << CDownloadLogUtils::encryptText(QStringLiteral("token"), CCipherKeys::TokenKey)
            << CCipherKeys::DefaultTextKey;
    }
    void undecipherableTextGivesEmpty()
    {
        QFETCH(QString, cipher);
        QFETCH(QString, key);
        QCOMPARE(CDownloadLogUtils::decryptText(cipher, key), QString());
    }

    void hashedText()
    {
        QCOMPARE(CDownloadLogUtils::hashedText(QString()), QString());
        const QString hashed = CDownloadLogUtils::hashedText(QStringLiteral("4711"));
        // 32 hexadecimal digits and a whole padding block: 40 bytes, 56 Base64 characters.
        QCOMPARE(hashed.size(), 56);
        const QString digest = QString::fromLatin1(QCryptographicHash::hash("4711", QCryptographicHash::Md5).toHex());
        QCOMPARE(CDownloadLogUtils::decryptText(hashed, CCipherKeys::DefaultTextKey), digest);
        QVERIFY(hashed != CDownloadLogUtils::hashedText(QStringLiteral("4712")));
    }

    void keysArePinned_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("cipher");

        // Enciphered once by Perl's Crypt::Blowfish. Every stored log-in was written under these keys: a changed
        // digit would make them all unreadable.
        QTest::newRow("token key") << CCipherKeys::TokenKey << "Z+76/iJ9uPC7NP3aYYLENryR5dzeErv6";
        QTest::newRow("default text key") << CCipherKeys::DefaultTextKey << "ZJVQMRspUk2ygMQNSYVi/6L712mVIbey";
    }
    void keysArePinned()
    {
        QFETCH(QString, key);
        QFETCH(QString, cipher);
        QCOMPARE(CDownloadLogUtils::encryptText(QStringLiteral("Tessaray pins this key"), key), cipher);
    }

    void agreesWithPerl_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("token key, 37 bytes") << CCipherKeys::TokenKey;
        QTest::newRow("default text key, 16 bytes") << CCipherKeys::DefaultTextKey;
    }
    void agreesWithPerl()
    {
        QFETCH(QString, key);
        const QString perl = QStandardPaths::findExecutable(QStringLiteral("perl"));
        if (perl.isEmpty())
            QSKIP("perl is not installed");

        // Perl's module enciphers single blocks; the script pads (PKCS#5) and encodes, one clear text a line.
        const QString script = QStringLiteral(
            "use strict; use Crypt::Blowfish; use MIME::Base64;"
            "my $cipher = Crypt::Blowfish->new(pack('H*', $ARGV[0]));"
            "while (my $line = <STDIN>) { chomp $line; my $clear = pack('H*', $line);"
            "  if ($clear eq '') { print \"\\n\"; next; }"
            "  my $n = 8 - length($clear) % 8; $clear .= chr($n) x $n; my $out = '';"
            "  for (my $i = 0; $i < length($clear); $i += 8) { $out .= $cipher->encrypt(substr($clear, $i, 8)); }"
            "  print encode_base64($out, ''), \"\\n\"; }");
        QProcess process;
        process.start(perl, {QStringLiteral("-e"), script, key});
        QVERIFY(process.waitForStarted());
        for (int length = 0; length <= 40; ++length)
            process.write(clearBytes(length).toHex() + '\n');
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(30000));
        if (process.exitCode() != 0 && process.readAllStandardError().contains("Can't locate Crypt/Blowfish.pm"))
            QSKIP("Crypt::Blowfish is not installed (libcrypt-blowfish-perl)");
        QCOMPARE(process.exitCode(), 0);

        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
        QVERIFY(lines.size() >= 41);
        for (int length = 0; length <= 40; ++length) {
            const QString clear = QString::fromLatin1(clearBytes(length));
            const QString ours = CDownloadLogUtils::encryptText(clear, key);
            QCOMPARE(ours, QString::fromLatin1(lines.at(length)));
            QCOMPARE(CDownloadLogUtils::decryptText(QString::fromLatin1(lines.at(length)), key), clear);
        }
    }
};

QTEST_GUILESS_MAIN(TestBlowfish)
#include "tst_blowfish.moc"
