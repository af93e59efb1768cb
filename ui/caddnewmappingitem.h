#pragma once

#include "model/imainwindowview.h"

#include <QFrame>

class CMappingEditor;
class QComboBox;

// The row that "Add" opens above the mappings: an add-on of the data index and where to install it. The
// choices go to the model's mapping editor, which works out the folder and hands on the mapping or the
// duplicate error; Esc, "Cancel" and the revert button close the row.
class CAddNewMappingItem : public QFrame
{
    Q_OBJECT

public:
    CAddNewMappingItem(IMainWindowView* view, QWidget* parent = nullptr);

    // Fills the add-on list anew from the data index and clears both choices.
    void reset();
    CMappingEditor* editor() const { return m_editor; }

signals:
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fillSimulators();
    void selectionChanged();

    CMappingEditor* m_editor;
    QComboBox* m_addons;
    QComboBox* m_simulators;
};
