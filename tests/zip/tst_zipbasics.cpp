// The small shared pieces of the zip classes: entry-name safety and encoding, DOS date and time.

#include "zip/czipdostime.h"
#include "zip/czipentryname.h"

#include <QtTest>

class TestZipBasics : public QObject
{
    Q_OBJECT

private slots:
    void safeNames_data();
    void safeNames();
    void nameEncoding_data();
    void nameEncoding();
    void unflaggedNames_data();
    void unflaggedNames();
    void dosTimeRoundTrip_data();
    void dosTimeRoundTrip();
    void dosTimeClamps_data();
    void dosTimeClamps();
    void invalidDosFields();
};

void TestZipBasics::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    // The rule itself is CFolderEscape's, tested with CLocalPath; these rows show that the reader uses it.
    QTest::newRow("nested file") << "earth/nav/wpt.dat" << true;
    QTest::newRow("climb out from a folder") << "a/../../evil.txt" << false;
    QTest::newRow("empty") << "" << false;
}

void TestZipBasics::safeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(CZipEntryName::isSafe(name), safe);
}

void TestZipBasics::nameEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8Flag");
    QTest::newRow("ascii") << "nav/wpt.dat" << QByteArray("nav/wpt.dat") << false;
    QTest::newRow("latin-1 letters") << QStringLiteral("Z\u00fcrich/caf\u00e9.dat")
                                     << QByteArray("Z\xc3\xbcrich/caf\xc3\xa9.dat") << true;
    QTest::newRow("beyond latin-1") << QStringLiteral("\u0141\u00f3d\u017a.dat")
                                    << QByteArray("\xc5\x81\xc3\xb3"
                                                  "d\xc5\xba.dat")
                                    << true;
}

void TestZipBasics::nameEncoding()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8Flag);
    quint16 flags = 0x0009;
    const QByteArray encoded = CZipEntryName::encode(name, flags);
    QCOMPARE(encoded, bytes);
    QCOMPARE((flags & 0x0800) != 0, utf8Flag);
    QCOMPARE(flags & 0x0009, 0x0009); // other bits untouched
    QCOMPARE(CZipEntryName::decode(encoded, flags), name);
}

void TestZipBasics::unflaggedNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("name");
    QTest::newRow("ascii") << QByteArray("nav/wpt.dat") << "nav/wpt.dat";
    QTest::newRow("latin-1 bytes") << QByteArray("Z\xfcrich.dat") << QStringLiteral("Z\u00fcrich.dat");
    QTest::newRow("utf-8 bytes from a Linux zip tool")
        << QByteArray("Z\xc3\xbcrich.dat") << QStringLiteral("Z\u00fcrich.dat");
    QTest::newRow("cut utf-8 sequence is latin-1") << QByteArray("ab\xc3") << QStringLiteral("ab\u00c3");
}

void TestZipBasics::unflaggedNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, name);
    QCOMPARE(CZipEntryName::decode(raw, 0), name);
}

void TestZipBasics::dosTimeRoundTrip_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("first day") << QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0));
    QTest::newRow("odd second rounds down") << QDateTime(QDate(2023, 7, 14), QTime(13, 37, 59));
    QTest::newRow("leap day") << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58));
    QTest::newRow("last day") << QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
}

void TestZipBasics::dosTimeRoundTrip()
{
    QFETCH(QDateTime, time);
    quint16 date = 0;
    quint16 clock = 0;
    CZipDosTime::fromDateTime(time, date, clock);
    const QDateTime back = CZipDosTime::toDateTime(date, clock);
    QCOMPARE(back.date(), time.date());
    QCOMPARE(back.time(), QTime(time.time().hour(), time.time().minute(), time.time().second() / 2 * 2));
}

void TestZipBasics::dosTimeClamps_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("before 1980") << QDateTime(QDate(1970, 1, 1), QTime(12, 0))
                                 << QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    QTest::newRow("after 2107") << QDateTime(QDate(2200, 5, 5), QTime(1, 2, 3))
                                << QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
    QTest::newRow("invalid") << QDateTime() << QDateTime(QDate(1980, 1, 1), QTime(0, 0));
}

void TestZipBasics::dosTimeClamps()
{
    QFETCH(QDateTime, time);
    QFETCH(QDateTime, expected);
    quint16 date = 0;
    quint16 clock = 0;
    CZipDosTime::fromDateTime(time, date, clock);
    QCOMPARE(CZipDosTime::toDateTime(date, clock), expected);
}

void TestZipBasics::invalidDosFields()
{
    // Month 0 and hour 31 occur in damaged archives; they must not become a date by accident.
    QVERIFY(!CZipDosTime::toDateTime(0x0001, 0).isValid());
    QVERIFY(!CZipDosTime::toDateTime(0x0021, 0xF800).isValid());
    QCOMPARE(CZipDosTime::toDateTime(0x0021, 0x0000), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
}

QTEST_GUILESS_MAIN(TestZipBasics)
#include "tst_zipbasics.moc"
