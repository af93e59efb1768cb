// The main job through the real window, as a new user meets it in the demo: sample simulators with the
// previous cycle installed, no stored log-in, the development service with the sample content. Signs in by
// keyboard, accepts the scan prompt and saves the mappings, updates one add-on from its item button with
// automatic backup on, and puts that backup back from the backup menu; each step is checked on what the
// window shows and on the add-on's files.

#include "cclirun.h"
#include "cscopedenvironment.h"
#include "ctestdevserver.h"
#include "dataindex/cdataindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "model/cinitializer.h"
#include "ui/caddonitemwidget.h"
#include "ui/cmainwindow.h"
#include "ui/cmessagelist.h"
#include "ui/cwaitingwidget.h"
#include "webservices/cdatacycle.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace
{
const QString VireoGuid = QStringLiteral("6d8dafe6-f597-468b-b976-909b25cceeeb");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below `folder` by its relative path, with its bytes.
QMap<QString, QByteArray> filesBelow(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readAll(path));
    }
    return files;
}

// What the package of `sources` installs for `simulator`, by place below the add-on folder, read from its
// file mapping rather than from the program.
void collectPackageFiles(const QDomElement& parent, const QString& below, const QString& sources,
                         QMap<QString, QByteArray>* files)
{
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        const QString name = child.attribute(QStringLiteral("name"));
        if (child.tagName() == QLatin1String("file")) {
            const QString source = child.attribute(QStringLiteral("source"), name);
            const QString place = below + child.attribute(QStringLiteral("destination"), name);
            files->insert(place, readAll(sources + QLatin1Char('/') + source));
        } else if (child.tagName() == QLatin1String("directory")) {
            collectPackageFiles(child,
                                below + QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')) + QLatin1Char('/'),
                                sources, files);
        }
    }
}

QMap<QString, QByteArray> packageFiles(const QString& sources, const QString& addonGuid, const QString& simulator)
{
    QDomDocument mapping;
    mapping.setContent(readAll(sources + QLatin1Char('/') + addonGuid + QStringLiteral(".index")));
    QMap<QString, QByteArray> files;
    for (QDomElement sim = mapping.documentElement().firstChildElement(); !sim.isNull();
         sim = sim.nextSiblingElement()) {
        if (sim.attribute(QStringLiteral("simulator")) == simulator)
            collectPackageFiles(sim, QString(), sources, &files);
    }
    return files;
}

// The first file of `expected` that `folder` lacks or holds with other bytes; empty when all match.
QString differenceFrom(const QString& folder, const QMap<QString, QByteArray>& expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!QFile::exists(folder + QLatin1Char('/') + it.key()))
            return it.key() + QStringLiteral(" is missing");
        if (readAll(folder + QLatin1Char('/') + it.key()) != it.value())
            return it.key() + QStringLiteral(" differs");
    }
    return QString();
}
} // namespace

class TestWindowMainJob : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signInScanUpdateRestore();

private:
    // Runs `program` to its end with this process's environment; false with the reason in `m_problem`.
    bool runTool(const QString& program, const QStringList& arguments, const QByteArray& input, QByteArray* output);
    bool layOutSandbox();
    bool messageShown(const QString& text) const;
    QString statusOf(CAddonItemWidget* item) const
    {
        return item->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
    }
    CAddonItemWidget* findItem(const QString& name, const QString& simulator) const;
    int countOutdated() const
    {
        const QList<CAddonItemWidget*> items = m_window->items();
        return int(std::count_if(items.cbegin(), items.cend(), [this](CAddonItemWidget* item) {
            return statusOf(item) == QLatin1String("Outdated");
        }));
    }
    template <typename T> T* widget(const char* name) const
    {
        return m_window ? m_window->findChild<T*>(QLatin1String(name)) : nullptr;
    }

    QTemporaryDir m_scratch;
    CScopedEnvironment m_environment;
    std::unique_ptr<CTestDevServer> m_service;
    QString m_sources;
    QString m_problem;
    int m_found = 0;       // add-on locations of the sample layout, as the command line's scan finds them
    int m_withOldData = 0; // those given the previous cycle's files
    CMainWindow* m_window = nullptr;
    QStringList m_asked;
};

bool TestWindowMainJob::runTool(const QString& program, const QStringList& arguments, const QByteArray& input,
                                QByteArray* output)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_problem = QStringLiteral("%0 failed: %1").arg(program, QString::fromUtf8(process.readAllStandardError()));
        CCliRun::end(process);
        return false;
    }
    *output = process.readAllStandardOutput();
    return true;
}

