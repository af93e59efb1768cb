#pragma once

#include "ui/isettingspage.h"

#include <QWidget>

// Stands where the settings view goes, for the window's own tests: holds unsaved changes when a test says
// so, and counts the saves.
class CFakeSettingsPage : public QWidget, public ISettingsPage
{
public:
    CFakeSettingsPage() { setObjectName(QStringLiteral("settingsPage")); }

    bool hasUnsavedChanges() const override { return m_changed; }
    void saveSettings() override
    {
        ++m_saves;
        m_changed = false;
    }
    void loadSettings() override {}
    void setChanged(bool changed) { m_changed = changed; }
    int saveCount() const { return m_saves; }

private:
    bool m_changed = false;
    int m_saves = 0;
};
