#include "csettingsviewpage.h"

#include "csettingsinnerwidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

CSettingsViewPage::CSettingsViewPage(QWidget* parent)
    : QWidget(parent)
    , m_inner(new CSettingsInnerWidget)
    , m_save(new QPushButton(tr("&Save"), this))
    , m_scroll(new QScrollArea(this))
{
    setObjectName(QStringLiteral("settingsViewPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("settingsToolBar"));
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(tr("<b>Settings</b>"), bar);
    title->setObjectName(QStringLiteral("settingsTitle"));
    barLayout->addWidget(title);
    barLayout->addStretch(1);
    m_save->setObjectName(QStringLiteral("saveSettingsButton"));
    m_save->setToolTip(tr("Save your current setting"));
    m_save->setIcon(QIcon(QStringLiteral(":/main/images/save.png")));
    barLayout->addWidget(m_save);
    layout->addWidget(bar);

    m_scroll->setObjectName(QStringLiteral("settingsScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_inner);
    layout->addWidget(m_scroll, 1);
}

void CSettingsViewPage::scrollToTop()
{
    m_scroll->verticalScrollBar()->setValue(0);
}
