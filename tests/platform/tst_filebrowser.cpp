#include "cscopedenvironment.h"
#include "platform/cfilebrowser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The file manager interface and the folder opener are replaced by small scripts on PATH that record how
// they were called, so that the launch runs for real without a desktop.
class TestFileBrowser : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    CScopedEnvironment m_environment;

    QString recordFile(const QString& program) const { return m_dir.filePath(program + QStringLiteral(".args")); }

    void writeTool(const QString& program, int exitCode)
    {
        const QString path = m_dir.filePath(QStringLiteral("bin/") + program);
        QFile script(path);
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%0.tmp'\n"
                                    "mv '%0.tmp' '%0'\nexit %1\n")
                         .arg(recordFile(program))
                         .arg(exitCode)
                         .toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QFile::remove(recordFile(program));
    }

    QStringList recorded(const QString& program) const
    {
        QFile file(recordFile(program));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    int runLaunch(const QString& path)
    {
        const CFileBrowser::Launch launch = CFileBrowser::launchFor(path);
        return QProcess::execute(launch.program, launch.arguments);
    }

private slots:
    void initTestCase()
    {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        QSKIP("The stand-in tools are shell scripts of the Linux desktop.");
#endif
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("backup, old"))));
        QFile file(m_dir.filePath(QStringLiteral("backup, old/pack 1.bak")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        m_environment.set("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("bin"))) + ":/usr/bin:/bin");
    }

    void fileManagerShowsTheFile()
    {
        writeTool(QStringLiteral("dbus-send"), 0);
        writeTool(QStringLiteral("xdg-open"), 0);
        QCOMPARE(runLaunch(m_dir.filePath(QStringLiteral("backup, old/pack 1.bak"))), 0);

        const QStringList arguments = recorded(QStringLiteral("dbus-send"));
        QVERIFY(arguments.contains(QStringLiteral("--dest=org.freedesktop.FileManager1")));
        QVERIFY(arguments.contains(QStringLiteral("org.freedesktop.FileManager1.ShowItems")));
        // The comma of the folder name must not split the array item.
        const QString url = QStringLiteral("array:string:file://%0").arg(m_dir.path()) +
                            QStringLiteral("/backup%2C%20old/pack%201.bak");
        QVERIFY2(arguments.contains(url), qPrintable(arguments.join(QLatin1Char(' '))));
        QVERIFY(recorded(QStringLiteral("xdg-open")).isEmpty());
    }

    void folderOpensWithoutFileManager()
    {
        writeTool(QStringLiteral("dbus-send"), 1);
        writeTool(QStringLiteral("xdg-open"), 0);
        QCOMPARE(runLaunch(m_dir.filePath(QStringLiteral("backup, old/pack 1.bak"))), 0);
        QCOMPARE(recorded(QStringLiteral("xdg-open")), QStringList{m_dir.filePath(QStringLiteral("backup, old"))});
    }

    void showFileStartsDetached()
    {
        writeTool(QStringLiteral("dbus-send"), 0);
        QVERIFY(CFileBrowser::showFile(m_dir.filePath(QStringLiteral("backup, old\\pack 1.bak"))));
        QTRY_VERIFY_WITH_TIMEOUT(!recorded(QStringLiteral("dbus-send")).isEmpty(), 20000);
    }
};

QTEST_GUILESS_MAIN(TestFileBrowser)
#include "tst_filebrowser.moc"
