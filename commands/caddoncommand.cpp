#include "caddoncommand.h"

#include "commands/cinstallplan.h"
#include "commands/cinstallrecovery.h"
#include "commands/cinstalltransaction.h"
#include "commands/cioutils.h"
#include "commands/cleftovers.h"
#include "commands/clocationlock.h"
#include "commands/commanderrors.h"
#include "commands/cpackage.h"
#include "foundation/cdatalocations.h"
#include "foundation/csettings.h"
#include "platform/cdurablefile.h"
#include "webservices/cuser.h"
#include "zip/unzip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

CAddonCommand::CAddonCommand(CommandInfo* info, const AddonStatus& target)
    : CQueueable(nullptr, info)
    , m_target(target)
{
    // A record of another location than the command's would work on the wrong folder.
    Q_ASSERT(!info || target.folder.isEmpty() ||
             (target.addonGuid == info->addonGuid && target.mappingGuid == info->mappingGuid));
    m_target.addonGuid = info ? info->addonGuid : target.addonGuid;
    m_target.mappingGuid = info ? info->mappingGuid : target.mappingGuid;
}

CAddonCommand::~CAddonCommand() = default;

bool CAddonCommand::checkMapped()
{
    if (m_target.isMapped())
        return true;
    raise(BV_EXCEPTION(11, 6, QStringLiteral("The addon '%0' is not mapped.").arg(addonGuid().toString())));
    return false;
}

bool CAddonCommand::completeInterruptedInstall(const QString& addonFolder)
{
    QString problem;
    if (CInstallRecovery::recoverFolder(addonFolder, &problem))
        return true;
    raise(BV_EXCEPTION(
        13, 7, QStringLiteral("An interrupted install in %0 could not be completed: %1.").arg(addonFolder, problem)));
    return false;
}

void CAddonCommand::raise(const Exception& error)
{
    CLogger::logException(error);
    reportFailure(error);
}

void CAddonCommand::raiseCanceled()
{
    const Exception canceled = BV_EXCEPTION(8, 6, tr("User canceled."));
    CLogger::logException(canceled);
    reportCancel(canceled);
}

bool CAddonCommand::undoInstall(CInstallTransaction& transaction, const QString& problem, const QString& done,
                                int failureLevel)
{
    QString notBack;
    if (!transaction.rollback(&notBack)) {
        // Some file is not the old one: say so, and where the old one is kept, never "unchanged".
        raise(BV_EXCEPTION(
            13, 7,
            QStringLiteral("The %0 stopped (%1), and not every file could be put back: %2. The next "
                           "command for this add-on tries again.")
                .arg(done == QLatin1String("restored") ? QStringLiteral("restore") : QStringLiteral("install"),
                     isCanceled() ? QStringLiteral("canceled") : problem, notBack)));
    } else if (isCanceled()) {
        raiseCanceled();
    } else {
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("The files are unchanged: %0.").arg(problem)));
    }
    return false;
}

const CAddonCommand::Settings& CAddonCommand::settings()
{
    if (!m_settings) {
        Settings settings;
        settings.autoBackup = CSettings::boolValue(SettingsKey::AutoBackup);
        settings.backupFolder = CIOUtils::backupFolder();
        const QString configured = CSettings::stringValue(SettingsKey::ServerRegion).trimmed();
        settings.region = configured.isEmpty() ? CUser::instance()->serverRegion() : configured;
        m_settings = settings;
    }
    return *m_settings;
}

CAddonCommand::Staging CAddonCommand::stage(CInstallTransaction& transaction, CPackage& package, const QString& done,
                                            int failureLevel, QString* damaged)
{
    constexpr int pulseInterval = 200; // ms
    QString problem;
    if (!transaction.begin(&problem)) {
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("Nothing was %0: %1.").arg(done, problem)));
        return Staging::Failed;
    }
    const QList<PlannedFile>& files = package.files();
    const qint64 total = files.size();
    QElapsedTimer sincePulse;
    sincePulse.start();
    pulse(0, total);
    QList<CInstallTransaction::File> staged;
    for (int i = 0; i < files.size(); ++i) {
        QFile out(transaction.stagedPath(i));
        const UnZip::ErrorCode extracted = out.open(QIODevice::WriteOnly)
                                               ? package.archive().extractFile(files.at(i).entryName, &out)
                                               : UnZip::OpenFailed;
        // A full disk (or a file-size limit) shows as a write that fails, at the latest when the file closes;
        // a close that succeeds forgets an earlier failure, so it is read first.
        QString unwritten = out.error() != QFileDevice::NoError ? out.errorString() : QString();
        out.close();
        if (unwritten.isEmpty() && out.error() != QFileDevice::NoError)
            unwritten = out.errorString();
        if (unwritten.isEmpty() && extracted == UnZip::WriteFailed) // the system took fewer bytes than given
            unwritten = QStringLiteral("a write was cut short");
        if (isCanceled() || !unwritten.isEmpty() || extracted != UnZip::Ok)
            discardStaging(transaction);
        if (isCanceled()) {
            raiseCanceled();
            return Staging::Failed;
        }
        if (!unwritten.isEmpty()) {
            raise(BV_EXCEPTION(12, failureLevel,
                               QStringLiteral("Nothing was %0: the new %1 could not be written to the disk (%2); is "
                                              "the disk full?")
                                   .arg(done, QDir::toNativeSeparators(files.at(i).targetPath), unwritten)));
            return Staging::Failed;
        }
        if (extracted != UnZip::Ok) {
            // The reader's words name the cause (a damaged entry, a wrong password); its codes are not ours.
            *damaged = QStringLiteral("%0: %1").arg(files.at(i).entryName, UnZip::errorText(extracted));
            return Staging::Damaged;
        }
        staged.append(CInstallTransaction::File{transaction.stagedPath(i), files.at(i).targetPath});
        if (sincePulse.elapsed() > pulseInterval) {
            pulse(i + 1, total);
            sincePulse.restart();
        }
    }
    // The file mapping goes in last: until it does, the folder still reads as the old edition.
    const QString stagedMapping = transaction.stagedPath(files.size());
    QFile mapping(stagedMapping);
    if (!mapping.open(QIODevice::WriteOnly) || mapping.write(package.mapping()) != package.mapping().size()) {
        problem = QStringLiteral("the file mapping can't be written to %0 (%1)")
                      .arg(QDir::toNativeSeparators(stagedMapping), mapping.errorString());
        discardStaging(transaction);
        raise(BV_EXCEPTION(12, failureLevel, QStringLiteral("Nothing was %0: %1.").arg(done, problem)));
        return Staging::Failed;
    }
    mapping.close();
    staged.append(CInstallTransaction::File{stagedMapping, QDir::toNativeSeparators(CDataLocations::installedIndexPath(
                                                               transaction.addonFolder(), addonGuid()))});
    m_staged = staged;
    return Staging::Staged;
}

