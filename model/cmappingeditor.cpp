#include "cmappingeditor.h"

#include "dataindex/cdataindex.h"
#include "dataindex/csimulatorroots.h"
#include "dataindex/csimulators.h"
#include "foundation/clogger.h"

#include <QDir>
#include <QFileInfo>

namespace
{
constexpr int DuplicateMapping = 3;
}

CMappingEditor::CMappingEditor(IMainWindowView* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
{
}

QString CMappingEditor::executableFilter(int simulator)
{
    switch (simulator) {
    case SimFS9:
        return tr("Flight Simulator 9 Executable (FS9.exe)");
    case SimFSX:
    case SimFSXSteam:
        return tr("Flight Simulator X Executable (FSX.exe)");
    case SimP3D:
    case SimP3Dv2:
    case SimP3Dv3:
    case SimP3Dv4:
        return tr("Prepar3D Executable (Prepar3D.exe)");
    case SimXPlane9:
    case SimXPlane10:
    case SimXPlane11:
        return tr("X-Plane Executable (X-Plane.exe)");
    default:
        return QString();
    }
}

void CMappingEditor::selectionChanged(const QUuid& addonGuid, int simulator)
{
    BV_LOG(1, QStringLiteral("Addon selection changed."));
    if (simulator < 0 || addonGuid.isNull())
        return;
    const IndexInfo* addon = CDataIndex::instance()->supportedAddon(addonGuid);
    if (!addon)
        return;
    const QString name = addon->name;
    if (simulator == UserFolder) {
        const QString folder = m_view->getExistingDirectory(tr("Please select a directory"), QString());
        if (folder.isEmpty())
            return;
        offer(addonGuid, name, simulator, QDir::toNativeSeparators(folder));
        return;
    }
    BV_LOG(1, QStringLiteral("User selected non-user defined folder."));
    QString root = CSimulatorRoots::root(simulator);
    if (root.isEmpty()) {
        const QString filter = executableFilter(simulator);
        if (filter.isEmpty()) {
            // Tools and add-ons have no executable to look for: the user names their folder.
            const QString folder = m_view->getExistingDirectory(tr("Please select a directory"), QString());
            if (!folder.isEmpty())
                offer(addonGuid, name, simulator, QDir::toNativeSeparators(folder));
            return;
        }
        const QString display = CSimulators::displayName(simulator);
        m_view->information(tr("%0 not found").arg(display),
                            tr("The location of your %0 executable file could not be found automatically.\n\n"
                               "Please specify the location manually")
                                .arg(display));
        const QString file =
            m_view->getOpenFileName(tr("Please select a location for your flight simulator..."), filter);
        if (file.isEmpty())
            return;
        root = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
        CSimulatorRoots::setRoot(simulator, root);
    }
    // Each of the add-on's places on this simulator, below the root.
    for (const IndexPathInfo* location : qAsConst(addon->paths)) {
        if (location->simulator != simulator)
            continue;
        QString folder = location->directory;
        folder.replace(QStringLiteral("[SIMROOT]"), root, Qt::CaseInsensitive);
        const QString placeholder = CSimulators::rootPlaceholder(simulator);
        if (!placeholder.isEmpty())
            folder.replace(placeholder, root, Qt::CaseInsensitive);
        offer(addonGuid, name, simulator, CSimulatorRoots::normalize(folder));
    }
}

void CMappingEditor::offer(const QUuid& addonGuid, const QString& name, int simulator, const QString& folder)
{
    if (CDataIndex::instance()->isDuplicateMapping(addonGuid, simulator, folder)) {
        const Exception ex = BV_EXCEPTION(DuplicateMapping, 7,
                                          tr("Duplicated mapping found. Your mapping for %0 (%1) will not be saved.")
                                              .arg(name, CSimulators::shortName(simulator)));
        BV_LOG(6, ex.message);
        emit onAddonAddError(ex);
        return;
    }
    BV_LOG(1, QStringLiteral("Path %0 selected by the user.").arg(folder));
    emit onAddonSelected(AddonInsertInfo{addonGuid, name, simulator, folder});
}
