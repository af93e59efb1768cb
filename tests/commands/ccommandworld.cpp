#include "ccommandworld.h"

#include "commands/ccommandfactory.h"
#include "commands/cioutils.h"
#include "commands/cprogramcommandqueue.h"
#include "commands/cqueueable.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cdataindexserializer.h"
#include "foundation/cdatalocations.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/cuser.h"
#include "zip/zip.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

const QUuid CCommandWorld::Addon(QStringLiteral("{a7e1c6d2-5b43-4f0e-9c1a-2d3e4f5a6b7c}"));
const QUuid CCommandWorld::Mapping(QStringLiteral("{0c6e1f0a-58b2-4f4e-9d27-3a1e5c7b9d42}"));

namespace
{
const QString addonText = CCommandWorld::Addon.toString(QUuid::WithoutBraces);

// Deterministic, not very compressible: navigation records with a changing tail.
QByteArray records(const QByteArray& kind, int count, int seed)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += kind + ' ' + QByteArray::number(i * 7919 + seed) + ' ' + QByteArray::number((i * seed) % 977) + '\n';
    return bytes;
}
} // namespace

QByteArray CCommandWorld::mappingXml(int revision)
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mapping cycle=\"2612\" revision=\"%0\">\n"
               "  <sim simulator=\"USER\">\n"
               "    <file source=\"wpt.dat\" destination=\"waypoints.dat\"/>\n"
               "    <directory name=\"nav\"><file name=\"navaids.dat\"/>\n"
               "      <directory name=\"proc\"><file source=\"sid.dat\" destination=\"sid.txt\"/></directory>\n"
               "    </directory>\n  </sim>\n</mapping>\n")
        .arg(revision)
        .toUtf8();
}

bool CCommandWorld::serveProbeIndex(CTestDevServer& service, QString* problem)
{
    QFile::copy(CTestDevServer::samplesRoot() + QStringLiteral("/service.json"),
                service.rootPath() + QStringLiteral("/service.json"));
    service.writeFile(
        QStringLiteral("data.index"),
        QStringLiteral("<addonIndexes cycle=\"2612\" id=\"{5e44e40f-3003-4869-89f3-babd8f3a9dcc}\" internalId=\"int\">"
                       "<addon name=\"Probe Navigator\" guid=\"%0\" revision=\"4\" masterfile=\"probe.zip\">"
                       "<mapping simulator=\"TOOL\"><directory path=\"[PROGRAMROOT]\"/></mapping></addon>"
                       "</addonIndexes>")
            .arg(addonText)
            .toUtf8());
    if (!service.server().setRoot(service.rootPath(), problem))
        return false;
    service.useAsServerAddress();
    return true;
}

CCommandWorld::CCommandWorld()
{
    // Downloads go below the temporary folder: the sandbox's own.
    m_environment.set("TMPDIR", QFile::encodeName(m_data.filePath(QStringLiteral("tmp"))));
    QDir().mkpath(m_data.filePath(QStringLiteral("tmp")));

    m_service = std::make_unique<CTestDevServer>();
    if (!m_service->isRunning()) {
        m_problem = m_service->errorMessage();
        return;
    }
    if (!serveProbeIndex(*m_service, &m_problem))
        return;

    m_newFiles = {{QStringLiteral("waypoints.dat"), records("WPT", 4000, 4)},
                  {QStringLiteral("nav/navaids.dat"), records("NAV", 3000, 4)},
                  {QStringLiteral("nav/proc/sid.txt"), records("SID", 500, 4)}};
    m_oldFiles = {{QStringLiteral("waypoints.dat"), records("WPT", 3900, 3)},
                  {QStringLiteral("nav/navaids.dat"), records("NAV", 2900, 3)},
                  {QStringLiteral("nav/proc/sid.txt"), records("SID", 400, 3)}};
    publishPackage(mappingXml(4), {{QStringLiteral("wpt.dat"), m_newFiles.value(QStringLiteral("waypoints.dat"))},
                                   {QStringLiteral("navaids.dat"), m_newFiles.value(QStringLiteral("nav/navaids.dat"))},
                                   {QStringLiteral("sid.dat"), m_newFiles.value(QStringLiteral("nav/proc/sid.txt"))}});
    for (auto it = m_oldFiles.cbegin(); it != m_oldFiles.cend(); ++it)
        m_data.writeFile(QStringLiteral("addon/") + it.key(), it.value());
    m_data.writeFile(QStringLiteral("addon/") + addonText + QStringLiteral(".index"), mappingXml(3));

    // The index as the program holds it after its start: supported and mapped add-ons.
    CDataIndex* index = CDataIndex::instance();
    CDataIndexSerializer reader;
    QObject::connect(&reader, &CDataIndexSerializer::addonFound, index, &CDataIndex::addSupportedAddon);
    reader.deserialize(m_service->rootPath() + QStringLiteral("/data.index"));
    auto* mapped = new IndexInfo;
    mapped->guid = Addon;
    mapped->name = QStringLiteral("Probe Navigator");
    auto* location = new IndexPathInfo;
    location->mappingGuid = Mapping;
    location->simulator = 0x8000; // TOOL
    location->directory = QDir::toNativeSeparators(addonFolder());
    location->cycle = 2611;
    mapped->insertPath(location);
    index->addMappedAddon(mapped);

    bool signedIn = false;
    QObject context;
    QObject::connect(CUser::instance(), &CUser::onRESTCompleted, &context, [&]() { signedIn = true; });
    CUser::instance()->login(QStringLiteral("demo"), QStringLiteral("demo-pass-2612"));
    bool connected = false;
    QObject::connect(CNetworkStatus::instance(), &CNetworkStatus::connectionChanged, &context,
                     [&](bool state) { connected = state; });
    CNetworkStatus::instance()->check();
    m_ready = QTest::qWaitFor([&]() { return signedIn && connected; }, 20000);
    if (!m_ready)
        m_problem = QStringLiteral("no sign-in or no connection to the development service");
}

