#include "cemptysettingspage.h"

#include <QLabel>
#include <QVBoxLayout>

CEmptySettingsPage::CEmptySettingsPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsPage"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(tr("The program's settings will be shown here."), this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

void CEmptySettingsPage::saveSettings()
{
    ++m_saves;
    m_changed = false;
}
