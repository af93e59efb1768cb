#include "cupdatecommand.h"

#include "commands/cbackupconfigserializer.h"
#include "commands/cbackuppackager.h"
#include "commands/cinstallplan.h"
#include "commands/cioutils.h"
#include "commands/commanderrors.h"
#include "commands/cpackage.h"
#include "commands/cpackagepassword.h"
#include "commands/cpreflight.h"
#include "dataindex/cdataindex.h"
#include "dataindex/cfilemappingserializer.h"
#include "dataindex/csimulators.h"
#include "downloader/cdownloadstatisticsrecorder.h"
#include "downloader/chttpdownloadmanager.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "platform/cfolderescape.h"
#include "platform/csafefolder.h"
#include "webservices/cnetworkstatus.h"
#include "webservices/crestapi.h"
#include "webservices/cuser.h"
#include "zip/unzip.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

namespace
{
constexpr int pulseInterval = 200; // ms
// The add-on whose own settings file must be told to use the installed data.
const QString settingsFixAddon = QStringLiteral("{f1d4b235-9e13-4488-a32a-7665987b2e55}");

} // namespace

CUpdateCommand::CUpdateCommand(CommandInfo* info, const AddonStatus& target)
    : CAddonCommand(info, target)
{
    connect(this, &CQueueable::taskError, this, &CUpdateCommand::onErorThrown, Qt::DirectConnection);
    getUpdateInfo();
}

CUpdateCommand::~CUpdateCommand() = default;

qint64 CUpdateCommand::phaseMilliseconds(CommandPhase phase) const
{
    return m_phaseTimes[int(phase)];
}

void CUpdateCommand::enterPhase(CommandPhase phase)
{
    m_phase = phase;
}

void CUpdateCommand::getUpdateInfo()
{
    BV_LOG(1, QStringLiteral("Try get update info."));
    // Nobody listens yet while the command is being made: the error is reported when it runs.
    if (!target().isMapped()) {
        m_preparationError = BV_EXCEPTION(
            11, 6, QStringLiteral("The addon '") + addonGuid().toString() + QStringLiteral("' is not found."));
        return;
    }
    if (!target().supported) {
        m_preparationError = BV_EXCEPTION(
            11, 6, QStringLiteral("The addon '") + addonGuid().toString() + QStringLiteral("' is not supported."));
        return;
    }
    m_addonFolder = target().folder;
    BV_LOG(1, QStringLiteral("Update info fetched."));
}

