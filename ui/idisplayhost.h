#pragma once

#include <QString>
#include <QStringList>

class ISettingsPage;
class QAbstractButton;
class QStackedWidget;
class QWidget;

// What the view chain's handlers arrange on the main window: its pages, view buttons and current view,
// and the questions of the leave guard.
class IDisplayHost
{
public:
    virtual ~IDisplayHost() = default;

    virtual QWidget* hostWidget() = 0;
    virtual int currentView() const = 0;
    virtual void setCurrentView(int view) = 0;
    virtual QStackedWidget* contentStack() const = 0;
    virtual QAbstractButton* viewButton(int view) const = 0;
    virtual ISettingsPage* settingsPage() const = 0;
    // Resets what every view shares before a handler arranges its own.
    virtual void resetCommonWidgets() = 0;
    // The list page in list (false) or mapping mode, with the empty-list text when nothing is mapped.
    virtual void showListPage(bool mapping) = 0;
    virtual bool hasUnsavedMappings() const = 0;
    virtual void saveMappings() = 0;
    virtual void revertMappings() = 0;
    // The index of the chosen button, -1 when the box was closed.
    virtual int question(const QString& title, const QString& text, const QStringList& buttons) = 0;
};
