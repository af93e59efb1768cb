#include "ccontentdisplaybase.h"

#include "foundation/clogger.h"
#include "idisplayhost.h"
#include "isettingspage.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVariant>
#include <QWidget>

CContentDisplayBase::CContentDisplayBase(IDisplayHost* window, CContentDisplayBase* next, int view)
    : QObject(window->hostWidget())
    , m_window(window)
    , m_next(next)
    , m_view(view)
{
}

bool CContentDisplayBase::handle(int view)
{
    if (view == m_view) {
        display();
        m_window->setCurrentView(m_view);
        return true;
    }
    return m_next ? m_next->handle(view) : false;
}

void CContentDisplayBase::showPage(int page)
{
    QStackedWidget* stack = m_window->contentStack();
    for (int i = 0; i < stack->count(); ++i) {
        if (stack->widget(i)->property("displayChain").toInt() == page) {
            stack->setCurrentIndex(i);
            return;
        }
    }
}

CNormalDisplay::CNormalDisplay(IDisplayHost* window, CContentDisplayBase* next)
    : CContentDisplayBase(window, next, 1)
{
}

void CNormalDisplay::display()
{
    showPage(0);
    m_window->showListPage(false);
}

CMappingDisplay::CMappingDisplay(IDisplayHost* window, CContentDisplayBase* next)
    : CContentDisplayBase(window, next, 2)
{
}

void CMappingDisplay::display()
{
    showPage(0);
    BV_LOG(1, QStringLiteral("setup every items to mapping:"));
    m_window->showListPage(true);
    BV_LOG(1, QStringLiteral("setup every mapping items completed:"));
}

CSettingsDisplay::CSettingsDisplay(IDisplayHost* window, CContentDisplayBase* next)
    : CContentDisplayBase(window, next, 3)
{
}

void CSettingsDisplay::display()
{
    showPage(1);
    if (QWidget* page = m_window->contentStack()->currentWidget()) {
        if (auto* scroll = page->findChild<QScrollArea*>())
            scroll->ensureVisible(0, 0);
    }
    if (ISettingsPage* settings = m_window->settingsPage())
        settings->loadSettings();
}

CLoginDisplay::CLoginDisplay(IDisplayHost* window, CContentDisplayBase* next)
    : CContentDisplayBase(window, next, 4)
{
}

void CLoginDisplay::display()
{
    showPage(2);
}

CSimulatorMappingDisplay::CSimulatorMappingDisplay(IDisplayHost* window, CContentDisplayBase* next)
    : CContentDisplayBase(window, next, 5)
{
}

void CSimulatorMappingDisplay::display()
{
    showPage(3);
}
