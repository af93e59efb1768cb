#include "cmappingfiles.h"

#include "commands/clocalindex.h"
#include "foundation/cdatalocations.h"
#include "foundation/clogger.h"
#include "platform/cdurablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace
{
constexpr int FileError = 3;
}

CMappingFiles::Outcome CMappingFiles::save()
{
    Outcome outcome;
    outcome.ok = CLocalIndex::saveMappings(&outcome.error);
    return outcome;
}

QString CMappingFiles::importBackupName(const QString& mappingFile, const QDateTime& now)
{
    const QFileInfo info(mappingFile);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("-bak-") +
           now.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".index");
}

CMappingFiles::Outcome CMappingFiles::import(const QString& file, const QDateTime& now)
{
    Outcome outcome;
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly)) {
        outcome.error =
            BV_EXCEPTION(FileError, 8, QStringLiteral("%0 can't be read: %1").arg(file, source.errorString()));
        return outcome;
    }
    const QByteArray bytes = source.readAll();
    // The bytes that were checked are the ones that replace the list, not a file changed since.
    QTemporaryFile checked(QDir::tempPath() + QStringLiteral("/import-XXXXXX.index"));
    QList<AddonListing> addons;
    if (!checked.open() || checked.write(bytes) != bytes.size() || !checked.flush()) {
        outcome.error =
            BV_EXCEPTION(FileError, 8, QStringLiteral("%0 can't be checked: %1").arg(file, checked.errorString()));
        return outcome;
    }
    if (!CIndexListing::read(checked.fileName(), &addons, &outcome.error)) {
        outcome.error.errorLevel = 8;
        outcome.error.message = QStringLiteral("%0 is not a mapping list: %1")
                                    .arg(file, outcome.error.message.replace(checked.fileName(), file));
        return outcome;
    }
    const QString mappingFile = CDataLocations::mappingListFilePath();
    if (QFileInfo::exists(mappingFile)) {
        outcome.backupFile = importBackupName(mappingFile, now);
        outcome.backupMade = QFile::copy(mappingFile, outcome.backupFile);
        QString problem;
        outcome.backupMade = outcome.backupMade && CDurableFile::syncFile(outcome.backupFile, &problem);
        if (!outcome.backupMade) {
            // Without the copy the user's list could not be had back: leave it alone.
            outcome.error = BV_EXCEPTION(
                FileError, 8, QStringLiteral("The current mapping could not be kept as %0").arg(outcome.backupFile));
            return outcome;
        }
    }
    outcome.ok = writeWhole(mappingFile, bytes, &outcome.error);
    return outcome;
}

CMappingFiles::Outcome CMappingFiles::exportTo(const QString& file)
{
    Outcome outcome;
    QFile source(CDataLocations::mappingListFilePath());
    if (!source.open(QIODevice::ReadOnly)) {
        outcome.error = BV_EXCEPTION(
            FileError, 8, QStringLiteral("%0 can't be read: %1").arg(source.fileName(), source.errorString()));
        return outcome;
    }
    outcome.ok = writeWhole(file, source.readAll(), &outcome.error);
    return outcome;
}

bool CMappingFiles::writeWhole(const QString& target, const QByteArray& bytes, Exception* error)
{
    QSaveFile file(target);
    QString problem;
    if (!file.open(QIODevice::WriteOnly))
        problem = QStringLiteral("%0 can't be written: %1").arg(target, file.errorString());
    else if (file.write(bytes) != bytes.size())
        problem = QStringLiteral("%0 can't be written: %1").arg(target, file.errorString());
    else if (CDurableFile::commit(file, &problem))
        return true;
    file.cancelWriting();
    *error = BV_EXCEPTION(FileError, 8, problem);
    return false;
}

QStringList CMappingFiles::clearLog(int keep)
{
    const QString folder = QFileInfo(CDataLocations::logFilePath(QStringLiteral("x.log"))).absolutePath();
    const QFileInfoList logs =
        QDir(folder).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Time); // newest first
    QStringList removed;
    for (int i = keep; i < logs.size(); ++i) {
        const QString path = QDir::toNativeSeparators(logs.at(i).absoluteFilePath());
        if (QFile::remove(logs.at(i).absoluteFilePath()))
            removed.append(path);
    }
    return removed;
}
