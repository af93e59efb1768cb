#include "caddnewmappingitem.h"

#include "dataindex/cdataindex.h"
#include "dataindex/csimulators.h"
#include "model/cmappingeditor.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

CAddNewMappingItem::CAddNewMappingItem(IMainWindowView* view, QWidget* parent)
    : QFrame(parent)
    , m_editor(new CMappingEditor(view, this))
    , m_addons(new QComboBox(this))
    , m_simulators(new QComboBox(this))
{
    setObjectName(QStringLiteral("addNewMappingItem"));
    setFrameShape(QFrame::StyledPanel);
    m_addons->setObjectName(QStringLiteral("addonCombo"));
    m_addons->setAccessibleName(tr("Addon"));
    m_addons->setMinimumWidth(260);
    m_simulators->setObjectName(QStringLiteral("simulatorCombo"));
    m_simulators->setAccessibleName(tr("Install into"));
    m_simulators->setMinimumWidth(200);
    auto* revert = new QToolButton(this);
    revert->setObjectName(QStringLiteral("revertButton"));
    revert->setIcon(QIcon(QStringLiteral(":/main/images/revert.png")));
    revert->setToolTip(tr("Clear both choices"));
    revert->setAccessibleName(tr("Clear"));
    revert->setAutoRaise(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelAddButton"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 8, 6);
    layout->setSpacing(8);
    layout->addWidget(m_addons, 1);
    layout->addWidget(m_simulators, 1);
    layout->addWidget(revert);
    layout->addWidget(cancel);

    connect(m_addons, QOverload<int>::of(&QComboBox::activated), this, [this]() {
        fillSimulators();
        selectionChanged();
    });
    connect(m_simulators, QOverload<int>::of(&QComboBox::activated), this, &CAddNewMappingItem::selectionChanged);
    connect(revert, &QToolButton::clicked, m_editor, &CMappingEditor::onRevertButtonClicked);
    connect(m_editor, &CMappingEditor::onRevertButtonClicked, this, &CAddNewMappingItem::reset);
    connect(cancel, &QPushButton::clicked, this, &CAddNewMappingItem::closeRequested);
    reset();
}

void CAddNewMappingItem::reset()
{
    m_addons->clear();
    m_addons->addItem(tr("Please select an addon..."), QUuid());
    QList<IndexInfo*> addons = CDataIndex::instance()->supportedAddons();
    std::sort(addons.begin(), addons.end(),
              [](const IndexInfo* a, const IndexInfo* b) { return a->name.compare(b->name, Qt::CaseInsensitive) < 0; });
    for (const IndexInfo* addon : addons)
        m_addons->addItem(addon->name, addon->guid);
    fillSimulators();
}

void CAddNewMappingItem::fillSimulators()
{
    m_simulators->clear();
    m_simulators->addItem(tr("Install into..."), -1);
    const IndexInfo* addon = CDataIndex::instance()->supportedAddon(m_addons->currentData().toUuid());
    if (!addon)
        return;
    QList<int> flags;
    for (const IndexPathInfo* path : addon->paths) {
        if (!flags.contains(path->simulator))
            flags.append(path->simulator);
    }
    std::sort(flags.begin(), flags.end());
    for (int flag : flags)
        m_simulators->addItem(CSimulators::displayName(flag), flag);
    m_simulators->addItem(tr("A folder of my choice..."), int(CMappingEditor::UserFolder));
}

void CAddNewMappingItem::selectionChanged()
{
    m_editor->selectionChanged(m_addons->currentData().toUuid(), m_simulators->currentData().toInt());
}

void CAddNewMappingItem::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit closeRequested();
        return;
    }
    QFrame::keyPressEvent(event);
}
