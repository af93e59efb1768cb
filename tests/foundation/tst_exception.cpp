#include "commands/commandinfo.h"
#include "foundation/clogger.h"
#include "foundation/exception.h"

#include <QtTest>

class TestException : public QObject
{
    Q_OBJECT

private slots:
    void levelWords_data();
    void levelWords();
    void textForm_data();
    void textForm();
    void macroRecordsRaiser();
    void commandKey();
};

void TestException::levelWords_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("word");

    QTest::newRow("1") << 1 << QStringLiteral("Debug");
    QTest::newRow("2") << 2 << QStringLiteral("Information");
    QTest::newRow("3") << 3 << QStringLiteral("Information");
    QTest::newRow("4") << 4 << QString();
    QTest::newRow("5") << 5 << QStringLiteral("Warning");
    QTest::newRow("6") << 6 << QStringLiteral("Warning");
    QTest::newRow("7") << 7 << QStringLiteral("Error");
    QTest::newRow("8") << 8 << QStringLiteral("Error");
    QTest::newRow("0") << 0 << QStringLiteral("Error");
}

void TestException::levelWords()
{
    QFETCH(int, level);
    QFETCH(QString, word);
    QCOMPARE(Exception::levelText(level), word);
}

void TestException::textForm_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("file");

    QTest::newRow("plain") << "Cannot open file C:/x.mapping" << QStringLiteral("cfilemappingserializer");
    // Filled in one pass: placeholders inside the values stay as they are.
    QTest::newRow("URL with %2F") << "Cannot fetch http://host/a%2Fb?x=%1%5"
                                  << QStringLiteral("cfilemappingserializer");
    QTest::newRow("file name with %3") << "Cannot open file C:/x.mapping" << QStringLiteral("c%3file");
}

void TestException::textForm()
{
    QFETCH(QString, message);
    QFETCH(QString, file);
    const Exception ex(3, 6, message, 120, QStringLiteral("CFileMappingSerializer::deserialize"), file);
    QCOMPARE(ex.toString(), QStringLiteral("Error\nError Number:3\nError Message:") + message +
                                QStringLiteral("\nError Level: 6\nFile: ") + file +
                                QStringLiteral(" : (120)\nFunction: CFileMappingSerializer::deserialize"));
}

void TestException::macroRecordsRaiser()
{
    const int line = __LINE__ + 1;
    const Exception ex = BV_EXCEPTION(400, 8, QStringLiteral("boom"));
    QCOMPARE(ex.errorNumber, 400);
    QCOMPARE(ex.errorLevel, 8);
    QCOMPARE(ex.line, line);
    QCOMPARE(ex.function, QStringLiteral("TestException::macroRecordsRaiser"));
    QCOMPARE(ex.file, QStringLiteral("tst_exception"));
}

void TestException::commandKey()
{
    const QUuid addon(QStringLiteral("{6f1c2b0e-1d2a-4c3b-9e8f-0a1b2c3d4e5f}"));
    const QUuid mapping(QStringLiteral("{00000000-0000-0000-0000-0000000000aa}"));
    const CommandInfo info(addon, mapping, Backup);
    QCOMPARE(info.key(),
             QStringLiteral("{6f1c2b0e-1d2a-4c3b-9e8f-0a1b2c3d4e5f}_{00000000-0000-0000-0000-0000000000aa}"));
    QVERIFY(info.key() != CommandInfo(mapping, addon, Backup).key());
}

QTEST_GUILESS_MAIN(TestException)
#include "tst_exception.moc"
