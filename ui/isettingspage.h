#pragma once

// What the window and the view chain ask of the settings page: whether it holds unsaved changes, and to
// store them. The settings view implements it; until then an empty page does.
class ISettingsPage
{
public:
    virtual ~ISettingsPage() = default;
    virtual bool hasUnsavedChanges() const = 0;
    virtual void saveSettings() = 0;
    // Loads the stored values into the page when it is shown.
    virtual void loadSettings() = 0;
};
