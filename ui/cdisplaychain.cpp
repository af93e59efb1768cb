#include "cdisplaychain.h"

#include "idisplayhost.h"
#include "isettingspage.h"

#include <QAbstractButton>
#include <QWidget>

CDisplayChain::CDisplayChain(IDisplayHost* window, CContentDisplayBase* first)
    : CContentDisplayBase(window, first, 0)
{
}

bool CDisplayChain::handle(int view)
{
    m_requested = view;
    if (!leaveGuard(view))
        return false;
    m_window->resetCommonWidgets();
    const bool handled = m_next && m_next->handle(view);
    if (!handled) {
        // Nothing owns the view: the window stays where it was.
        if (QAbstractButton* button = m_window->viewButton(m_window->currentView()))
            button->setChecked(true);
        if (m_window->currentView() == 1 || m_window->currentView() == 2)
            m_window->showListPage(m_window->currentView() == 2);
    }
    return handled;
}

bool CDisplayChain::leaveGuard(int view)
{
    const int current = m_window->currentView();
    // Save, Discard, Cancel.
    const QStringList buttons{tr("Save"), tr("Discard"), tr("Cancel")};
    if (current == 3 && view != 3) {
        ISettingsPage* settings = m_window->settingsPage();
        if (settings && settings->hasUnsavedChanges()) {
            const int answer =
                m_window->question(tr("Save changes"), tr("Would you like save your current settings?"), buttons);
            if (answer == 0) {
                settings->saveSettings();
            } else if (answer != 1) {
                m_window->viewButton(3)->setChecked(true);
                return false;
            }
        }
    } else if (current == 2 && view != 2 && m_window->hasUnsavedMappings()) {
        const int answer = m_window->question(tr("Save changes?"), tr("Would you like to save your changes?"), buttons);
        if (answer == 0) {
            m_window->saveMappings();
        } else if (answer == 1) {
            m_window->revertMappings();
        } else {
            m_window->viewButton(2)->setChecked(true);
            return false;
        }
    }
    return true;
}
