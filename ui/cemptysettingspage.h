#pragma once

#include "isettingspage.h"

#include <QWidget>

// Stands where the settings view goes: never holds unsaved changes unless a test says so.
class CEmptySettingsPage : public QWidget, public ISettingsPage
{
    Q_OBJECT

public:
    explicit CEmptySettingsPage(QWidget* parent = nullptr);

    bool hasUnsavedChanges() const override { return m_changed; }
    void saveSettings() override;
    void loadSettings() override {}
    void setChanged(bool changed) { m_changed = changed; }
    int saveCount() const { return m_saves; }

private:
    bool m_changed = false;
    int m_saves = 0;
};
