#include "caddonitemwidget.h"

#include "ccircularprogressbar.h"
#include "commands/commandinfo.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

CAddonItemWidget::CAddonItemWidget(const AddonItemRecord& record, QWidget* parent)
    : QFrame(parent)
    , m_record(record)
    , m_check(new QCheckBox(this))
    , m_name(new QLabel(this))
    , m_simulator(new QLabel(this))
    , m_path(new QLabel(this))
    , m_badge(new QLabel(this))
    , m_revision(new QLabel(this))
    , m_status(new QLabel(this))
    , m_activityText(new QLabel(this))
    , m_ring(new CCircularProgressBar(this))
    , m_cancelButton(new QToolButton(this))
{
    setObjectName(QStringLiteral("addonItem"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    m_check->setObjectName(QStringLiteral("itemCheck"));
    m_name->setObjectName(QStringLiteral("nameLabel"));
    QFont nameFont = m_name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.1);
    m_name->setFont(nameFont);
    m_simulator->setObjectName(QStringLiteral("simulatorLabel"));
    m_path->setObjectName(QStringLiteral("pathLabel"));
    QFont small = m_path->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_path->setFont(small);
    m_simulator->setFont(small);
    m_badge->setFont(small);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_badge->setObjectName(QStringLiteral("originBadge"));
    m_revision->setObjectName(QStringLiteral("revisionLabel"));
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_activityText->setObjectName(QStringLiteral("activityLabel"));
    m_ring->setFixedSize(36, 36);
    m_ring->hide();
    m_activityText->hide();
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setText(tr("Cancel"));
    m_cancelButton->setToolTip(tr("Cancel this task"));
    m_cancelButton->hide();
    connect(m_cancelButton, &QToolButton::clicked, this,
            [this]() { emit cancelClicked(m_record.addonGuid, m_record.mappingGuid); });
    connect(m_check, &QCheckBox::toggled, this, &CAddonItemWidget::checkedChanged);

    m_updateButton = makeButton(QStringLiteral("updateButton"), QStringLiteral(":/main/images/update.png"),
                                tr("Update this item"), tr("Update"), Update);
    m_backupButton = makeButton(QStringLiteral("backupButton"), QStringLiteral(":/main/images/backup.png"),
                                tr("Backup this item"), tr("Backup"), Backup);
    m_restoreButton = makeButton(QStringLiteral("restoreButton"), QStringLiteral(":/main/images/restore.png"),
                                 tr("Restore this item from previous backup"), tr("Restore"), -1);
    // One menu for the whole list, filled by the window when a restore button is pressed.
    connect(m_restoreButton, &QToolButton::clicked, this, [this]() { emit backupMenuRequested(this); });
    m_folderButton = makeButton(QStringLiteral("folderButton"), QStringLiteral(":/main/images/folder.png"),
                                tr("Modify path selected"), tr("Modify path"), Modify);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* top = new QHBoxLayout;
    top->addWidget(m_name);
    top->addWidget(m_badge);
    top->addStretch(1);
    text->addLayout(top);
    text->addWidget(m_simulator);
    text->addWidget(m_path);

    auto* state = new QVBoxLayout;
    state->setSpacing(2);
    state->addWidget(m_revision, 0, Qt::AlignRight);
    state->addWidget(m_status, 0, Qt::AlignRight);
    state->addWidget(m_activityText, 0, Qt::AlignRight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 8, 6);
    layout->setSpacing(8);
    layout->addWidget(m_check);
    layout->addLayout(text, 1);
    layout->addLayout(state);
    layout->addWidget(m_ring);
    layout->addWidget(m_cancelButton);
    layout->addWidget(m_updateButton);
    layout->addWidget(m_backupButton);
    layout->addWidget(m_restoreButton);
    layout->addWidget(m_folderButton);

    m_check->setChecked(record.checked);
    refresh();
}

QToolButton* CAddonItemWidget::makeButton(const QString& name, const QString& icon, const QString& toolTip,
                                          const QString& accessibleName, int type)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    // One decoded icon per image for the whole list.
    static QHash<QString, QIcon> icons;
    auto cached = icons.find(icon);
    if (cached == icons.end())
        cached = icons.insert(icon, QIcon(icon));
    button->setIcon(*cached);
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    button->setToolTip(toolTip);
    button->setAccessibleName(accessibleName);
    if (type >= 0) {
        connect(button, &QToolButton::clicked, this, [this, type]() {
            CommandButtonClickedInfo info;
            info.addonGuid = m_record.addonGuid;
            info.mappingGuid = m_record.mappingGuid;
            info.type = type;
            emit commandClicked(info);
        });
    }
    return button;
}