// As the demo lays it out: the sample simulators and their registry stand-in, the previous cycle's data in
// the add-on folders a scan finds, and a data folder with nothing of the program's own in it.
bool TestWindowMainJob::layOutSandbox()
{
    const QString samples = QFile::decodeName(qgetenv("TESSARAY_SOURCE_DIR")) + QStringLiteral("/samples");
    const QString world = m_scratch.filePath(QStringLiteral("world"));
    QByteArray exports;
    if (!runTool(QStringLiteral("sh"), {samples + QStringLiteral("/make-fake-sims"), world}, {}, &exports))
        return false;
    // Lines of the form: export NAME='value', quotes inside the value written as '\''.
    for (const QByteArray& line : exports.split('\n')) {
        if (!line.startsWith("export "))
            continue;
        const int equals = line.indexOf('=');
        QByteArray value = line.mid(equals + 1);
        value = value.mid(1, value.size() - 2).replace("'\\''", "'");
        m_environment.set(line.mid(7, equals - 7).constData(), value);
    }
    const QByteArray home = qgetenv("HOME");
    m_environment.set("XDG_DATA_HOME", home + "/.local/share");
    m_environment.set("XDG_CONFIG_HOME", home + "/.config");
    m_environment.set("XDG_CACHE_HOME", home + "/.cache");
    m_environment.set("TMPDIR", QFile::encodeName(m_scratch.filePath(QStringLiteral("tmp"))));
    QDir().mkpath(m_scratch.filePath(QStringLiteral("tmp")));
    CLogger::setLogFileName(QStringLiteral("window.log"));

    QByteArray hits, installed;
    if (!runTool(CCliRun::program(), {QStringLiteral("scan"), QStringLiteral("--json")}, {}, &hits) ||
        !runTool(QStringLiteral("python3"), {samples + QStringLiteral("/install-old-data")}, hits, &installed))
        return false;
    m_found = QJsonDocument::fromJson(hits).array().size();
    // One line per location: name, simulator, "<count> files of cycle 2611".
    for (const QByteArray& line : installed.split('\n'))
        m_withOldData += line.contains('\t') && !line.split('\t').value(2).startsWith("0 ");
    QFile::remove(CDataLocations::dataIndexFilePath());
    QFile::remove(CDataLocations::mappingListFilePath());

    const QString service = m_scratch.filePath(QStringLiteral("service"));
    if (!CTestDevServer::copySamples(service)) {
        m_problem = QStringLiteral("the sample service content could not be copied");
        return false;
    }
    m_sources = service + QStringLiteral("/package-sources");
    m_service = std::make_unique<CTestDevServer>(service);
    if (!m_service->isRunning()) {
        m_problem = m_service->errorMessage();
        return false;
    }
    m_service->useAsServerAddress();
    return true;
}

void TestWindowMainJob::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY2(layOutSandbox(), qPrintable(m_problem));
    // The sample layout has locations with old data and one without, which must not count as outdated.
    QVERIFY(m_withOldData > 1 && m_withOldData < m_found);
}

void TestWindowMainJob::cleanupTestCase()
{
    delete m_window;
    m_window = nullptr;
    CInitializer::resetInstance();
    CDataCycle::resetInstance();
    CDataIndex::resetInstance();
    CUser::resetInstance();
    CNetworkStatus::resetInstance();
    m_service.reset();
}

bool TestWindowMainJob::messageShown(const QString& text) const
{
    const QList<CMessageItem*> shown = m_window->messageList()->items();
    return std::any_of(shown.cbegin(), shown.cend(), [&](CMessageItem* item) { return item->text() == text; });
}

CAddonItemWidget* TestWindowMainJob::findItem(const QString& name, const QString& simulator) const
{
    for (CAddonItemWidget* item : m_window->items()) {
        if (item->record().name == name && item->record().simulator == simulator)
            return item;
    }
    return nullptr;
}