void CAddonCommand::discardStaging(CInstallTransaction& transaction)
{
    // Nothing has moved yet: what stays of the staging folder is only space, swept by the next command.
    QString problem;
    if (!transaction.rollback(&problem))
        BV_LOG(5, QStringLiteral("The staging folder %0 stays: %1.").arg(transaction.stagingFolder(), problem));
}

bool CAddonCommand::commitStaged(CInstallTransaction& transaction, const QString& done, int failureLevel)
{
    // On the disk before the journal counts on them.
    QStringList stagedPaths;
    for (const CInstallTransaction::File& file : qAsConst(m_staged))
        stagedPaths.append(file.staged);
    QString problem;
    if (isCanceled())
        return undoInstall(transaction, QString(), done, failureLevel);
    if (!CDurableFile::syncFiles(stagedPaths, &problem) || !transaction.prepare(m_staged, &problem))
        return undoInstall(transaction, problem, done, failureLevel);
    for (int i = 0; i < m_staged.size(); ++i) {
        if (isCanceled())
            return undoInstall(transaction, QString(), done, failureLevel);
        if (!transaction.commit(i, &problem))
            return undoInstall(transaction, problem, done, failureLevel);
    }
    if (!transaction.finish(&problem)) {
        raise(BV_EXCEPTION(13, failureLevel,
                           QStringLiteral("The files were %0, but %1; the next command for this add-on checks them "
                                          "again.")
                               .arg(done, problem)));
        return false;
    }
    const int files = m_staged.size() - 1; // the file mapping is no file of the package's
    pulse(files, files);
    return true;
}

bool CAddonCommand::installFromPackage(CPackage& package, const QString& addonFolder, const QString& done,
                                       int failureLevel)
{
    CInstallTransaction transaction(addonFolder, mappingGuid());
    QString damaged;
    switch (stage(transaction, package, done, failureLevel, &damaged)) {
    case Staging::Failed:
        return false;
    case Staging::Damaged:
        raise(BV_EXCEPTION(12, failureLevel,
                           QStringLiteral("Unable to decompress file %0; nothing was %1.").arg(damaged, done)));
        return false;
    case Staging::Staged:
        break;
    }
    return commitStaged(transaction, done, failureLevel);
}

bool CAddonCommand::reserve()
{
    if (!m_target.isMapped())
        return true;
    if (!m_lock)
        m_lock = std::make_unique<CLocationLock>(m_target.folder);
    // A lock that can't be made at all is not waited for: the run says why.
    QString problem;
    return m_lock->tryLock(&problem) || !problem.isEmpty();
}

bool CAddonCommand::holdLocation()
{
    if (!m_target.isMapped())
        return true;
    if (!m_lock || !m_lock->isLocked()) {
        m_lock = std::make_unique<CLocationLock>(m_target.folder);
        QString problem;
        if (!m_lock->tryLock(&problem)) {
            if (!problem.isEmpty()) {
                raise(BV_EXCEPTION(CommandError::LocationLockFailed, 7,
                                   QStringLiteral("Nothing was done: %0, so the program can't make sure that no "
                                                  "other copy of it works on %1 at the same time.")
                                       .arg(problem, QDir::toNativeSeparators(m_target.folder))));
                return false;
            }
            const QString name = m_target.name.isEmpty() ? addonGuid().toString() : m_target.name;
            raise(BV_EXCEPTION(CommandError::LocationBusy, 7,
                               QStringLiteral("another copy of the program is working on %0").arg(name)));
            return false;
        }
    }
    // Nobody else works here now: what killed or failed runs of the location left can go.
    CLeftovers::sweepLocation(mappingGuid(), m_target.folder, settings().backupFolder);
    return true;
}

void CAddonCommand::releaseReservation()
{
    if (m_lock)
        m_lock->unlock();
}
