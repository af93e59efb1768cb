#include "cinstalltransaction.h"

#include "foundation/clogger.h"
#include "platform/cdurablefile.h"
#include "platform/cfilereplace.h"
#include "platform/clocalpath.h"
#include "platform/csafefolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QThread>

namespace
{
const QString stagingPrefix = QStringLiteral(".tessaray-install-");
const QString journalSuffix = QStringLiteral(".journal");

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Removes a staging folder; a link found in its place or inside goes itself, and what it points to stays.
bool removeTree(const QString& path)
{
    return CSafeFolder::remove(path);
}

// Retries `attempt` every 100 ms until it succeeds or `milliseconds` have passed.
template <typename Attempt> bool retried(int milliseconds, Attempt attempt)
{
    QElapsedTimer waited;
    waited.start();
    while (!attempt()) {
        if (waited.elapsed() >= milliseconds)
            return false;
        QThread::msleep(100);
    }
    return true;
}
} // namespace

CInstallTransaction::CInstallTransaction(const QString& addonFolder, const QUuid& mappingGuid)
{
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(addonFolder));
    const QString run = QString::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, QLatin1Char('0'));
    setJournal(QStringLiteral("%0/%1%2-%3%4")
                   .arg(folder, stagingPrefix, mappingGuid.toString(QUuid::WithoutBraces), run, journalSuffix));
}

void CInstallTransaction::setJournal(const QString& journal)
{
    m_journal = QDir::cleanPath(QDir::fromNativeSeparators(journal));
    m_staging = m_journal.left(m_journal.size() - journalSuffix.size());
    m_folder = QFileInfo(m_journal).absolutePath();
}

QString CInstallTransaction::stagedPath(int index) const
{
    return QStringLiteral("%0/new/%1").arg(m_staging).arg(index);
}

QString CInstallTransaction::oldCopyPath(int index) const
{
    return QStringLiteral("%0/old/%1").arg(m_staging).arg(index);
}

QString CInstallTransaction::placeKey(const QString& path)
{
    QString key = QDir::cleanPath(CLocalPath::toInternal(path.trimmed()));
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    key = key.toLower();
#else
    if (key.size() >= 2 && key.at(1) == QLatin1Char(':') && key.at(0).isLetter())
        key[0] = key.at(0).toUpper();
#endif
    return key;
}

bool CInstallTransaction::isInside(const QString& path, const QString& folder)
{
    QString prefix = placeKey(folder);
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    const QString key = placeKey(path);
    return key.size() > prefix.size() && key.startsWith(prefix);
}

QStringList CInstallTransaction::pendingJournals(const QString& addonFolder)
{
    QStringList journals;
    const QDir folder(addonFolder);
    for (const QString& name : folder.entryList({stagingPrefix + QLatin1Char('*') + journalSuffix},
                                                QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name))
        journals.append(folder.filePath(name));
    return journals;
}

void CInstallTransaction::removeAbandoned(const QString& addonFolder)
{
    const QDir folder(addonFolder);
    // Our own names only, to the letter: a user's file that merely looks alike stays.
    const QStringList names =
        folder.entryList({stagingPrefix + QLatin1Char('*')},
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::CaseSensitive);
    for (const QString& name : names) {
        // A pending run's folder stays with its journal; a journal's own half-written temporary goes.
        if (name.endsWith(journalSuffix) || names.contains(name + journalSuffix))
            continue;
        if (removeTree(folder.filePath(name)))
            BV_LOG(1, QStringLiteral("Removed %0, left by an install that ended.").arg(native(folder.filePath(name))));
        else
            BV_LOG(5, QStringLiteral("%0, left by an install that ended, can't be removed.")
                          .arg(native(folder.filePath(name))));
    }
}

bool CInstallTransaction::begin(QString* problem)
{
    // mkdir, not mkpath: a name that is taken (a link planted there included) is never used.
    if (!QDir().mkdir(m_staging) || !QDir().mkdir(m_staging + QStringLiteral("/new")) ||
        !QDir().mkdir(m_staging + QStringLiteral("/old"))) {
        *problem = QStringLiteral("the staging folder %0 can't be created").arg(native(m_staging));
        return false;
    }
    m_files.clear();
    m_hadOld.clear();
    m_prepared = false;
    m_direction = Direction::Install;
    return true;
}

