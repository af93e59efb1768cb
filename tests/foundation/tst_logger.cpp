#include "cdatadirtest.h"
#include "foundation/clogger.h"
#include "foundation/exception.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace
{
const QString timePattern = QStringLiteral("\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\]");

QString logText(const CTestDataDir& data)
{
    return QString::fromUtf8(CTestDataDir::readFile(data.logFile()));
}

// Logs through one of the logger's entry points: 0 log, 1 web service, 2 exception, 3 function (no level).
void logThrough(int entryPoint, int level, const QString& message)
{
    const QString function = QStringLiteral("CFoo::bar");
    const QString file = QStringLiteral("cfoo");
    switch (entryPoint) {
    case 0:
        CLogger::log(level, function, file, 42, message);
        break;
    case 1:
        CLogger::logService(256, level, function, file, 42, message);
        break;
    case 2:
        CLogger::logException(Exception(28, level, message, 42, function, file));
        break;
    default:
        CLogger::logFunction(function, message);
    }
}
} // namespace

class TestLogger : public CDataDirTest
{
    Q_OBJECT

private slots:
    void lineFormats_data()
    {
        QTest::addColumn<int>("entryPoint");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("expected"); // regular expression after the time stamp

        QTest::newRow("log") << 0 << 6 << QStringLiteral("\\[6\\]\\[0\\] - CFoo::bar \\[cfoo:42\\]: hello 100%\\n$");
        QTest::newRow("web service") << 1 << 1
                                     << QStringLiteral(
                                            "\\[Web Service: 256\\]\\[1\\] - CFoo::bar \\[cfoo:42\\]: hello 100%\\n$");
        QTest::newRow("exception") << 2 << 7
                                   << QStringLiteral("\\[7\\]\\[28\\] - CFoo::bar \\[cfoo:42\\]: hello 100%\\n$");
        QTest::newRow("function") << 3 << 0 << QStringLiteral("\\[CFoo::bar\\]: hello 100%\\n$");
    }
    void lineFormats()
    {
        QFETCH(int, entryPoint);
        QFETCH(int, level);
        QFETCH(QString, expected);
        logThrough(entryPoint, level, QStringLiteral("hello 100%"));
        const QString text = logText(data());
        QVERIFY2(QRegularExpression(QStringLiteral("^") + timePattern + expected).match(text).hasMatch(),
                 qPrintable(text));
    }

    void threshold_data()
    {
        QTest::addColumn<int>("entryPoint");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("written");

        QTest::newRow("log level 5") << 0 << 5 << false;
        QTest::newRow("log level 6") << 0 << 6 << true;
        QTest::newRow("exception level 5") << 2 << 5 << false;
        QTest::newRow("exception level 6") << 2 << 6 << true;
        QTest::newRow("web service level 1") << 1 << 1 << true;
        QTest::newRow("function") << 3 << 0 << true;
    }
    void threshold()
    {
        QFETCH(int, entryPoint);
        QFETCH(int, level);
        QFETCH(bool, written);
        logThrough(entryPoint, level, QStringLiteral("m"));
        QCOMPARE(QFile::exists(data().logFile()), written);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("stored");

        QTest::newRow("no line end") << QStringLiteral("abc") << QByteArray("abc\n");
        QTest::newRow("newline") << QStringLiteral("abc\n") << QByteArray("abc\n");
        QTest::newRow("carriage return") << QStringLiteral("abc\r") << QByteArray("abc\r");
        QTest::newRow("CRLF") << QStringLiteral("abc\r\n") << QByteArray("abc\r\n");
        QTest::newRow("UTF-8") << QStringLiteral("Zürich ✈") << QByteArray("Z\xc3\xbcrich \xe2\x9c\x88\n");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void lineEnds()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, stored);
        CLogger::write(line);
        QCOMPARE(CTestDataDir::readFile(data().logFile()), stored);
    }

    void fileNamedAfterStartTime()
    {
        QCOMPARE(CLogger::logFileNameFor(QDateTime(QDate(2026, 12, 6), QTime(5, 4, 3))),
                 QStringLiteral("20261206-050403.log"));
        // Every kind of line of one run goes to that one file.
        CLogger::setLogFileName(CLogger::logFileNameFor(QDateTime::currentDateTime()));
        for (int entryPoint = 0; entryPoint < 4; ++entryPoint)
            logThrough(entryPoint, 6, QStringLiteral("line"));
        QCOMPARE(QDir(data().filePath(QStringLiteral("logs"))).entryList(QDir::Files).size(), 1);
        QCOMPARE(logText(data()).count(QStringLiteral("line\n")), 4);
    }

    void logsFolderRecreated()
    {
        CLogger::write(QStringLiteral("first"));
        QVERIFY(QDir(data().filePath(QStringLiteral("logs"))).removeRecursively());
        CLogger::write(QStringLiteral("second"));
        QCOMPARE(CTestDataDir::readFile(data().logFile()), QByteArray("second\n"));
    }

    void unwritableLogsFolderLosesLinesSilently()
    {
        // A plain file where the folder should be: neither the folder nor the log file can be made.
        data().writeFile(QStringLiteral("logs"), "not a folder");
        CLogger::write(QStringLiteral("lost"));
        CLogger::log(6, QStringLiteral("f"), QStringLiteral("file"), 1, QStringLiteral("lost too"));
        QCOMPARE(CTestDataDir::readFile(data().filePath(QStringLiteral("logs"))), QByteArray("not a folder"));
    }

    void linesBeforeNamingAreDropped()
    {
        CLogger::setLogFileName(QString());
        CLogger::write(QStringLiteral("too early"));
        QVERIFY(!QDir(data().filePath(QStringLiteral("logs"))).exists() ||
                QDir(data().filePath(QStringLiteral("logs"))).isEmpty());
    }

    void functionNames_data()
    {
        QTest::addColumn<QString>("pretty");
        QTest::addColumn<QString>("expected");

        QTest::newRow("method") << QStringLiteral("void CBackupCommand::run()")
                                << QStringLiteral("CBackupCommand::run");
        QTest::newRow("static with return type")
            << QStringLiteral("static QString CDataLocations::dataDirectory()") << QStringLiteral("CDataLocations::dataDirectory");
        QTest::newRow("reference return")
            << QStringLiteral("const QString& CFoo::name() const") << QStringLiteral("CFoo::name");
        QTest::newRow("lambda") << QStringLiteral("CInitializer::initialize()::<lambda(int)>")
                                << QStringLiteral("CInitializer::initialize");
        QTest::newRow("free function") << QStringLiteral("int main(int, char**)") << QStringLiteral("main");
    }
    void functionNames()
    {
        QFETCH(QString, pretty);
        QFETCH(QString, expected);
        QCOMPARE(CLogger::functionName(pretty.toLatin1().constData()), expected);
    }

    void macroRecordsCaller()
    {
        const int line = __LINE__ + 1;
        BV_LOG(6, QStringLiteral("from the macro"));
        const QString text = logText(data());
        QVERIFY2(
            text.contains(QStringLiteral("TestLogger::macroRecordsCaller [tst_logger:%1]: from the macro").arg(line)),
            qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
