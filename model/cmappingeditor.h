#pragma once

#include "foundation/exception.h"
#include "model/imainwindowview.h"

#include <QObject>
#include <QUuid>

// The decisions of the add-new-mapping editor: from the chosen add-on and simulator to a folder on this
// machine, asking the user through the view where the folder can't be worked out, and refusing a mapping
// that repeats one the user has. The editor's row of widgets only forwards its two choices here.
class CMappingEditor : public QObject
{
    Q_OBJECT

public:
    // User-defined folder: the simulator value of the editor's last entry.
    static constexpr int UserFolder = 0x100000;

    explicit CMappingEditor(IMainWindowView* view, QObject* parent = nullptr);

    // Either combo changed. Nothing happens until both hold a choice (`simulator` negative or a null add-on
    // mean "not chosen").
    void selectionChanged(const QUuid& addonGuid, int simulator);
    // The executable's file filter of the open-file dialog for a simulator flag; empty for other flags.
    static QString executableFilter(int simulator);

signals:
    void onRevertButtonClicked();
    void onAddonSelected(const AddonInsertInfo& selectedInfo);
    void onAddonAddError(const Exception& error);

private:
    // Emits the mapping, or the duplicate error when the user has it already.
    void offer(const QUuid& addonGuid, const QString& name, int simulator, const QString& folder);

    IMainWindowView* m_view;
};