void CUpdateCommand::run()
{
    BV_LOG(1, QStringLiteral("Start update command..."));
    if (isStopping())
        return;
    m_clock.start();
    m_recorder = new CDownloadStatisticsRecorder(&m_statistics, {}, this);
    m_recorder->prepare(settings().region, CUser::instance()->userId());

    if (m_preparationError.errorNumber != 0) {
        emit taskStarted(this);
        raise(m_preparationError);
        end();
        return;
    }
    if (!CNetworkStatus::instance()->isConnected()) {
        raise(BV_EXCEPTION(16, 5, QStringLiteral("No Internet connection, update canceled.")));
        return;
    }
    emit taskStarted(this);
    if (!holdLocation())
        return;
    enterPhase(CommandPhase::Download);
    pulsePreparing();

    // Before anything is fetched or touched: the folders the update will write to.
    const bool backupOn = autoBackupOn();
    m_downloadFolder = CDataLocations::joinPath(CIOUtils::downloadRoot(), mappingGuid().toString(QUuid::WithoutBraces));
    QString problem;
    if (!CPreflight::addonFolder(m_addonFolder, &problem) ||
        !CPreflight::privateFolder(m_downloadFolder, QStringLiteral("download folder"), &problem) ||
        !CPreflight::installedReplaceable(m_addonFolder, addonGuid(), target().simulator, &problem)) {
        raise(BV_EXCEPTION(12, 7, QStringLiteral("Nothing was updated: %0.").arg(problem)));
        return;
    }
    // A backup folder that can't be used is a failed backup: the user may choose to go on without one.
    if (backupOn && !CPreflight::writableFolder(settings().backupFolder, QStringLiteral("backup folder"), &problem)) {
        raise(BV_EXCEPTION(
            CommandError::BackupFailed, 7,
            QStringLiteral("Nothing was updated, because the backup failed. Nothing was backed up: %0.").arg(problem)));
        return;
    }
    if (!completeInterruptedInstall(m_addonFolder))
        return;

    auto* api = new CRestAPI(this);
    connect(api, &CRestAPI::succeed, this, [this, api](const QJsonDocument& reply) {
        api->deleteLater();
        const QString url = reply.object().value(QStringLiteral("url")).toString();
        const QUrl address(url);
        // An answer is no address until it is one this program can download from.
        if (!address.isValid() ||
            (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https"))) {
            // Level 7: the session is fine, the answer is not; the user is told what came, not to log in again.
            raise(BV_EXCEPTION(
                12, 7,
                QStringLiteral("The web service gave no usable download address for '%0'.").arg(target().masterfile)));
            return;
        }
        m_recorder->addressReceived(url);
        createDownloadTask(url);
    });
    connect(api, &CRestAPI::failed, this, [this, api](QNetworkReply::NetworkError error, const QJsonDocument& reply) {
        api->deleteLater();
        const QString said = reply.object().value(QStringLiteral("error_description")).toString();
        // Only a refused token ends the session (level 6, "Your session is expired..."); a service that fails
        // or can't be reached says so in the record (level 7).
        const bool refused =
            error == QNetworkReply::AuthenticationRequiredError || error == QNetworkReply::ContentAccessDenied;
        raise(BV_EXCEPTION(12, refused ? 6 : 7,
                           QStringLiteral("The web service gave no download address for '%0' (network error "
                                          "%1%2).")
                               .arg(target().masterfile)
                               .arg(int(error))
                               .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said)));
    });
    m_recorder->markStart();
    api->getDownloadUrl(settings().region, CUser::instance()->token(),
                        DownloadRequest(target().masterfile, target().internalId));
}

void CUpdateCommand::createDownloadTask(const QString& url)
{
    BV_LOG(1, QStringLiteral("Creating download task."));
    if (isStopping())
        return;
    m_manager = new CHttpDownloadManager(this);
    m_monitor = new QTimer(this);
    m_monitor->setInterval(pulseInterval);
    connect(m_monitor, &QTimer::timeout, this, &CUpdateCommand::monitor);
    BV_LOG(1, QStringLiteral("Task monitor timer started..."));
    m_monitor->start();

    // The server's name for the file, but never one that would put it elsewhere.
    QString fileName = QUrl(url).fileName();
    if (fileName.trimmed().isEmpty() || CFolderEscape::leavesFolder(fileName))
        fileName = QStringLiteral("package.zip");
    m_archivePath = CDataLocations::joinPath(m_downloadFolder, fileName);

    m_recorder->watch(m_manager);
    connect(m_manager, &CHttpDownloadManager::finished, this, &CUpdateCommand::onDownloadFinished);
    connect(m_manager, &CHttpDownloadManager::latencyMeasured, this,
            [](qint64 latency) { BV_LOG(1, QStringLiteral("Latency: %1").arg(latency)); });
    m_manager->appendTask(url, m_archivePath, 1);
    m_manager->startTask(url);
    BV_LOG(1, QStringLiteral("Update task created. url=%0; filename=%1").arg(url, fileName));
}

void CUpdateCommand::monitor()
{
    if (!isCanceled() && m_phase == CommandPhase::Download) {
        if (m_manager) {
            const DownloadTaskRecord record = m_manager->currentTaskRecord();
            pulse(record.downloaded, record.size);
        } else {
            BV_LOG(1, QStringLiteral("downloader is null."));
        }
        return;
    }
    BV_LOG(1, QStringLiteral("Deleting task monitor timer."));
    m_monitor->stop();
    m_monitor->deleteLater();
    m_monitor = nullptr;
}

