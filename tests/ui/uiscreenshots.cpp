// Renders the window's views to PNG files for the README: the log-in page, the empty add-on list, the list with an
// item in every status and a running and a waiting task, the mappings page, a message of every type, the settings
// and the simulator folders. The items are the add-on locations of the sample data index; the window is fed through
// its view calls.
//
// Usage: tessaray-uiscreenshots DATA_INDEX OUTPUT_FOLDER [SUFFIX]   (scripts/screenshots runs it)
#include "ctestdatadir.h"
#include "foundation/csettings.h"
#include "platform/cregistry.h"
#include "ui/cmainwindow.h"
#include "ui/csettingsinnerwidget.h"
#include "ui/csettingsview.h"
#include "ui/csimulatorfolderspage.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <QXmlStreamReader>

namespace
{
QList<AddonItemRecord> sampleRecords(const QString& dataIndex)
{
    QList<AddonItemRecord> records;
    QFile file(dataIndex);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    QXmlStreamReader xml(&file);
    QString name;
    QUuid guid;
    AddonItemRecord record;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("addon")) {
            name = attributes.value(QLatin1String("name")).toString();
            guid = QUuid(attributes.value(QLatin1String("guid")).toString());
        } else if (xml.name() == QLatin1String("mapping")) {
            record = AddonItemRecord();
            record.addonGuid = guid;
            record.mappingGuid = QUuid::createUuidV5(guid, QString::number(records.size()));
            record.name = name;
            record.simulator = attributes.value(QLatin1String("simulator")).toString();
            record.platform = attributes.value(QLatin1String("platform")).toString();
            record.specified = attributes.value(QLatin1String("specified")) == QLatin1String("manual");
        } else if (xml.name() == QLatin1String("directory")) {
            record.directory = attributes.value(QLatin1String("path")).toString();
            const int status = records.size() % 9;
            record.status = status;
            record.cycle = status == ItemNotInstalled ? 0 : 2611 + (status == ItemUpdated);
            record.revision = 2;
            record.currentCycle = 2612;
            record.currentRevision = 3;
            record.backupDate = QDateTime(QDate(2026, 11, 2), QTime(9, 30));
            records.append(record);
        }
    }
    return records;
}

bool save(QWidget* window, const QString& folder, const QString& name, const QString& suffix)
{
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name + suffix + QStringLiteral(".png"));
    if (!window->grab().save(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication application(argc, argv);
    if (argc < 3) {
        QTextStream(stderr) << "usage: tessaray-uiscreenshots DATA_INDEX OUTPUT_FOLDER [SUFFIX]\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString suffix = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QDir().mkpath(folder);
    // Settings of its own, so that the user's window state plays no part.
    CTestDataDir data;

    CMainWindow window;
    window.resize(1000, 700);
    window.show();
    bool ok = save(&window, folder, QStringLiteral("login"), suffix);

    window.switchView(1);
    window.setUserStatus(QStringLiteral("pilot"), QStringLiteral("2612"));
    ok = save(&window, folder, QStringLiteral("empty"), suffix) && ok;
    const QList<AddonItemRecord> records = sampleRecords(QString::fromLocal8Bit(argv[1]));
    for (const AddonItemRecord& record : records)
        window.addMappedAddon(record);
    if (records.size() > 1) {
        window.setLoadingIconVisible(
            {records[0].addonGuid, records[0].mappingGuid, QStringLiteral("Downloading."), true, 2, 0});
        window.setItemProgress(records[0].addonGuid, records[0].mappingGuid,
                               QStringLiteral("Downloading Vireo V700 - 1.00 MB/2.00 MB downloaded (50%)"),
                               QStringLiteral("Downloading (50%)"), 50);
        window.setLoadingIconVisible(
            {records[1].addonGuid, records[1].mappingGuid, QStringLiteral("Waiting for backup. "), true, 0 + 1024, 0});
    }
    ok = save(&window, folder, QStringLiteral("list"), suffix) && ok;

    window.switchView(2);
    ok = save(&window, folder, QStringLiteral("mappings"), suffix) && ok;

    window.switchView(1);
    const int types[] = {1, 2, 5, 7, 8, 0};
    for (int type : types)
        window.addMessage(type, QStringLiteral("A message of type %0.").arg(type));
    ok = save(&window, folder, QStringLiteral("messages"), suffix) && ok;

    window.displayWaitingMessage(QStringLiteral("Updating your data index..."));
    ok = save(&window, folder, QStringLiteral("waiting"), suffix) && ok;
    window.hideWaitingScreen();
    for (int type : types)
        window.removeMessage(QStringLiteral("A message of type %0.").arg(type));

    // The settings as the window shows them, and the whole page, every section, in one picture.
    window.switchView(3);
    ok = save(&window, folder, QStringLiteral("settings"), suffix) && ok;
    CSettingsInnerWidget* sections = window.settingsView()->inner();
    sections->resize(sections->width(), sections->sizeHint().height());
    ok = save(sections, folder, QStringLiteral("settings-page"), suffix) && ok;

    // The simulator folders, once read: one found in the registry, two entered in the settings.
    const QDir sims(data.filePath(QStringLiteral("sims")));
    for (const char* name : {"Prepar3D v4", "FSX", "X-Plane 11"})
        sims.mkpath(QLatin1String(name));
    CRegistry::writeValue(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v4"),
                          QStringLiteral("AppPath"), sims.filePath(QStringLiteral("Prepar3D v4")));
    CSettings::setValue(QStringLiteral("simulators/FSX"), sims.filePath(QStringLiteral("FSX")));
    CSettings::setValue(QStringLiteral("simulators/XP11"), sims.filePath(QStringLiteral("X-Plane 11")));
    QEventLoop loop;
    auto* simulators = window.findChild<CSimulatorFoldersPage*>();
    QObject::connect(simulators, &CSimulatorFoldersPage::refreshed, &loop, &QEventLoop::quit);
    window.switchView(5);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    ok = save(&window, folder, QStringLiteral("simulators"), suffix) && ok;
    return ok ? 0 : 1;
}
