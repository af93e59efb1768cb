#include "cinstallplan.h"

#include "platform/cfolderescape.h"
#include "platform/clocalpath.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

bool CInstallPlan::build(const QList<FileMappingItem*>& items, const QString& addonFolder, QList<PlannedFile>* files,
                         QString* problem)
{
    const QString folder = QDir::cleanPath(CLocalPath::toInternal(addonFolder));
    CPathCaseCache spelling;
    QSet<QString> targets;
    for (const FileMappingItem* item : items) {
        if (item->isDirectory)
            continue;
        const QString parent = CLocalPath::toInternal(item->parent);
        const QString source = CLocalPath::toInternal(item->source);
        const QString destination = CLocalPath::toInternal(item->destination);
        // The parent begins with a separator by construction; below it, nothing may climb or jump away.
        const QString relativeParent = QDir::cleanPath(parent).remove(QRegularExpression(QStringLiteral("^/+")));
        for (const QString& part : {relativeParent, source, destination}) {
            if (CFolderEscape::leavesFolder(part)) {
                *problem = QStringLiteral("the package's file mapping names '%0', which lies outside the add-on "
                                          "folder %1")
                               .arg(QDir::toNativeSeparators(part), QDir::toNativeSeparators(folder));
                return false;
            }
        }
        if (source.trimmed().isEmpty() || destination.trimmed().isEmpty() || source.endsWith(QLatin1Char('/')) ||
            destination.endsWith(QLatin1Char('/'))) {
            *problem = QStringLiteral("the package's file mapping has a file record without a file name ('%0' to "
                                      "'%1')")
                           .arg(item->source, item->destination);
            return false;
        }
        QString target = folder;
        if (!relativeParent.isEmpty() && relativeParent != QLatin1String("."))
            target += QLatin1Char('/') + relativeParent;
        target += QLatin1Char('/') + destination;
        target = folder.isEmpty() ? QDir::toNativeSeparators(QDir::cleanPath(target))
                                  : spelling.matchCase(QDir::cleanPath(target));
        const QString key = target.toCaseFolded();
        if (targets.contains(key)) {
            *problem = QStringLiteral("the package's file mapping puts two files at %0").arg(target);
            return false;
        }
        targets.insert(key);
        files->append(PlannedFile{QDir::cleanPath(source), target});
    }
    return true;
}

QString CInstallPlan::sharedEntryName(const QList<PlannedFile>& files)
{
    QSet<QString> seen;
    for (const PlannedFile& file : files) {
        // Compared as the reader of a backup finds entries: "\" and "/" are one separator.
        const QString key = QString(file.entryName).replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (seen.contains(key))
            return file.entryName;
        seen.insert(key);
    }
    return QString();
}

QString CInstallPlan::duplicateName(const QStringList& names)
{
    QSet<QString> seen;
    for (const QString& name : names) {
        const QString key = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).toCaseFolded();
        if (seen.contains(key))
            return name;
        seen.insert(key);
    }
    return QString();
}
