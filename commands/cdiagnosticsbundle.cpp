#include "cdiagnosticsbundle.h"

#include "commands/caddonstatus.h"
#include "commands/cinstalltransaction.h"
#include "commands/clocalindex.h"
#include "dataindex/cdataindexserializer.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "version.h"
#include "webservices/ccipherkeys.h"
#include "webservices/cdownloadlogutils.h"
#include "webservices/cnetworkaccess.h"
#include "zip/zip.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

namespace
{
const QString Removed = QStringLiteral("<removed>");

// The keys whose values are credentials, or enciphered with the credentials' keys.
const QStringList& credentialKeys()
{
    static const QStringList keys{SettingsKey::ProgramToken, SettingsKey::ProgramUser, SettingsKey::ProxyPassword,
                                  SettingsKey::ProxyUserName};
    return keys;
}

// The file as the user has it, line by line, so that a damaged file can be diagnosed too; a credential
// key keeps its name and loses its value.
QString settingsWithoutCredentials(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    QString group;
    for (QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            group = trimmed.mid(1, trimmed.size() - 2);
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString fullKey =
            group.isEmpty() || group == QLatin1String("General") ? key : group + QLatin1Char('/') + key;
        if (credentialKeys().contains(fullKey, Qt::CaseInsensitive))
            line = line.left(equals + 1) + Removed;
    }
    return lines.join(QLatin1Char('\n'));
}

QString readText(const QString& path, qint64 lastBytes = -1)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    if (lastBytes >= 0 && file.size() > lastBytes)
        file.seek(file.size() - lastBytes);
    return QString::fromUtf8(file.readAll());
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString simulatorsText()
{
    QStringList lines{QStringLiteral("# simulator\tname\tfolder\thow it was found\tfolder exists")};
    for (const CDiagnosticsBundle::SimulatorFolder& found : CDiagnosticsBundle::simulatorFolders()) {
        lines << QStringList{CSimulators::shortName(found.simulator), CSimulators::displayName(found.simulator),
                             found.folder, found.how,
                             found.folder.isEmpty() ? QString()
                             : found.exists         ? QStringLiteral("yes")
                                                    : QStringLiteral("no")}
                     .join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString dataIndexText()
{
    const QString path = CDataLocations::dataIndexFilePath();
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("file\t%0\nmissing\n").arg(native(path));
    const DataIndexHeader header = CDataIndexSerializer::readHeader(path);
    return QStringLiteral("file\t%0\nsize\t%1\nmodified\t%2\nid\t%3\ninternal id\t%4\nrevision\t%5\n"
                          "description\t%6\nfile revision\t%7\n")
        .arg(native(path))
        .arg(info.size())
        .arg(info.lastModified().toUTC().toString(Qt::ISODate),
             header.id.isNull() ? QStringLiteral("(none: not a readable data index)") : header.id.toString(),
             header.internalId, header.revision, header.description, header.fileRevision);
}

QString locationsText(const QList<AddonStatus>& states)
{
    QStringList lines{QStringLiteral("# add-on\tmapping\tname\tsimulator\tfolder\tinstalled cycle\tinstalled "
                                     "revision\tindex cycle\tindex revision\tstate\twhy")};
    for (const AddonStatus& state : states) {
        lines << QStringList{state.addonGuid.toString(),
                             state.mappingGuid.toString(),
                             state.name,
                             state.simulator,
                             native(state.folder),
                             QString::number(state.installedCycle),
                             QString::number(state.installedRevision),
                             QString::number(state.currentCycle),
                             QString::number(state.currentRevision),
                             state.stateText(),
                             state.reason}
                     .join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString proxyText()
{
    const QUrl server(CSettings::stringValue(SettingsKey::ServerAddress));
    const QNetworkProxy proxy = CNetworkAccess::proxyFor(server);
    const QString source = CSettings::boolValue(SettingsKey::EnableProxy) ? QStringLiteral("entered in the settings")
                                                                          : QStringLiteral("the system's");
    if (proxy.type() == QNetworkProxy::NoProxy)
        return QStringLiteral("none");
    return QStringLiteral("%0 (%1)%2")
        .arg(CNetworkAccess::proxyName(proxy), source,
             proxy.user().isEmpty() ? QString() : QStringLiteral(", with a user name"));
}

void loadLocalIndex()
{
    // A missing or damaged file shows as no locations; the file itself is in the bundle.
    Exception ignored;
    QString warning;
    CLocalIndex::load(&ignored, &warning);
}
} // namespace

QStringList CDiagnosticsBundle::secretForms()
{
    const QString storedToken = CSettings::stringValue(SettingsKey::ProgramToken);
    const QString storedPassword = CSettings::stringValue(SettingsKey::ProxyPassword);
    const QString storedUser = CSettings::stringValue(SettingsKey::ProgramUser);
    QStringList forms;
    for (const QString& enciphered : {storedToken, storedPassword, storedUser})
        forms << enciphered << QString::fromLatin1(QUrl::toPercentEncoding(enciphered));
    for (const QString& clear : {CDownloadLogUtils::decryptText(storedToken, CCipherKeys::TokenKey),
                                 CDownloadLogUtils::decryptText(storedPassword)}) {
        forms << clear << QString::fromLatin1(QUrl::toPercentEncoding(clear))
              << QString::fromLatin1(clear.toUtf8().toBase64())
              << QString::fromLatin1(clear.toUtf8().toBase64(QByteArray::Base64UrlEncoding));
    }
    // Shorter texts would take out common words with them; their keys are removed all the same.
    forms.erase(std::remove_if(forms.begin(), forms.end(), [](const QString& form) { return form.size() < 4; }),
                forms.end());
    forms.removeDuplicates();
    // The longer first, so that a form is not cut by another inside it.
    std::sort(forms.begin(), forms.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return forms;
}

QList<CDiagnosticsBundle::SimulatorFolder> CDiagnosticsBundle::simulatorFolders()
{
    QList<SimulatorFolder> folders;
    for (const int simulator : CSimulators::rootSimulators()) {
        const QString key = SettingsKey::SimulatorRootPrefix + CSimulators::shortName(simulator);
        const QString stored = CSimulatorRoots::normalize(CSettings::stringValue(key).trimmed());
        // The lookup alone: root() would store what it finds.
        const QString detected = CSimulatorRoots::lookUp(simulator);
        const QString folder = stored.isEmpty() ? detected : stored;
        QString how;
        if (CSettings::isSimulatorDisabled(simulator))
            how = QStringLiteral("switched off in the settings (simulators/disable)");
        else if (stored.isEmpty())
            how = detected.isEmpty() ? QStringLiteral("not found") : QStringLiteral("found by detection");
        else if (detected.isEmpty())
            how = QStringLiteral("entered in the settings (%0); detection finds nothing").arg(key);
        else if (QString::compare(detected, stored, Qt::CaseInsensitive) == 0)
            how = QStringLiteral("found by detection, kept in the settings (%0)").arg(key);
        else
            how = QStringLiteral("entered in the settings (%0); detection finds %1").arg(key, native(detected));
        folders.append({simulator, native(folder), how, !folder.isEmpty() && QFileInfo(folder).isDir()});
    }
    return folders;
}

QString CDiagnosticsBundle::scrubbed(QString text, const QStringList& secrets)
{
    for (const QString& secret : secrets)
        text.replace(secret, Removed);
    return text;
}

bool CDiagnosticsBundle::write(const QString& path, bool loadIndex, Exception* error)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = BV_EXCEPTION(
                WriteFailed, 7,
                QStringLiteral("The diagnostics could not be written to %0: %1").arg(native(path), reason));
        return false;
    };
    QTemporaryDir staging;
    if (!staging.isValid())
        return fail(QStringLiteral("no temporary folder (%0).").arg(staging.errorString()));

    const QStringList secrets = secretForms();
    QList<Zip::NamedFile> entries;
    QStringList notes;
    QString stagingProblem;
    const auto add = [&](const QString& entryName, const QString& text) {
        const QString file = staging.filePath(QString::number(entries.size()));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(scrubbed(text, secrets).toUtf8()) < 0 || !out.flush()) {
            stagingProblem = QStringLiteral("%0: %1.").arg(file, out.errorString());
            return;
        }
        entries.append({file, entryName});
    };

    if (loadIndex)
        loadLocalIndex();

    // The newest logs first, the oldest cut or left out when they exceed the limit.
    const QString logFolder = QFileInfo(CDataLocations::logFilePath(QStringLiteral("x.log"))).absolutePath();
    const QFileInfoList logs = QDir(logFolder).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Time);
    qint64 budget = LogBytesLimit;
    for (const QFileInfo& log : logs) {
        if (budget <= 0) {
            notes << QStringLiteral("log %0 left out: the logs exceed %1 MiB")
                         .arg(log.fileName())
                         .arg(LogBytesLimit >> 20);
            continue;
        }
        if (log.size() > budget)
            notes << QStringLiteral("log %0: only its last %1 bytes").arg(log.fileName()).arg(budget);
        add(QStringLiteral("logs/") + log.fileName(), readText(log.filePath(), budget));
        budget -= qMin(log.size(), budget);
    }

    const QString settingsPath = CDataLocations::settingsFilePath();
    if (QFileInfo::exists(settingsPath))
        add(QStringLiteral("settings.conf"), settingsWithoutCredentials(readText(settingsPath)));
    else
        notes << QStringLiteral("no settings.conf");
    add(QStringLiteral("simulators.txt"), simulatorsText());
    add(QStringLiteral("data-index.txt"), dataIndexText());
    const QString mappingPath = CDataLocations::mappingListFilePath();
    if (QFileInfo::exists(mappingPath))
        add(QStringLiteral("mapping.index"), readText(mappingPath));
    else
        notes << QStringLiteral("no mapping.index");

    const QList<AddonStatus> states = CAddonStatus::all();
    add(QStringLiteral("locations.txt"), locationsText(states));
    QStringList journalList{QStringLiteral("# entry\tjournal")};
    for (const AddonStatus& state : states) {
        for (const QString& journal : CInstallTransaction::pendingJournals(state.folder)) {
            const QString entry =
                QStringLiteral("journals/%0-%1").arg(journalList.size()).arg(QFileInfo(journal).fileName());
            add(entry, readText(journal));
            journalList << entry + QLatin1Char('\t') + native(journal);
        }
    }
    add(QStringLiteral("journals.txt"), journalList.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    const QStringList about{
        QStringLiteral("program\tTessaray %0").arg(QStringLiteral(TESSARAY_VERSION)),
        QStringLiteral("written\t%0").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
        QStringLiteral("system\t%0 (%1 %2, %3)")
            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                 QSysInfo::currentCpuArchitecture()),
        QStringLiteral("build\t%0, Qt %1 (built with %2)")
            .arg(QSysInfo::buildAbi(), QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)),
        QStringLiteral("data folder\t%0").arg(native(CDataLocations::dataDirectory())),
        QStringLiteral("server\t%0").arg(CSettings::stringValue(SettingsKey::ServerAddress)),
        QStringLiteral("proxy\t%0").arg(proxyText()),
        QStringLiteral("extra certificate authorities\t%0")
            .arg(qEnvironmentVariable(CNetworkAccess::CaFileVariable, QStringLiteral("none"))),
    };
    add(QStringLiteral("about.txt"), (about + notes).join(QLatin1Char('\n')) + QLatin1Char('\n'));
    if (!stagingProblem.isEmpty())
        return fail(stagingProblem);

    Zip zip;
    Zip::ErrorCode code = zip.create(path, true);
    if (code == Zip::Ok)
        code = zip.addFilesAs(entries, Zip::RelativePaths, Zip::Deflate6);
    if (code == Zip::Ok)
        code = zip.close();
    if (code != Zip::Ok) {
        const QString detail = zip.errorDetail();
        zip.discard();
        return fail(detail.isEmpty() ? Zip::errorText(code) : Zip::errorText(code) + QLatin1Char(' ') + detail);
    }
    BV_LOG(6, QStringLiteral("Diagnostics written to %0.").arg(native(path)));
    return true;
}