bool CInstallTransaction::writeJournal(QString* problem)
{
    QJsonArray list;
    for (int i = 0; i < m_files.size(); ++i)
        list.append(QJsonObject{{QStringLiteral("staged"), m_files.at(i).staged},
                                {QStringLiteral("target"), m_files.at(i).target},
                                {QStringLiteral("hadOld"), m_hadOld.at(i)}});
    const QJsonObject content{{QStringLiteral("direction"), m_direction == Direction::Rollback
                                                                ? QStringLiteral("rollback")
                                                                : QStringLiteral("install")},
                              {QStringLiteral("files"), list}};
    // Written whole or not at all, and on the disk before a file moves: a torn journal would make the next
    // start guess.
    QSaveFile journal(m_journal);
    QString reason;
    if (!journal.open(QIODevice::WriteOnly) || journal.write(QJsonDocument(content).toJson()) < 0 ||
        !CDurableFile::commit(journal, &reason)) {
        *problem = QStringLiteral("the install journal %0 can't be written (%1)")
                       .arg(native(m_journal), reason.isEmpty() ? journal.errorString() : reason);
        return false;
    }
    return true;
}

bool CInstallTransaction::prepare(const QList<File>& files, QString* problem)
{
    m_files = files;
    m_hadOld.clear();
    for (const File& file : files)
        m_hadOld.append(QFileInfo::exists(file.target));
    m_direction = Direction::Install;
    if (!writeJournal(problem)) {
        // Nothing has moved: a journal that reached the disk without its sync would only mislead.
        QFile::remove(m_journal);
        return false;
    }
    m_prepared = true;
    return true;
}

bool CInstallTransaction::swapIn(const File& file, QString* problem)
{
    const QString folder = QFileInfo(file.target).absolutePath();
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("the folder %0 can't be created").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    QString reason;
    bool renamed = false;
    // A running simulator or a virus scan may hold the file for a moment.
    retried(InUseRetryMilliseconds, [&]() {
        reason.clear();
        renamed = CFileReplace::renameOver(file.staged, file.target, &reason);
        return renamed || !CFileReplace::isInUse(reason);
    });
    if (renamed)
        return true;
    *problem = CFileReplace::isInUse(reason)
                   ? QStringLiteral("%0 is in use by another program (a running simulator?); close it and try again")
                         .arg(native(file.target))
                   : QStringLiteral("%0 can't be replaced (%1)").arg(native(file.target), reason);
    return false;
}

bool CInstallTransaction::commit(int index, QString* problem)
{
    const File& file = m_files.at(index);
    // The plan kept an old copy only of what was there: a file that came or went since would be lost.
    if (QFileInfo::exists(file.target) != m_hadOld.at(index)) {
        *problem = QStringLiteral("%0 was changed by another program meanwhile").arg(native(file.target));
        return false;
    }
    if (m_hadOld.at(index)) {
        QString reason;
        if (!CFileReplace::keepCopy(file.target, oldCopyPath(index), &reason)) {
            *problem =
                QStringLiteral("the installed %0 can't be kept for a rollback (%1)").arg(native(file.target), reason);
            return false;
        }
    }
    return swapIn(file, problem);
}

bool CInstallTransaction::putBack(QString* problem)
{
    QStringList notBack;
    for (int i = m_files.size() - 1; i >= 0; --i) {
        const File& file = m_files.at(i);
        // Still staged: it never went in. An old file already put back has left its kept copy.
        if (QFileInfo::exists(file.staged))
            continue;
        QString reason;
        if (m_hadOld.at(i)) {
            const QString old = oldCopyPath(i);
            if (!QFileInfo::exists(old))
                continue;
            if (!retried(PutBackRetryMilliseconds,
                         [&]() { return CFileReplace::renameOver(old, file.target, &reason); }))
                notBack.append(QStringLiteral("%0 could not be put back (%1); the old file is kept as %2")
                                   .arg(native(file.target), reason, native(old)));
        } else if (QFileInfo::exists(file.target) || QFileInfo(file.target).isSymLink()) {
            QFile added(file.target);
            if (!retried(PutBackRetryMilliseconds, [&]() { return added.remove(); }))
                notBack.append(QStringLiteral("%0, new with this install, could not be removed (%1)")
                                   .arg(native(file.target), added.errorString()));
        }
    }
    if (notBack.isEmpty())
        return true;
    *problem = notBack.join(QStringLiteral("; "));
    return false;
}

