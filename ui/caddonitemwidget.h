#pragma once

#include "model/imainwindowview.h"

#include <QFrame>

class CCircularProgressBar;
class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QToolButton;

// One add-on location in the list: check box, name, simulator and platform, folder, origin badge,
// revision and status, the progress ring of a running or waiting task with its Cancel control, and the
// four item buttons. On the mappings page only the path button and the origin badge remain.
class CAddonItemWidget : public QFrame
{
    Q_OBJECT

public:
    explicit CAddonItemWidget(const AddonItemRecord& record, QWidget* parent = nullptr);

    const AddonItemRecord& record() const { return m_record; }
    void setRecord(const AddonItemRecord& record);
    QString key() const;

    bool isChecked() const;
    void setChecked(bool checked);
    void setMappingMode(bool mapping);

    // A task's activity: the ring with its phase icon and text, or (not visible) the status again.
    void setActivity(const ItemActivity& activity);
    void setProgress(const QString& shortText, int percent);
    bool isBusy() const { return m_busy; }

    // The status's tool tip; `cycleKnown` false when the current cycle could not be fetched.
    static QString statusToolTip(const AddonItemRecord& record);
    static QString revisionText(const AddonItemRecord& record);
    static QString statusText(const AddonItemRecord& record);
    static QColor statusColour(int status);
    // Statuses that "Select Outdated" and "Select Erroneous" pick.
    static bool needsUpdate(int status);
    static bool isErroneous(int status);

    QToolButton* restoreButton() const { return m_restoreButton; }
    // Made when the first task starts: most items never run one while the list is shown.
    CCircularProgressBar* ring() const { return m_ring; }
    QToolButton* cancelButton() const { return m_cancelButton; }

signals:
    void commandClicked(const CommandButtonClickedInfo& info);
    void cancelClicked(const QUuid& addonGuid, const QUuid& mappingGuid);
    // The restore button was pressed: the window opens the item's backup menu below it.
    void backupMenuRequested(CAddonItemWidget* item);
    void checkedChanged(bool checked);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refresh();
    void createActivityWidgets();
    QToolButton* makeButton(const QString& name, const QString& icon, const QString& toolTip,
                            const QString& accessibleName, int type);

    AddonItemRecord m_record;
    bool m_mapping = false;
    bool m_busy = false;
    int m_shownStatus = -1;
    QHBoxLayout* m_layout;
    QHBoxLayout* m_top;
    QVBoxLayout* m_state;
    QCheckBox* m_check;
    QLabel* m_name;
    QLabel* m_simulator;
    QLabel* m_path;
    QLabel* m_badge = nullptr;
    QLabel* m_revision;
    QLabel* m_status;
    QLabel* m_activityText = nullptr;
    CCircularProgressBar* m_ring = nullptr;
    QToolButton* m_cancelButton = nullptr;
    QToolButton* m_updateButton;
    QToolButton* m_backupButton;
    QToolButton* m_restoreButton;
    QToolButton* m_folderButton;
};