void TestWindowMainJob::signInScanUpdateRestore()
{
    m_window = new CMainWindow;
    m_window->setQuestionAnswerer([this](const QString& title, const QString&, const QStringList&) {
        m_asked.append(title);
        return title == QLatin1String("Scan for addons") ? 0 : -1;
    });
    m_window->setFileAnswerer([this](const QString& title) {
        m_asked.append(title);
        return QString();
    });
    m_window->show();
    m_window->initializeModel();

    // No stored log-in: the log-in page, once the service is known to be there.
    QTRY_VERIFY_WITH_TIMEOUT(CNetworkStatus::instance()->isConnected(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(m_window->waitingWidget()->isHidden(), 15000);
    QCOMPARE(m_window->currentView(), 4);
    auto* userName = widget<QLineEdit>("userNameEdit");
    auto* password = widget<QLineEdit>("passwordEdit");
    QTest::keyClicks(userName, QStringLiteral("demo"));
    QTest::keyClicks(password, QStringLiteral("demo-pass-2612"));
    QTest::keyClick(password, Qt::Key_Return);

    // Nothing mapped yet: the window offers the scan; accepted, it runs on the mappings page.
    QTRY_COMPARE_WITH_TIMEOUT(m_asked, QStringList{QStringLiteral("Scan for addons")}, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("welcomeLabel")->text().contains(QLatin1String("<b>demo</b>")), 5000);
    QCOMPARE(m_window->currentView(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(messageShown(QStringLiteral("Scan completed - %0 addons detected.").arg(m_found)), 30000);
    QCOMPARE(m_window->items().size(), m_found);
    QVERIFY(!QFile::exists(CDataLocations::mappingListFilePath()));
    QTest::mouseClick(widget<QToolButton>("saveMappingButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(messageShown(QStringLiteral("Your addon mappings have been saved.")), 15000);
    QVERIFY(QFile::exists(CDataLocations::mappingListFilePath()));

    // The add-ons with the previous cycle installed are outdated.
    QTest::mouseClick(widget<QPushButton>("addonsViewButton"), Qt::LeftButton);
    QCOMPARE(m_window->currentView(), 1);
    CAddonItemWidget* vireo = findItem(QStringLiteral("Vireo V700"), QStringLiteral("FSX"));
    QVERIFY(vireo);
    QTRY_COMPARE_WITH_TIMEOUT(statusOf(vireo), QStringLiteral("Outdated"), 15000);
    QCOMPARE(countOutdated(), m_withOldData);

    // Update from the item's button, backing up the previous cycle first.
    const QString folder = QDir::fromNativeSeparators(vireo->record().directory);
    const QMap<QString, QByteArray> before = filesBelow(folder);
    const QMap<QString, QByteArray> newFiles =
        packageFiles(m_sources + QStringLiteral("/vireo_v700"), VireoGuid, QStringLiteral("FSX"));
    QVERIFY(!newFiles.isEmpty());
    QVERIFY(!differenceFrom(folder, newFiles).isEmpty());
    QTest::mouseClick(vireo->findChild<QToolButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(statusOf(vireo), QStringLiteral("Up to date"), 30000);
    QCOMPARE(differenceFrom(folder, newFiles), QString());
    QCOMPARE(countOutdated(), m_withOldData - 1); // that item's button updates that item only
    QVERIFY(readAll(folder + QLatin1Char('/') + VireoGuid + QStringLiteral(".index")).contains("cycle=\"2612\""));

    // The backup the update made, from the item's backup menu, puts the previous cycle back.
    QTest::mouseClick(vireo->findChild<QToolButton*>(QStringLiteral("restoreButton")), Qt::LeftButton);
    QMenu* menu = m_window->backupMenu();
    QTRY_VERIFY(menu->isVisible());
    const QList<QAction*> entries = menu->actions();
    QCOMPARE(entries.size(), 1);
    QVERIFY2(entries.first()->text().startsWith(QLatin1String("2611 rev ")), qPrintable(entries.first()->text()));
    QMenu* entry = entries.first()->menu();
    QVERIFY(entry);
    QAction* restore = entry->actions().value(0);
    QVERIFY(restore);
    QCOMPARE(restore->text(), QStringLiteral("&Restore"));
    menu->hide();
    restore->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(statusOf(vireo), QStringLiteral("Restored"), 30000);
    QMap<QString, QByteArray> restored = filesBelow(folder);
    QMap<QString, QByteArray> previous = before;
    // The version record now says where the files came from; the data files are the user's own again.
    const QString record = VireoGuid + QStringLiteral(".index");
    QVERIFY(restored.take(record).contains("cycle=\"2611\""));
    previous.remove(record);
    QCOMPARE(restored, previous);

    // Nothing runs and nothing is unsaved: the window closes without another question.
    QVERIFY(m_window->close());
    QCOMPARE(m_asked, QStringList{QStringLiteral("Scan for addons")});
}

QTEST_MAIN(TestWindowMainJob)
#include "tst_windowmainjob.moc"