void CUpdateCommand::onDownloadFinished(QString& url, CNetworkError& error)
{
    Q_UNUSED(url)
    m_phaseTimes[int(CommandPhase::Download)] = m_clock.restart();
    if (!isStopping() || error.hasError()) {
        // Sent whether the download succeeded or not. Nothing waits for the reply, but the command's end
        // waits for the sending (see end()): the request dies with the command's thread.
        m_statisticsUpload = new CRestAPI(this);
        connect(m_statisticsUpload, &CRestAPI::finished, this, [this]() {
            m_statisticsUpload->deleteLater();
            m_statisticsUpload = nullptr;
            if (m_endPending)
                complete();
        });
        m_statisticsUpload->uploadDownloadStatstics(m_statistics);
    }
    enterPhase(CommandPhase::Install);
    pulsePreparing();
    if (m_manager) {
        m_manager->disconnect(this);
        m_manager->deleteLater();
        m_manager = nullptr;
    }
    if (error.hasError()) {
        // The engine's codes read like HTTP statuses; the user gets the program's own number and the words.
        QString why =
            error.code() == CNetworkError::OwnError ? error.message() : CNetworkError::tableText(error.code());
        while (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        raise(BV_EXCEPTION(CommandError::DownloadFailed, 7,
                           QStringLiteral("The data package could not be downloaded: %0. The "
                                          "installed files are unchanged.")
                               .arg(why.isEmpty() ? QStringLiteral("no reason given") : why)));
        return;
    }
    if (isCanceled()) {
        raiseCanceled();
        return;
    }
    install();
}

bool CUpdateCommand::autoBackupOn()
{
    return !m_backupSkipped && settings().autoBackup;
}

void CUpdateCommand::refuseDamaged(int number, const QString& why)
{
    // A damaged package must not be resumed or reused by the next run.
    CIOUtils::discard(m_archivePath);
    raise(BV_EXCEPTION(number, 7,
                       QStringLiteral("The downloaded package %0 is damaged or incomplete (%1); nothing was installed.")
                           .arg(QFileInfo(m_archivePath).fileName(), why)));
}

void CUpdateCommand::install()
{
    if (isStopping())
        return;
    BV_LOG(1, QStringLiteral("Try to uncompress and install file."));
    // A 200 reply proves nothing: the package is opened once, its file mapping read in memory, and every
    // entry is checked against its CRC as it is staged, before anything is backed up or replaced.
    CPackage package;
    QString problem;
    if (!package.open(m_archivePath, QString(), addonGuid(), target().simulator, m_addonFolder, &problem)) {
        if (package.failure() == CPackage::Failure::BadMapping)
            raise(BV_EXCEPTION(3, 7, QStringLiteral("Nothing was installed: %0.").arg(problem)));
        else
            refuseDamaged(package.failure() == CPackage::Failure::Unopened ? package.openError() : UnZip::FileNotFound,
                          problem);
        return;
    }
    if (package.files().isEmpty()) {
        raise(BV_EXCEPTION(8, 6, tr("Invalid filelist.")));
        return;
    }
    m_incoming = package.files();
    // The backup holds what the installed mapping names and what the new package will overwrite.
    const bool backup = autoBackupOn();
    if (!CPreflight::beforeInstall(package, m_addonFolder, backup ? settings().backupFolder : QString(),
                                   backup ? CBackupPackager::backupSize(backupRequest({})) : 0, &problem)) {
        raise(BV_EXCEPTION(12, 7, QStringLiteral("Nothing was updated: %0.").arg(problem)));
        return;
    }

    CInstallTransaction transaction(m_addonFolder, mappingGuid());
    QString damaged;
    switch (stage(transaction, package, QStringLiteral("installed"), 7, &damaged)) {
    case Staging::Failed:
        return;
    case Staging::Damaged:
        refuseDamaged(UnZip::Corrupted, damaged);
        return;
    case Staging::Staged:
        break;
    }
    package.archive().close();
    m_phaseTimes[int(CommandPhase::Install)] = m_clock.restart();
    if (!autoBackup()) {
        discardStaging(transaction);
        return;
    }
    enterPhase(CommandPhase::Install);
    if (!commitStaged(transaction, QStringLiteral("installed"), 7))
        return;
    // The package has served; a folder that stays is only space, swept with the location's leftovers.
    if (!CSafeFolder::remove(m_downloadFolder))
        BV_LOG(5, QStringLiteral("The download folder %0 could not be removed.").arg(m_downloadFolder));
    m_phaseTimes[int(CommandPhase::Install)] += m_clock.restart();

    if (addonGuid().toString().trimmed().toLower() == settingsFixAddon)
        updateSettingsForAirbusX();
    BV_LOG(1, QStringLiteral("Update installed."));
    end();
}

CBackupPackager::Request CUpdateCommand::backupRequest(const QString& packagePath) const
{
    CBackupPackager::Request request;
    request.addonFolder = m_addonFolder;
    request.addonGuid = addonGuid();
    request.simulator = target().simulator;
    request.packagePath = packagePath;
    request.incoming = m_incoming;
    request.cycle = target().installedCycle;
    request.revision = target().installedRevision;
    return request;
}

bool CUpdateCommand::autoBackup()
{
    BV_LOG(1, QStringLiteral("Try to auto backup files"));
    if (isStopping())
        return false;
    const bool enabled = autoBackupOn();
    BV_LOG(1, QStringLiteral("Auto backup is set to: %0").arg(enabled ? 1 : 0));
    if (enabled) {
        BV_LOG(1, QStringLiteral("Set updating phase to PHASE_BACKUP"));
        enterPhase(CommandPhase::Backup);
        // The files must be kept before one is replaced: an update whose backup fails installs nothing.
        const auto refuse = [this](const QString& reason) {
            raise(BV_EXCEPTION(CBackupPackager::BackupFailed, 7,
                               QStringLiteral("Nothing was updated, because the backup failed. %0").arg(reason)));
        };
        QDateTime date = QDateTime::currentDateTime();
        QString problem;
        const QString packagePath =
            CBackupPackager::reservePackage(settings().backupFolder, mappingGuid(), &date, &problem);
        if (packagePath.isEmpty()) {
            refuse(QStringLiteral("Nothing was backed up: %0.").arg(problem));
            return false;
        }
        BV_LOG(1, QStringLiteral("Backup filename: %0").arg(packagePath));
        QString failure;
        const QString hash = createBackupPackage(m_addonFolder, packagePath, &failure);
        BV_LOG(1, QStringLiteral("File hash: %0").arg(hash));
        if (isCompleted() || isStopping())
            return false; // canceled while packing
        if (hash.isEmpty() && !failure.isEmpty()) {
            refuse(failure);
            return false;
        }
        if (!hash.isEmpty()) {
            AddonBackupInfo backup{addonGuid(), mappingGuid(), settings().backupFolder, packagePath,
                                   hash,        date,          m_backupCycle,           m_backupRevision};
            CBackupConfigSerializer list;
            QString listProblem;
            connect(&list, &CBackupConfigSerializer::taskError, this,
                    [&listProblem](const Exception& error) { listProblem = error.message; });
            // A package no record names would never be offered: one that can't be recorded goes again.
            if (!list.serialize(QVariant::fromValue(&backup)).toBool()) {
                CIOUtils::discard(packagePath);
                refuse(listProblem);
                return false;
            }
            BV_LOG(1, QStringLiteral("Unloading resources..."));
        }
        m_phaseTimes[int(CommandPhase::Backup)] = m_clock.restart();
    }
    BV_LOG(1, QStringLiteral("Auto backup [%0] completed.").arg(enabled ? 1 : 0));
    return true;
}

QString CUpdateCommand::createBackupPackage(const QString& addonFolder, const QString& packagePath, QString* failure)
{
    BV_LOG(1, QStringLiteral("Creating backup package."));
    if (isStopping())
        return QString();
    CBackupPackager::Request request = backupRequest(packagePath);
    request.addonFolder = addonFolder;
    request.password = packagePassword(CUser::instance()->userId());
    request.canceled = stopFlag();
    request.pulse = [this](qint64 done, qint64 total) { pulse(done, total); };
    const CBackupPackager::Result result = CBackupPackager::create(request);
    m_backupCycle = result.cycle;
    m_backupRevision = result.revision;
    if (result.canceled) {
        raiseCanceled();
        return QString();
    }
    if (result.nothingToBackUp)
        BV_LOG(1, QStringLiteral("Nothing installed yet, so nothing to keep: %0").arg(result.errorMessage));
    else if (result.hash.isEmpty())
        *failure = result.errorMessage;
    return result.hash;
}

void CUpdateCommand::updateSettingsForAirbusX()
{
    BV_LOG(1, QStringLiteral("Updating settings for airbus X."));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = CDataLocations::joinPath(
        documents, QDir::fromNativeSeparators(QStringLiteral("Aerosoft\\AerosoftAirbusExtended\\navdata.ini")));
    QFile file(path);
    // A settings file that can't be read is left alone rather than emptied.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        BV_LOG(5, QStringLiteral("The add-on's settings file %0 can't be read; left as it is.").arg(path));
        return;
    }
    QString content;
    QTextStream in(&file);
    while (!in.atEnd()) {
        QString line = in.readLine();
        if (line.trimmed().toLower().startsWith(QLatin1String("usenavdatapro")))
            line = QStringLiteral("useNavDataPro=0\n");
        content += line + QLatin1Char('\n');
    }
    file.close();
    QSaveFile out(path);
    const QByteArray bytes = content.toUtf8();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text) || out.write(bytes) != bytes.size() || !out.commit()) {
        BV_LOG(5, QStringLiteral("The add-on's settings file %0 can't be written (%1); left as it was.")
                      .arg(path, out.errorString()));
        return;
    }
    BV_LOG(1, QStringLiteral("Settings updated."));
}

