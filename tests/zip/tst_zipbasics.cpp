// The small shared pieces of the zip classes: entry-name decoding, DOS date and time.

#include "zip/czipdostime.h"
#include "zip/czipentryname.h"

#include <QtTest>

class TestZipBasics : public QObject
{
    Q_OBJECT

private slots:
    void unflaggedNames_data();
    void unflaggedNames();
    void dosTimeClamps_data();
    void dosTimeClamps();
    void invalidDosFields();
};

void TestZipBasics::unflaggedNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("name");
    // UTF-8 names both ways are proved against Info-ZIP (tst_zipinterop); these are the Latin-1 names of
    // the program's own packages, which no tool here writes.
    QTest::newRow("latin-1 bytes") << QByteArray("Z\xfcrich.dat") << QStringLiteral("Z\u00fcrich.dat");
    QTest::newRow("cut utf-8 sequence is latin-1") << QByteArray("ab\xc3") << QStringLiteral("ab\u00c3");
}

void TestZipBasics::unflaggedNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, name);
    QCOMPARE(CZipEntryName::decode(raw, 0), name);
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
