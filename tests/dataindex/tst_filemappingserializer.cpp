#include "cdatadirtest.h"
#include "ctestdatadir.h"
#include "dataindex/cfilemappingserializer.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace
{
const QString mappingGuid = QStringLiteral("{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}");

// One record as "source>destination@parent/d" ("/d" for folders), separators shown as "/".
QString describe(const FileMappingItem* item)
{
    QString text = item->source + QLatin1Char('>') + item->destination + QLatin1Char('@') + item->parent +
                   (item->isDirectory ? QStringLiteral("/d") : QString());
    return QDir::fromNativeSeparators(text);
}
} // namespace

class TestFileMappingSerializer : public CDataDirTest
{
    Q_OBJECT

private:
    QString write(const QByteArray& content) { return data().writeFile(QStringLiteral("package.mapping"), content); }

private slots:
    void records_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("simulator");
        QTest::addColumn<QStringList>("records");

        const QByteArray fsxAndUser = "<mapping cycle=\"2401\">"
                                      "<sim simulator=\"FSX\"><file source=\"a.dat\" destination=\"fsx.dat\" /></sim>"
                                      "<sim simulator=\"USER\"><file source=\"a.dat\" destination=\"user.dat\" /></sim>"
                                      "</mapping>";
        QTest::newRow("USER stands for any simulator") << fsxAndUser << "P3D" << QStringList{"a.dat>user.dat@"};
        QTest::newRow("the asked simulator when it comes first")
            << fsxAndUser << "FSX" << QStringList{"a.dat>fsx.dat@"};
        QTest::newRow("short name without regard to case and blanks")
            << QByteArray("<m><s simulator=\"  xp11 \"><f name=\"x\" /></s></m>") << " XP11" << QStringList{"x>x@"};
        QTest::newRow("user in lower case")
            << QByteArray("<m><s simulator=\" user \"><f name=\"x\" /></s></m>") << "FS9" << QStringList{"x>x@"};
        QTest::newRow("only the first matching element")
            << QByteArray(
                   "<m><s simulator=\"FSX\"><f name=\"first\" /></s><s simulator=\"FSX\"><f name=\"second\" /></s>"
                   "</m>")
            << "FSX" << QStringList{"first>first@"};
        QTest::newRow("name stands for what is missing")
            << QByteArray("<m><s simulator=\"FSX\"><f name=\"both\" /><f name=\"n\" source=\"src\" />"
                          "<f name=\"n\" destination=\"dst\" /><f name=\"n\" source=\"\" destination=\"dst\" />"
                          "<f source=\"s\" destination=\"d\" name=\"ignored\" /></s></m>")
            << "FSX" << QStringList{"both>both@", "src>n@", "n>dst@", "n>dst@", "s>d@"};
        QTest::newRow("folders nest; a folder follows its contents")
            << QByteArray("<m><s simulator=\"FSX\">"
                          "<directory name=\"outer\">"
                          "  <file name=\"o.dat\" />"
                          "  <directory source=\"in\" destination=\"inner\"><file name=\"i.dat\" /></directory>"
                          "  <file name=\"after.dat\" />"
                          "</directory>"
                          "<file name=\"top.dat\" />"
                          "</s></m>")
            << "FSX" << QStringList{"o.dat>o.dat@/outer",         "i.dat>i.dat@/outer/inner", "in>inner@/outer/d",
                                    "after.dat>after.dat@/outer", "outer>outer@/d",           "top.dat>top.dat@"};
        QTest::newRow("backslashes become separators")
            << QByteArray("<m><s simulator=\"FSX\"><directory name=\"Nav\\Data\"><file source=\"a\\b.dat\" "
                          "destination=\"c\\b.dat\" /></directory></s></m>")
            << "FSX" << QStringList{"a/b.dat>c/b.dat@/Nav/Data", "Nav/Data>Nav/Data@/d"};
        QTest::newRow("no element for the simulator")
            << QByteArray(fsxAndUser).replace("USER", "P3D") << "XP11" << QStringList{};
        QTest::newRow("text and comments are no entries")
            << QByteArray("<m><s simulator=\"FSX\">text<!-- c --><f name=\"x\" /></s></m>") << "FSX"
            << QStringList{"x>x@"};
    }
    void records()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, simulator);
        QFETCH(QStringList, records);
        CFileMappingSerializer serializer;
        serializer.setMappingGuid(mappingGuid);
        QSignalSpy completed(&serializer, &CFileMappingSerializer::taskCompleted);
        QSignalSpy errors(&serializer, &CFileMappingSerializer::taskError);
        FileMappingSerializeInfo info{write(content), simulator};
        const QVariant result = serializer.deserialize(QVariant::fromValue(&info));
        QCOMPARE(errors.count(), 0);
        QCOMPARE(completed.count(), 1);
        auto* items = result.value<QList<FileMappingItem*>*>();
        QVERIFY(items);
        QStringList described;
        for (const FileMappingItem* item : *items) {
            described << describe(item);
            QCOMPARE(item->mappingGuid, QUuid(mappingGuid));
            QCOMPARE(item->simulator, simulator);
        }
        QCOMPARE(described, records);
    }

    void escapingEntryOfAnotherSimulatorIsNotRead()
    {
        CFileMappingSerializer serializer;
        QSignalSpy errors(&serializer, &CFileMappingSerializer::taskError);
        FileMappingSerializeInfo info{write("<m><s simulator=\"P3D\"><f name=\"../x\" /></s>"
                                            "<s simulator=\"FSX\"><f name=\"ok\" /></s></m>"),
                                      QStringLiteral("FSX")};
        QVERIFY(serializer.deserialize(QVariant::fromValue(&info)).value<QList<FileMappingItem*>*>());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(serializer.items().size(), 1);
    }

    // A file that can't be read fails as a whole; so does one with an entry that would leave the add-on's
    // folder, below which every file must land.
    void readFailures_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QString>("message");    // %0 for the path
        QTest::newRow("missing") << QByteArray() << "Cannot open file %0";
        QTest::newRow("empty") << QByteArray("") << "Unable to get xml content";
        QTest::newRow("malformed") << QByteArray("<m><s simulator=\"FSX\"></m>") << "Unable to get xml content";
        QByteArray deep = "<m><s simulator=\"FSX\">";
        for (int i = 0; i < 100000; ++i)
            deep += "<directory name=\"d\">";
        QTest::newRow("very deep") << deep << "Unable to get xml content";
        const auto escaping = [](const char* name, const QByteArray& entry, const QString& offending) {
            QTest::newRow(name) << "<m><s simulator=\"FSX\"><f name=\"fine.dat\" />" + entry + "</s></m>"
                                << QStringLiteral("Mapping entry '") + offending +
                                       QStringLiteral("' in file %0 leaves the add-on folder");
        };
        escaping("parent in the destination", "<f source=\"a\" destination=\"..\\..\\x.dll\" />", "..\\..\\x.dll");
        escaping("parent in the source", "<f source=\"../../etc/passwd\" destination=\"a\" />", "../../etc/passwd");
        escaping("absolute destination", "<f source=\"a\" destination=\"/etc/cron.d/x\" />", "/etc/cron.d/x");
        escaping("drive letter", "<f source=\"a\" destination=\"C:\\Windows\\x.dll\" />", "C:\\Windows\\x.dll");
        escaping("through name", "<f name=\"..\" />", "..");
        escaping("inside a folder", "<directory name=\"ok\"><f name=\"a\" destination=\"b/../../c\" /></directory>",
                 "b/../../c");
        escaping("a folder itself", "<directory name=\"\\\\server\\share\"><f name=\"a\" /></directory>",
                 "\\\\server\\share");
    }
    void readFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = content.isNull() ? data().filePath(QStringLiteral("none.mapping")) : write(content);
        CFileMappingSerializer serializer;
        // Records of an earlier read don't survive a failed one.
        FileMappingSerializeInfo good{
            data().writeFile(QStringLiteral("good.mapping"), "<m><s simulator=\"USER\"><f name=\"a\" /></s></m>"),
            QStringLiteral("FSX")};
        serializer.deserialize(QVariant::fromValue(&good));
        QCOMPARE(serializer.items().size(), 1);

        QSignalSpy completed(&serializer, &CFileMappingSerializer::taskCompleted);
        QSignalSpy errors(&serializer, &CFileMappingSerializer::taskError);
        FileMappingSerializeInfo info{path, QStringLiteral("FSX")};
        QCOMPARE(serializer.deserialize(QVariant::fromValue(&info)), QVariant(false));
        QCOMPARE(completed.count(), 0);
        QCOMPARE(errors.count(), 1);
        const Exception error = errors.first().first().value<Exception>();
        QCOMPARE(error.errorNumber, 3);
        QCOMPARE(error.errorLevel, 6);
        QCOMPARE(error.message, message.arg(path));
        QVERIFY(serializer.items().isEmpty());
    }

    void version_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("cycle");
        QTest::addColumn<int>("revision");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<qint64>("backupDate"); // -1: invalid date
        QTest::newRow("installed package")
            << QByteArray("<m cycle=\"2401\" revision=\"5\" />") << 2401 << 5 << false << qint64(0);
        QTest::newRow("backup copy") << QByteArray("<m cycle=\"2312\" revision=\"2\" backup=\"1\" "
                                                   "backupDate=\"1704067200123\" />")
                                     << 2312 << 2 << true << qint64(1704067200123);
        QTest::newRow("backup as any non-zero number")
            << QByteArray("<m backup=\"2\" />") << 0 << 0 << true << qint64(0);
        QTest::newRow("backup zero") << QByteArray("<m backup=\"0\" backupDate=\"5\" />") << 0 << 0 << false
                                     << qint64(5);
        QTest::newRow("negative date") << QByteArray("<m backupDate=\"-99\" />") << 0 << 0 << false << qint64(0);
        QTest::newRow("absurd numbers") << QByteArray("<m cycle=\"x\" revision=\"99999999999\" "
                                                      "backupDate=\"99999999999999999999999\" />")
                                        << 0 << 0 << false << qint64(0);
        QTest::newRow("missing file") << QByteArray() << 0 << 0 << false << qint64(-1);
        QTest::newRow("malformed file") << QByteArray("<m cycle=\"1\"") << 0 << 0 << false << qint64(-1);
    }
    void version()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, cycle);
        QFETCH(int, revision);
        QFETCH(bool, backup);
        QFETCH(qint64, backupDate);
        const QString path = content.isNull() ? data().filePath(QStringLiteral("none.index")) : write(content);
        const MappingVersion version = CFileMappingSerializer::deserializeToVersion(path);
        QCOMPARE(version.cycle, cycle);
        QCOMPARE(version.revision, revision);
        QCOMPARE(version.backup, backup);
        if (backupDate < 0)
            QVERIFY(!version.backupDate.isValid());
        else
            QCOMPARE(version.backupDate, QDateTime::fromMSecsSinceEpoch(backupDate));
    }

    void markMissingFile()
    {
        const QString path = data().filePath(QStringLiteral("none.mapping"));
        CFileMappingSerializer serializer;
        QSignalSpy errors(&serializer, &CFileMappingSerializer::taskError);
        QCOMPARE(serializer.serialize(path), QVariant(false));
        QCOMPARE(errors.count(), 1);
        const Exception error = errors.first().first().value<Exception>();
        QCOMPARE(error.message, QStringLiteral("Cannot open file %0").arg(path));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestFileMappingSerializer)
#include "tst_filemappingserializer.moc"