bool CInstallTransaction::rollback(QString* problem)
{
    if (!m_prepared) {
        // Nothing has moved: the staged files are all there is to drop.
        removeTree(m_staging);
        return true;
    }
    // Recorded before the first file goes back, so that a crash from here on is finished backwards.
    m_direction = Direction::Rollback;
    QString reason;
    if (!writeJournal(&reason)) {
        m_direction = Direction::Install;
        *problem = QStringLiteral("the rollback can't be recorded (%0); nothing was put back, and the next command "
                                  "for this add-on completes the install")
                       .arg(reason);
        return false;
    }
    return putBack(problem) && finish(problem);
}

bool CInstallTransaction::finish(QString* problem)
{
    QSet<QString> folders;
    for (const File& file : qAsConst(m_files))
        folders.insert(QFileInfo(file.target).absolutePath());
    for (const QString& folder : qAsConst(folders)) {
        if (!CDurableFile::syncFolder(folder, problem))
            return false;
    }
    // The journal goes first: once it is gone nothing is pending, whatever the cleaning below leaves.
    if (QFileInfo::exists(m_journal) && !QFile::remove(m_journal)) {
        *problem = QStringLiteral("the install journal %0 can't be removed").arg(native(m_journal));
        return false;
    }
    m_prepared = false;
    removeTree(m_staging);
    return true;
}

bool CInstallTransaction::readJournal(QString* problem)
{
    QFile journal(m_journal);
    QJsonParseError parsed{};
    const QJsonObject content = journal.open(QIODevice::ReadOnly)
                                    ? QJsonDocument::fromJson(journal.readAll(), &parsed).object()
                                    : QJsonObject();
    if (!journal.isOpen() || parsed.error != QJsonParseError::NoError) {
        *problem = QStringLiteral("the install journal %0 can't be read").arg(native(m_journal));
        return false;
    }
    m_direction = content.value(QStringLiteral("direction")).toString() == QLatin1String("rollback")
                      ? Direction::Rollback
                      : Direction::Install;
    m_files.clear();
    m_hadOld.clear();
    const QJsonArray list = content.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& value : list) {
        const QJsonObject entry = value.toObject();
        const QString staged = entry.value(QStringLiteral("staged")).toString();
        const QString target = entry.value(QStringLiteral("target")).toString();
        // Only our own staging folder's files, and targets in the add-on folder the journal lies in.
        if (!isInside(staged, m_staging) || !isInside(target, m_folder)) {
            *problem =
                QStringLiteral("the install journal %0 names files outside its add-on folder").arg(native(m_journal));
            return false;
        }
        m_files.append(File{staged, target});
        m_hadOld.append(entry.value(QStringLiteral("hadOld")).toBool());
    }
    m_prepared = true;
    return true;
}

bool CInstallTransaction::rollForward(QString* problem)
{
    for (const File& file : qAsConst(m_files)) {
        if (QFileInfo::exists(file.staged)) {
            if (!swapIn(file, problem))
                return false;
        } else if (!QFileInfo::exists(file.target)) {
            *problem =
                QStringLiteral("%0 of the interrupted install is neither staged nor in place").arg(native(file.target));
            return false;
        }
    }
    return true;
}

bool CInstallTransaction::recover(const QString& journal, QString* problem)
{
    CInstallTransaction run;
    run.setJournal(journal);
    if (!run.readJournal(problem))
        return false;
    // Without its staging folder a run can't tell which of its files went in.
    const QFileInfo staging(run.m_staging);
    if (!staging.isDir() || staging.isSymLink()) {
        *problem =
            QStringLiteral("the staging folder %0 of the interrupted install is gone").arg(native(run.m_staging));
        return false;
    }
    const bool back = run.m_direction == Direction::Rollback;
    BV_LOG(6, QStringLiteral("Completing the %0 interrupted in %1 (%2 files).")
                  .arg(back ? QStringLiteral("rollback") : QStringLiteral("install"), native(run.m_folder))
                  .arg(run.m_files.size()));
    return (back ? run.putBack(problem) : run.rollForward(problem)) && run.finish(problem);
}