QString CAddonItemWidget::key() const
{
    return CommandInfo::commandKey(m_record.addonGuid, m_record.mappingGuid);
}

void CAddonItemWidget::setRecord(const AddonItemRecord& record)
{
    const bool checked = isChecked();
    m_record = record;
    m_record.checked = checked;
    refresh();
}

bool CAddonItemWidget::isChecked() const
{
    return m_check->isChecked();
}

void CAddonItemWidget::setChecked(bool checked)
{
    m_check->setChecked(checked);
}

void CAddonItemWidget::setMappingMode(bool mapping)
{
    m_mapping = mapping;
    refresh();
}

void CAddonItemWidget::setActivity(const ItemActivity& activity)
{
    m_busy = activity.visible;
    m_ring->setVisible(activity.visible);
    m_cancelButton->setVisible(activity.visible && !m_mapping);
    m_activityText->setVisible(activity.visible);
    m_activityText->setText(activity.text);
    if (activity.visible) {
        m_ring->setIconType(activity.code);
        m_ring->setValue(0);
    }
    m_ring->setAccessibleName(activity.text);
    refresh();
}

void CAddonItemWidget::setProgress(const QString& shortText, int percent)
{
    m_ring->setValue(percent);
    m_activityText->setText(shortText);
}

QString CAddonItemWidget::statusToolTip(const AddonItemRecord& record)
{
    switch (record.status) {
    case ItemError:
        return tr("An error occurred. Please try to re-update this addon");
    case ItemOutdated:
        return tr("The most recent revision is cycle %0 rev %1").arg(record.currentCycle).arg(record.currentRevision);
    case ItemRestored:
        if (record.backupDate.isValid() && record.backupDate.toMSecsSinceEpoch() > 0)
            return tr("A backup from %0 is installed")
                .arg(QLocale().toString(record.backupDate.date(), QLocale::ShortFormat));
        return tr("This revision is restored from backup");
    case ItemUpdated:
        return tr("The most recent revision is installed");
    case ItemUpdating:
        return tr("Your data is being updated. Please stand by...");
    case ItemMissing:
        return tr("The addon's folder cannot be found. Please scan again or modify its path");
    case ItemInterrupted:
        return tr("An installation was interrupted. Update this addon to complete it");
    case ItemUnsupported:
        return tr("The data index no longer lists this addon");
    case ItemChecking:
        return tr("The installed files are being read. The status follows shortly");
    default:
        if (record.currentCycle <= 0)
            return tr("Unable to check cycle against server");
        return tr("This addon has not yet been updated by the Tessaray");
    }
}

QString CAddonItemWidget::revisionText(const AddonItemRecord& record)
{
    if (record.status == ItemError)
        return tr("Error");
    if (record.cycle > 0)
        return tr("%0 rev %1").arg(record.cycle).arg(record.revision);
    return tr("Ready to update");
}

QString CAddonItemWidget::statusText(const AddonItemRecord& record)
{
    if (!record.statusText.isEmpty())
        return record.statusText;
    switch (record.status) {
    case ItemError:
        return tr("Error");
    case ItemOutdated:
        return tr("Outdated");
    case ItemRestored:
        return tr("Restored");
    case ItemUpdated:
        return tr("Up to date");
    case ItemUpdating:
        return tr("Updating");
    case ItemMissing:
        return tr("Folder missing");
    case ItemInterrupted:
        return tr("Install interrupted");
    case ItemUnsupported:
        return tr("No longer supported");
    case ItemChecking:
        return tr("Checking...");
    default:
        return tr("Not yet updated");
    }
}

