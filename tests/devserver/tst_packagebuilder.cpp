#include "ctestdatadir.h"
#include "ctestdevserver.h"
#include "zip/unzip.h"

#include <QBuffer>
#include <QDirIterator>
#include <QtTest>

namespace
{
// name -> bytes of every file below a folder.
QMap<QString, QByteArray> folderContent(const QDir& folder)
{
    QMap<QString, QByteArray> content;
    for (QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString file = it.next();
        content.insert(folder.relativeFilePath(file), CTestDataDir::readFile(file));
    }
    return content;
}

// name -> bytes of every entry; empty when an entry cannot be read, is encrypted, or is not deflated where
// that pays (60 bytes and more).
QMap<QString, QByteArray> packageContent(const QString& package)
{
    UnZip archive;
    QMap<QString, QByteArray> content;
    archive.open(package); // a package that cannot be read has no entries
    for (const UnZip::EntryInfo& entry : archive.entries()) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (entry.encrypted || archive.extractFile(entry.fileName, &buffer) != UnZip::Ok ||
            entry.compression != (entry.uncompressedSize < 60 ? UnZip::Stored : UnZip::Deflated))
            return {};
        content.insert(entry.fileName, buffer.data());
    }
    return content;
}
} // namespace

// The data packages the development service packs from its package sources when it starts.
class TestPackageBuilder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;

    QString path(const QString& relative) const { return m_root->filePath(relative); }
    bool packageFitsSources(const QString& name) const
    {
        return packageContent(path(QStringLiteral("packages/%1.zip").arg(name))) ==
               folderContent(QDir(path(QStringLiteral("package-sources/") + name)));
    }
    // With a time, the file gets that modification time.
    void write(const QString& relative, const QByteArray& content, const QDateTime& time = QDateTime()) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
        QVERIFY(file.flush()); // before the time is set, which a later write would move on
        QVERIFY(!time.isValid() || file.setFileTime(time, QFileDevice::FileModificationTime));
    }
    // Starts a service on the root, as a restart would: its setRoot message, or why it did not run.
    QString start() const
    {
        CTestDevServer service(m_root->path());
        return service.isRunning() ? service.errorMessage() : QStringLiteral("not running: ") + service.errorMessage();
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QByteArray fixes;
        for (int i = 0; i < 120; ++i)
            fixes += QByteArray("FX") + QByteArray::number(i).rightJustified(3, '0') + "  47.4520  -8.5604  LS\n";
        write(QStringLiteral("package-sources/alpha/1b2c3d4e-0000-4000-8000-000000000001.index"), "<mapping/>\n");
        write(QStringLiteral("package-sources/alpha/fixes.dat"), fixes);
        write(QStringLiteral("package-sources/alpha/tiny.txt"), "2612\n");
        write(QStringLiteral("package-sources/alpha/proc/deep/kbfi.prc"), fixes.left(700));
        write(QStringLiteral("package-sources/beta/navaids.dat"), fixes.right(900));
    }

    void packagesFollowTheirSources_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a file edited") << "edit";
        QTest::newRow("a file added in a subfolder") << "add";
        // Shows only in its folder's time, which two service starts put well after the package's.
        QTest::newRow("a file removed") << "remove";
    }

    void packagesFollowTheirSources()
    {
        QFETCH(QString, change);
        // Names relative to the source folder, the bytes as they are, deflated where it pays, no password.
        QCOMPARE(start(), QString());
        QVERIFY(packageFitsSources(QStringLiteral("alpha")));
        const QDateTime built = QFileInfo(path(QStringLiteral("packages/alpha.zip"))).lastModified();

        // A package as new as its sources stays as it is, whatever it holds; one without sources is never
        // touched.
        write(QStringLiteral("packages/alpha.zip"), "left alone", built);
        write(QStringLiteral("packages/orphan.zip"), "no sources", built.addYears(-3));
        QCOMPARE(start(), QString());
        QCOMPARE(CTestDataDir::readFile(path(QStringLiteral("packages/alpha.zip"))), QByteArray("left alone"));

        if (change == QLatin1String("edit"))
            write(QStringLiteral("package-sources/alpha/tiny.txt"), "2613\n", built.addSecs(2));
        else if (change == QLatin1String("add"))
            write(QStringLiteral("package-sources/alpha/proc/kjfk.prc"), "SID  DEEZZ5  31L", built.addSecs(2));
        else
            QVERIFY(QFile::remove(path(QStringLiteral("package-sources/alpha/proc/deep/kbfi.prc"))));
        QCOMPARE(start(), QString());
        QVERIFY(packageFitsSources(QStringLiteral("alpha")));
        QCOMPARE(CTestDataDir::readFile(path(QStringLiteral("packages/orphan.zip"))), QByteArray("no sources"));
        QCOMPARE(QFileInfo(path(QStringLiteral("packages/orphan.zip"))).lastModified(), built.addYears(-3));
    }

    void failedPackageIsReportedAndTheRestServed()
    {
        // A folder where the package should go: nothing can be written there.
        QVERIFY(QDir().mkpath(path(QStringLiteral("packages/alpha.zip/keep"))));
        const QString message = start();
        QVERIFY2(message.startsWith(path(QStringLiteral("packages/alpha.zip"))), qPrintable(message));
        QVERIFY(packageFitsSources(QStringLiteral("beta")));
    }
};

QTEST_GUILESS_MAIN(TestPackageBuilder)
#include "tst_packagebuilder.moc"