CCommandWorld::~CCommandWorld()
{
    CDataIndex::resetInstance();
    CUser::resetInstance();
    CNetworkStatus::resetInstance();
}

QString CCommandWorld::addonFolder() const
{
    return m_data.filePath(QStringLiteral("addon"));
}

QString CCommandWorld::installedIndex() const
{
    return CDataLocations::installedIndexPath(addonFolder(), Addon);
}

void CCommandWorld::publishPackage(const QByteArray& mapping, const QMap<QString, QByteArray>& entries)
{
    const QString sources = m_data.filePath(QStringLiteral("package-sources"));
    QDir(sources).removeRecursively();
    const QString package = m_service->rootPath() + QStringLiteral("/packages/probe.zip");
    QDir().mkpath(QFileInfo(package).absolutePath());
    Zip zip;
    zip.create(package, true);
    const QString mappingFile =
        m_data.writeFile(QStringLiteral("package-sources/") + addonText + QStringLiteral(".index"), mapping);
    zip.addFileAs(mappingFile, addonText + QStringLiteral(".index"));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        zip.addFileAs(m_data.writeFile(QStringLiteral("package-sources/") + it.key(), it.value()), it.key());
    zip.close();
}

QByteArray CCommandWorld::packageBytes() const
{
    return CTestDataDir::readFile(m_service->rootPath() + QStringLiteral("/packages/probe.zip"));
}

QString CCommandWorld::differenceFrom(const QMap<QString, QByteArray>& files) const
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = addonFolder() + QLatin1Char('/') + it.key();
        if (!QFileInfo::exists(path))
            return it.key() + QStringLiteral(" is missing");
        if (CTestDataDir::readFile(path) != it.value())
            return it.key() + QStringLiteral(" differs");
    }
    return QString();
}

QList<int> CCommandWorld::Outcome::errorNumbers() const
{
    QList<int> numbers;
    for (const Exception& error : errors)
        numbers.append(error.errorNumber);
    return numbers;
}

CCommandWorld::Outcome CCommandWorld::run(CQueueable* command, const PulseWatch& onPulse)
{
    Outcome outcome;
    CProgramCommandQueue queue;
    QObject context;
    if (onPulse)
        QObject::connect(
            command, &CQueueable::taskPulse, command,
            [command, onPulse](const CommandProgress& progress) { onPulse(command, progress); }, Qt::DirectConnection);
    QObject::connect(command, &CQueueable::taskError, &context,
                     [&outcome](const Exception& error) { outcome.errors.append(error); });
    QObject::connect(command, &CQueueable::taskCompleted, &context, [&](CQueueable* task) {
        ++outcome.completions;
        outcome.result = task->result();
        queue.taskDone(task);
    });
    queue.addTask(command);
    if (!QTest::qWaitFor([&]() { return outcome.completions > 0; }, 60000))
        qWarning("The command did not complete within a minute.");
    // A second completion would come right behind the first.
    QTest::qWait(300);
    return outcome;
}

CCommandWorld::Outcome CCommandWorld::update(const PulseWatch& onPulse)
{
    return run(CCommandFactory::create(CommandInfo(Addon, Mapping, Update)), onPulse);
}

CCommandWorld::Outcome CCommandWorld::backup()
{
    return run(CCommandFactory::create(CommandInfo(Addon, Mapping, Backup)));
}

CCommandWorld::Outcome CCommandWorld::restore(const AddonBackupInfo& backup, int mode)
{
    return run(CCommandFactory::create(CommandInfo(Addon, Mapping, Restore), mode, &backup));
}