QColor CAddonItemWidget::statusColour(int status)
{
    switch (status) {
    case ItemError:
        return QColor(0xb9, 0x4a, 0x48);
    case ItemOutdated:
        return QColor(0xe0, 0x8e, 0x0b);
    case ItemRestored:
        return QColor(86, 61, 124);
    case ItemUpdated:
        return QColor(0x46, 0x88, 0x47);
    case ItemUpdating:
        return QColor(0x3a, 0x87, 0xad);
    case ItemMissing:
        return QColor(0x8a, 0x2b, 0x2b);
    case ItemInterrupted:
        return QColor(0xc0, 0x5a, 0x00);
    case ItemUnsupported:
        return QColor(0x77, 0x77, 0x77);
    case ItemChecking:
        return QColor(0x7a, 0x9c, 0xb8);
    default:
        return QColor(0x55, 0x55, 0x55);
    }
}

QString CAddonItemWidget::listStyleSheet()
{
    QString sheet = QStringLiteral(
        "CAddonItemWidget { border: 1px solid #d0d4d9; border-left: 4px solid #555555; border-radius: 4px; "
        "background: #ffffff; } "
        "CAddonItemWidget:focus { border-color: #3a87ad; } "
        "QLabel#pathLabel { color: #666666; } "
        "QLabel#statusLabel { font-weight: bold; color: #555555; } "
        "QLabel#originBadge { font-size:9px; font-weight:bold; color:#ffffff; border-radius:5px; "
        "background-color:rgb(91, 192, 222); } "
        "QLabel#originBadge[manual=\"true\"] { background-color:rgb(86, 61, 124); } ");
    for (int status = ItemError; status <= ItemChecking; ++status) {
        const QString colour = statusColour(status).name();
        sheet += QStringLiteral("CAddonItemWidget[status=\"%0\"] { border-left-color: %1; } "
                                "QLabel#statusLabel[status=\"%0\"] { color: %1; } ")
                     .arg(status)
                     .arg(colour);
    }
    return sheet;
}

bool CAddonItemWidget::needsUpdate(int status)
{
    return status == ItemOutdated || status == ItemNotInstalled || status == ItemInterrupted;
}

bool CAddonItemWidget::isErroneous(int status)
{
    return status == ItemError || status == ItemMissing || status == ItemUnsupported;
}

void CAddonItemWidget::refresh()
{
    m_name->setText(m_record.name);
    m_check->setAccessibleName(m_record.name);
    m_simulator->setText(m_record.platform.isEmpty()
                             ? m_record.simulator
                             : QStringLiteral("%0 · %1").arg(m_record.simulator, m_record.platform));
    m_path->setText(m_record.directory);
    m_path->setToolTip(m_record.directory);

    const bool manual = m_record.specified;
    m_badge->setText(manual ? tr("Manual") : tr("Automatic"));
    m_badge->setToolTip(manual ? tr("This addon was manually added")
                               : tr("This addon was automatically found by scanning"));
    m_badge->setContentsMargins(5, 1, 5, 1);
    m_badge->setVisible(m_mapping);

    const QString toolTip = statusToolTip(m_record);
    setProperty("normalToolTip", toolTip);
    m_revision->setText(revisionText(m_record));
    m_revision->setToolTip(toolTip);
    m_status->setText(statusText(m_record));
    m_status->setToolTip(toolTip);
    m_status->setVisible(!m_busy);
    // The colours come from the list's style sheet by these properties: one sheet for all items keeps a long
    // list quick to fill.
    if (property("status").toInt() != m_record.status || !property("status").isValid() ||
        m_badge->property("manual").toBool() != manual) {
        setProperty("status", m_record.status);
        m_status->setProperty("status", m_record.status);
        m_badge->setProperty("manual", manual);
        for (QWidget* widget :
             {static_cast<QWidget*>(this), static_cast<QWidget*>(m_status), static_cast<QWidget*>(m_badge)}) {
            widget->style()->unpolish(widget);
            widget->style()->polish(widget);
        }
    }
    setAccessibleName(tr("%0, %1, %2").arg(m_record.name, m_record.simulator, statusText(m_record)));

    m_updateButton->setVisible(!m_mapping);
    m_backupButton->setVisible(!m_mapping);
    m_restoreButton->setVisible(!m_mapping);
    m_cancelButton->setVisible(m_busy && !m_mapping);
    m_updateButton->setEnabled(!m_busy);
    m_backupButton->setEnabled(!m_busy);
    m_restoreButton->setEnabled(!m_busy);
    m_folderButton->setEnabled(!m_busy);
}

void CAddonItemWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        m_check->toggle();
        return;
    }
    QFrame::keyPressEvent(event);
}

void CAddonItemWidget::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    QFrame::mousePressEvent(event);
}
