#include "cinstalltransaction.h"

#include "foundation/clogger.h"
#include "platform/cfilereplace.h"
#include "platform/csafefolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThread>

CInstallTransaction::CInstallTransaction(const QString& addonFolder, const QUuid& mappingGuid)
{
    const QString name = QStringLiteral(".tessaray-install-") + mappingGuid.toString(QUuid::WithoutBraces);
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(addonFolder));
    m_staging = folder + QLatin1Char('/') + name;
    m_journal = m_staging + QStringLiteral(".journal");
}

QString CInstallTransaction::stagedPath(int index) const
{
    return QStringLiteral("%0/new/%1").arg(m_staging).arg(index);
}

QString CInstallTransaction::oldCopyPath(int index) const
{
    return QStringLiteral("%0/old/%1").arg(m_staging).arg(index);
}

bool CInstallTransaction::isPending() const
{
    return QFileInfo::exists(m_journal);
}

bool CInstallTransaction::begin(QString* problem)
{
    if (!CSafeFolder::remove(m_staging)) {
        *problem = QStringLiteral("the staging folder %0 left by an earlier run can't be removed")
                       .arg(QDir::toNativeSeparators(m_staging));
        return false;
    }
    if (!QDir().mkpath(m_staging + QStringLiteral("/new")) || !QDir().mkpath(m_staging + QStringLiteral("/old"))) {
        *problem = QStringLiteral("the staging folder %0 can't be created").arg(QDir::toNativeSeparators(m_staging));
        return false;
    }
    m_files.clear();
    m_hadOld.clear();
    m_committed = 0;
    return true;
}

bool CInstallTransaction::prepare(const QList<File>& files, QString* problem)
{
    QJsonArray list;
    for (const File& file : files)
        list.append(QJsonObject{{QStringLiteral("staged"), file.staged}, {QStringLiteral("target"), file.target}});
    // Written whole or not at all: a torn journal would make the next start guess.
    QSaveFile journal(m_journal);
    if (!journal.open(QIODevice::WriteOnly) ||
        journal.write(QJsonDocument(QJsonObject{{QStringLiteral("files"), list}}).toJson()) < 0 || !journal.commit()) {
        *problem = QStringLiteral("the install journal %0 can't be written (%1)")
                       .arg(QDir::toNativeSeparators(m_journal), journal.errorString());
        return false;
    }
    m_files = files;
    m_hadOld = QList<bool>();
    for (int i = 0; i < files.size(); ++i)
        m_hadOld.append(false);
    m_committed = 0;
    return true;
}

bool CInstallTransaction::swapIn(const File& file, QString* problem)
{
    QDir().mkpath(QFileInfo(file.target).absolutePath());
    QElapsedTimer waited;
    waited.start();
    QString reason;
    while (!CFileReplace::renameOver(file.staged, file.target, &reason)) {
        // A running simulator or a virus scan may hold the file for a moment.
        if (!CFileReplace::isInUse(reason) || waited.elapsed() >= InUseRetryMilliseconds) {
            *problem =
                CFileReplace::isInUse(reason)
                    ? QStringLiteral("%0 is in use by another program (a running simulator?); close it and "
                                     "try again")
                          .arg(QDir::toNativeSeparators(file.target))
                    : QStringLiteral("%0 can't be replaced (%1)").arg(QDir::toNativeSeparators(file.target), reason);
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

bool CInstallTransaction::commit(int index, QString* problem)
{
    const File& file = m_files.at(index);
    if (QFileInfo::exists(file.target)) {
        QString reason;
        if (!CFileReplace::keepCopy(file.target, oldCopyPath(index), &reason)) {
            *problem = QStringLiteral("the installed %0 can't be kept for a cancel (%1)")
                           .arg(QDir::toNativeSeparators(file.target), reason);
            return false;
        }
        m_hadOld[index] = true;
    }
    if (!swapIn(file, problem))
        return false;
    m_committed = qMax(m_committed, index + 1);
    return true;
}

void CInstallTransaction::rollback()
{
    for (int i = m_committed - 1; i >= 0; --i) {
        const File& file = m_files.at(i);
        QString reason;
        if (m_hadOld.at(i)) {
            if (!CFileReplace::renameOver(oldCopyPath(i), file.target, &reason))
                BV_LOG(6, QStringLiteral("%0 could not be put back (%1).")
                              .arg(QDir::toNativeSeparators(file.target), reason));
        } else {
            QFile::remove(file.target);
        }
    }
    m_committed = 0;
    finish();
}

void CInstallTransaction::finish()
{
    // The journal goes first: once it is gone nothing is pending, whatever the cleaning below leaves.
    QFile::remove(m_journal);
    CSafeFolder::remove(m_staging);
}

bool CInstallTransaction::readJournal(QString* problem)
{
    QFile journal(m_journal);
    if (!journal.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("the install journal %0 can't be read").arg(QDir::toNativeSeparators(m_journal));
        return false;
    }
    const QJsonArray list =
        QJsonDocument::fromJson(journal.readAll()).object().value(QStringLiteral("files")).toArray();
    m_files.clear();
    for (const QJsonValue& value : list) {
        const QJsonObject entry = value.toObject();
        const QString staged = entry.value(QStringLiteral("staged")).toString();
        const QString target = entry.value(QStringLiteral("target")).toString();
        // Only our own staging folder's files, and targets beside it in the add-on folder.
        const QString folder = QFileInfo(m_staging).absolutePath() + QLatin1Char('/');
        if (!staged.startsWith(m_staging + QLatin1Char('/')) ||
            !QDir::cleanPath(QDir::fromNativeSeparators(target)).startsWith(folder)) {
            *problem = QStringLiteral("the install journal %0 names files outside its add-on folder")
                           .arg(QDir::toNativeSeparators(m_journal));
            return false;
        }
        m_files.append(File{staged, target});
    }
    return true;
}

bool CInstallTransaction::recover(QString* problem)
{
    if (!readJournal(problem))
        return false;
    BV_LOG(6, QStringLiteral("Completing the install interrupted in %0 (%1 files).")
                  .arg(QDir::toNativeSeparators(QFileInfo(m_staging).absolutePath()))
                  .arg(m_files.size()));
    for (const File& file : qAsConst(m_files)) {
        if (QFileInfo::exists(file.staged)) {
            if (!swapIn(file, problem))
                return false;
        } else if (!QFileInfo::exists(file.target)) {
            *problem = QStringLiteral("%0 of the interrupted install is neither staged nor in place")
                           .arg(QDir::toNativeSeparators(file.target));
            return false;
        }
    }
    finish();
    return true;
}
