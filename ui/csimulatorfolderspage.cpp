#include "csimulatorfolderspage.h"

#include "commands/cdiagnosticsbundle.h"
#include "dataindex/csimulators.h"
#include "model/cbackgroundwork.h"

#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

CSimulatorFoldersPage::CSimulatorFoldersPage(QWidget* parent)
    : QWidget(parent)
    , m_grid(new QGridLayout)
    , m_state(new QLabel(this))
{
    setObjectName(QStringLiteral("simulatorMappingPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    auto* title = new QLabel(tr("<b>Simulator folders</b>"), this);
    bar->addWidget(title);
    bar->addStretch(1);
    auto* change = new QPushButton(tr("&Change in Settings"), this);
    change->setObjectName(QStringLiteral("changeSimulatorFoldersButton"));
    change->setToolTip(tr("Enter a simulator's folder or switch its automatic search off in the settings"));
    connect(change, &QPushButton::clicked, this, &CSimulatorFoldersPage::settingsRequested);
    bar->addWidget(change);
    layout->addLayout(bar);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* table = new QWidget(scroll);
    auto* tableLayout = new QVBoxLayout(table);
    m_grid->setHorizontalSpacing(16);
    m_grid->setVerticalSpacing(2);
    m_grid->setColumnStretch(1, 1);
    tableLayout->addLayout(m_grid);
    m_state->setObjectName(QStringLiteral("simulatorFoldersState"));
    tableLayout->addWidget(m_state);
    tableLayout->addStretch(1);
    scroll->setWidget(table);
    layout->addWidget(scroll, 1);
}

void CSimulatorFoldersPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void CSimulatorFoldersPage::refresh()
{
    const int read = ++m_reads;
    m_state->setText(tr("Looking for your simulators..."));
    // Detection reads the registry and X-Plane's records on the disk.
    runInBackground<QList<CDiagnosticsBundle::SimulatorFolder>>(
        this, QStringLiteral("simulator folders"), &CDiagnosticsBundle::simulatorFolders,
        [this, read](const QList<CDiagnosticsBundle::SimulatorFolder>& folders) {
            if (read != m_reads)
                return;
            while (QLayoutItem* item = m_grid->takeAt(0)) {
                delete item->widget();
                delete item;
            }
            // Two lines a simulator: the folder, and under it how it was found, so that long paths keep room.
            int row = 0;
            for (const CDiagnosticsBundle::SimulatorFolder& found : folders) {
                const QString name = CSimulators::shortName(found.simulator);
                auto* simulator =
                    new QLabel(QStringLiteral("<b>%0</b>").arg(CSimulators::displayName(found.simulator)));
                auto* folder = new QLabel(found.folder.isEmpty() ? tr("(none)") : found.folder);
                folder->setObjectName(QStringLiteral("simulatorFolder_") + name);
                folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
                QString how = found.how;
                if (!found.folder.isEmpty() && !found.exists)
                    how += tr("; the folder does not exist");
                auto* howLabel = new QLabel(how);
                howLabel->setObjectName(QStringLiteral("simulatorHow_") + name);
                howLabel->setWordWrap(true);
                howLabel->setStyleSheet(QStringLiteral("QLabel { color: #666666; }"));
                m_grid->addWidget(simulator, row, 0);
                m_grid->addWidget(folder, row, 1);
                m_grid->addWidget(howLabel, row + 1, 1);
                row += 2;
            }
            m_state->clear();
            emit refreshed();
        });
}
