#pragma once

#include "csettingsrecord.h"
#include "isettingspage.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class CSettingsInnerWidget;
class CSettingsViewPage;

// How the settings view asks, chooses files and leaves: the window sets its own (which tests answer); a
// view on its own uses message boxes and file dialogs.
struct CSettingsViewHooks
{
    // The index of the chosen button, -1 when the box was closed.
    std::function<int(const QString& title, const QString& text, const QStringList& buttons)> question;
    std::function<void(const QString& title, const QString& text)> information;
    std::function<QString(const QString& title, const QString& start)> getExistingDirectory;
    std::function<QString(const QString& title, const QString& start, const QString& filter)> getOpenFileName;
    // False when the folder could not be shown.
    std::function<bool(const QString& folder)> openFolder;
    std::function<void()> aboutQt;
    // Ends the program with the code (after unregistering).
    std::function<void(int code)> exit;
    // Downloads and reads the data index again once no command runs; none: the button does nothing.
    std::function<void()> redownloadIndex;
    std::function<bool()> hasRunningTasks;
};

// The settings view behind the window's " Se&ttings" button: shows the stored settings, tells whether the
// page holds changes, and stores them on "&Save". Also unregisters the account from this computer,
// re-downloads the data index and shows the backup folder.
class CSettingsView : public QWidget, public ISettingsPage
{
    Q_OBJECT

public:
    explicit CSettingsView(QWidget* parent = nullptr);

    CSettingsViewHooks& hooks() { return m_hooks; }
    // The agent program that starts with the computer; empty when there is none (then the Run value is
    // never touched and the notification controls are off). Defaults to defaultAgentProgram().
    void setAgentProgram(const QString& path);
    // The agent beside this program, when it is installed there; else empty.
    static QString defaultAgentProgram();

    bool hasUnsavedChanges() const override;
    void saveSettings() override;
    void loadSettings() override;

    CSettingsViewPage* page() const { return m_page; }
    CSettingsInnerWidget* inner() const;

signals:
    void settingSaved();
    // The stored sort order of the add-on list, when it is to be remembered.
    void requestSorting(int sorting);
    // Something of a save that could not be done as asked (a folder that does not exist ...).
    void saveProblem(const QString& text);

private:
    void unregisterAccount();
    void redownloadIndex();
    void openLocation();
    void browseBackup();
    void browseSimulator(int simulator);
    int ask(const QString& title, const QString& text, const QStringList& buttons);
    void tell(const QString& title, const QString& text);

    CSettingsViewPage* m_page;
    CSettingsViewHooks m_hooks;
    CSettingsRecord m_loaded;
    QString m_agentProgram;
};
