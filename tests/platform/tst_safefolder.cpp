#include "platform/csafefolder.h"
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The program's work folders: a link planted in or at them never leads a removal outside, and a folder
// the program works in is its own and private.
class TestSafeFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    void write(const QString& relative)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the user's");
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        write(QStringLiteral("outside/keep.dat"));
        write(QStringLiteral("work/sub/new.dat"));
    }
    void cleanup()
    {
        QVERIFY(CSafeFolder::remove(path(QStringLiteral("work"))));
        QVERIFY(CSafeFolder::remove(path(QStringLiteral("outside"))));
    }

    void removeNeverFollowsALink_data()
    {
        QTest::addColumn<QString>("link");   // where a link to the outside folder is planted
        QTest::addColumn<QString>("target"); // what it points to
        QTest::newRow("the folder itself") << "work"
                                           << "outside";
        QTest::newRow("a folder inside") << "work/sub/planted"
                                         << "outside";
        QTest::newRow("a file inside") << "work/planted.dat"
                                       << "outside/keep.dat";
    }
    void removeNeverFollowsALink()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        if (link == QLatin1String("work"))
            QVERIFY(QDir(path(link)).removeRecursively()); // nothing of the outside yet
        QVERIFY(QFile::link(path(target), path(link)));
        QVERIFY(CSafeFolder::isLink(path(link)));

        QString problem;
        QVERIFY2(CSafeFolder::remove(path(QStringLiteral("work")), &problem), qPrintable(problem));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("work"))) && !CSafeFolder::isLink(path(QStringLiteral("work"))));
        QCOMPARE(QFile(path(QStringLiteral("outside/keep.dat"))).size(), qint64(10));
    }

    void privateFolderIsTheProgramsOwn()
    {
#ifndef Q_OS_UNIX
        QSKIP("folder modes are POSIX");
#endif
        QString problem;
        QVERIFY(CSafeFolder::makePrivate(path(QStringLiteral("work")), &problem)); // existing, opened up
        QVERIFY(CSafeFolder::makePrivate(path(QStringLiteral("work/fresh")), &problem));
        for (const QString& folder : {QStringLiteral("work"), QStringLiteral("work/fresh")}) {
            struct stat status;
            QCOMPARE(stat(QFile::encodeName(path(folder)).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, mode_t(0700));
        }

        QVERIFY(QFile::link(path(QStringLiteral("outside")), path(QStringLiteral("work/link"))));
        QVERIFY(!CSafeFolder::makePrivate(path(QStringLiteral("work/link")), &problem));
        QVERIFY2(problem.contains(QStringLiteral("is a link")), qPrintable(problem));
        QVERIFY(!CSafeFolder::makePrivate(path(QStringLiteral("work/sub/new.dat")), &problem));
    }
};

QTEST_GUILESS_MAIN(TestSafeFolder)
#include "tst_safefolder.moc"