void CUpdateCommand::stop()
{
    BV_LOG(1, QStringLiteral("Stop update command received."));
    CAddonCommand::stop();
    // The rest happens on the command's own thread, where the download lives.
    QMetaObject::invokeMethod(this, &CUpdateCommand::stopOnOwnThread, Qt::QueuedConnection);
}

void CUpdateCommand::stopOnOwnThread()
{
    if (m_manager) {
        m_manager->disconnect(this);
        m_manager->stopAllTasks();
    }
    // A cancel the work has already noticed has been reported.
    if (!isCompleted() && !hasEnded())
        raiseCanceled();
}

void CUpdateCommand::onErorThrown(Exception)
{
    // Every error ends the update. This slot is the error's first receiver: the end waits until every other
    // one has the error, so that nobody hears of the completion before the reason for it.
    QMetaObject::invokeMethod(this, &CUpdateCommand::end, Qt::QueuedConnection);
}

void CUpdateCommand::end()
{
    m_phase = CommandPhase::Other;
    if (m_monitor) {
        m_monitor->stop();
        m_monitor->deleteLater();
        m_monitor = nullptr;
    }
    if (m_statisticsUpload && !m_endPending) {
        // The statistics are on their way: the command ends when they have been sent, or after a while.
        m_endPending = true;
        QTimer::singleShot(StatisticsWaitMilliseconds, this, [this]() { complete(); });
        return;
    }
    if (!m_statisticsUpload)
        complete();
}
