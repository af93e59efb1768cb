#include "foundation/clogger.h"
#include "foundation/exception.h"

#include <QtTest>

class TestException : public QObject
{
    Q_OBJECT

private slots:
    void textForm_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("file");

        QTest::newRow("plain") << "Cannot open file C:/x.mapping" << QStringLiteral("cfilemappingserializer");
        // Filled in one pass: placeholders inside the values stay as they are.
        QTest::newRow("URL with %2F") << "Cannot fetch http://host/a%2Fb?x=%1%5"
                                      << QStringLiteral("cfilemappingserializer");
        QTest::newRow("file name with %3") << "Cannot open file C:/x.mapping" << QStringLiteral("c%3file");
    }
    void textForm()
    {
        QFETCH(QString, message);
        QFETCH(QString, file);
        const Exception ex(3, 6, message, 120, QStringLiteral("CFileMappingSerializer::deserialize"), file);
        QCOMPARE(ex.toString(), QStringLiteral("Error\nError Number:3\nError Message:") + message +
                                    QStringLiteral("\nError Level: 6\nFile: ") + file +
                                    QStringLiteral(" : (120)\nFunction: CFileMappingSerializer::deserialize"));
    }

    void macroRecordsRaiser()
    {
        const int line = __LINE__ + 1;
        const Exception ex = BV_EXCEPTION(400, 8, QStringLiteral("boom"));
        QCOMPARE(ex.errorNumber, 400);
        QCOMPARE(ex.errorLevel, 8);
        QCOMPARE(ex.line, line);
        QCOMPARE(ex.function, QStringLiteral("TestException::macroRecordsRaiser"));
        QCOMPARE(ex.file, QStringLiteral("tst_exception"));
    }
};

QTEST_GUILESS_MAIN(TestException)
#include "tst_exception.moc"
