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
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
// The origin badge: white text on a rounded pill, blue when found by a scan, purple when added by hand.
class CBadgeLabel : public QLabel
{
public:
    using QLabel::QLabel;
    bool manual = false;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(manual ? QColor(86, 61, 124) : QColor(0x2a, 0x7a, 0xa3));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        painter.end();
        QLabel::paintEvent(event);
    }
};

// Fonts and palettes shared by every item: made once, not per item.
struct ItemLook
{
    QFont name;
    QFont small;
    QFont status;
    QPalette path;
    QPalette badge;
};

const ItemLook& look(const QWidget* sample)
{
    static const ItemLook shared = [sample]() {
        ItemLook result;
        result.name = sample->font();
        result.name.setBold(true);
        result.name.setPointSizeF(result.name.pointSizeF() * 1.1);
        result.small = sample->font();
        result.small.setPointSizeF(result.small.pointSizeF() * 0.85);
        result.status = sample->font();
        result.status.setBold(true);
        result.path = sample->palette();
        result.path.setColor(QPalette::WindowText, QColor(0x66, 0x66, 0x66));
        result.badge = sample->palette();
        result.badge.setColor(QPalette::WindowText, Qt::white);
        return result;
    }();
    return shared;
}
} // namespace

CAddonItemWidget::CAddonItemWidget(const AddonItemRecord& record, QWidget* parent)
    : QFrame(parent)
    , m_record(record)
    , m_check(new QCheckBox(this))
    , m_name(new QLabel(this))
    , m_simulator(new QLabel(this))
    , m_path(new QLabel(this))
    , m_revision(new QLabel(this))
    , m_status(new QLabel(this))
{
    // A long list is filled in one go: no style sheet and no polish per item, the frame and the colours
    // painted from shared fonts and palettes, and the ring and Cancel made only when a task starts.
    setObjectName(QStringLiteral("addonItem"));
    setFocusPolicy(Qt::StrongFocus);
    const ItemLook& shared = look(this);
    m_check->setObjectName(QStringLiteral("itemCheck"));
    m_name->setObjectName(QStringLiteral("nameLabel"));
    m_name->setFont(shared.name);
    m_simulator->setObjectName(QStringLiteral("simulatorLabel"));
    m_simulator->setFont(shared.small);
    m_path->setObjectName(QStringLiteral("pathLabel"));
    m_path->setFont(shared.small);
    m_path->setPalette(shared.path);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_revision->setObjectName(QStringLiteral("revisionLabel"));
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setFont(shared.status);
    // Names, folders and texts from the index and the server are shown as they are, never read as markup
    // (which would also lay each out as a rich-text document).
    for (QLabel* label : {m_name, m_simulator, m_path, m_revision, m_status})
        label->setTextFormat(Qt::PlainText);
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
    m_top = new QHBoxLayout;
    m_top->setSpacing(6);
    m_top->addWidget(m_name);
    m_top->addStretch(1);
    text->addLayout(m_top);
    text->addWidget(m_simulator);
    text->addWidget(m_path);

    m_state = new QVBoxLayout;
    m_state->setSpacing(2);
    m_state->addWidget(m_revision, 0, Qt::AlignRight);
    m_state->addWidget(m_status, 0, Qt::AlignRight);

    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(12, 6, 8, 6);
    m_layout->setSpacing(8);
    m_layout->addWidget(m_check);
    m_layout->addLayout(text, 1);
    m_layout->addLayout(m_state);
    m_layout->addWidget(m_updateButton);
    m_layout->addWidget(m_backupButton);
    m_layout->addWidget(m_restoreButton);
    m_layout->addWidget(m_folderButton);

    m_check->setChecked(record.checked);
    refresh();
}

void CAddonItemWidget::createActivityWidgets()
{
    if (m_ring)
        return;
    m_activityText = new QLabel(this);
    m_activityText->setObjectName(QStringLiteral("activityLabel"));
    m_activityText->setTextFormat(Qt::PlainText);
    m_state->addWidget(m_activityText, 0, Qt::AlignRight);
    m_ring = new CCircularProgressBar(this);
    m_ring->setFixedSize(36, 36);
    m_cancelButton = new QToolButton(this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setText(tr("Cancel"));
    m_cancelButton->setToolTip(tr("Cancel this task"));
    connect(m_cancelButton, &QToolButton::clicked, this,
            [this]() { emit cancelClicked(m_record.addonGuid, m_record.mappingGuid); });
    // Between the status texts and the item buttons.
    const int at = m_layout->indexOf(m_updateButton);
    m_layout->insertWidget(at, m_ring);
    m_layout->insertWidget(at + 1, m_cancelButton);
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
    if (!m_ring && !m_busy) {
        refresh();
        return;
    }
    createActivityWidgets();
    m_ring->setVisible(m_busy);
    m_activityText->setVisible(m_busy);
    m_activityText->setText(activity.text);
    if (m_busy) {
        m_ring->setIconType(activity.code);
        m_ring->setValue(0);
    }
    m_ring->setAccessibleName(activity.text);
    refresh();
}

void CAddonItemWidget::setProgress(const QString& shortText, int percent)
{
    // Progress after the task has ended (a late report) is not shown.
    if (!m_busy)
        return;
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
    if (m_mapping && !m_badge) {
        auto* badge = new CBadgeLabel(this);
        badge->setObjectName(QStringLiteral("originBadge"));
        badge->setFont(look(this).small);
        badge->setPalette(look(this).badge);
        badge->setContentsMargins(5, 1, 5, 1);
        m_top->insertWidget(1, badge);
        m_badge = badge;
    }
    if (m_badge) {
        static_cast<CBadgeLabel*>(m_badge)->manual = manual;
        m_badge->setText(manual ? tr("Manual") : tr("Automatic"));
        m_badge->setToolTip(manual ? tr("This addon was manually added")
                                   : tr("This addon was automatically found by scanning"));
        m_badge->setVisible(m_mapping);
    }

    const QString toolTip = statusToolTip(m_record);
    setProperty("normalToolTip", toolTip);
    // While a task runs its activity stands in the status's place; an error of an earlier run would only
    // contradict it.
    const bool oldError = m_busy && m_record.status == ItemError;
    m_revision->setText(
        oldError ? (m_record.cycle > 0 ? tr("%0 rev %1").arg(m_record.cycle).arg(m_record.revision) : QString())
                 : revisionText(m_record));
    m_revision->setVisible(!m_revision->text().isEmpty());
    m_revision->setToolTip(toolTip);
    m_status->setText(statusText(m_record));
    m_status->setToolTip(toolTip);
    m_status->setVisible(!m_busy);
    if (m_shownStatus != m_record.status) {
        m_shownStatus = m_record.status;
        QPalette palette = m_status->palette();
        palette.setColor(QPalette::WindowText, statusColour(m_record.status));
        m_status->setPalette(palette);
        update();
    }
    setAccessibleName(tr("%0, %1, %2").arg(m_record.name, m_record.simulator, statusText(m_record)));

    m_updateButton->setVisible(!m_mapping);
    m_backupButton->setVisible(!m_mapping);
    m_restoreButton->setVisible(!m_mapping);
    if (m_cancelButton)
        m_cancelButton->setVisible(m_busy && !m_mapping);
    m_updateButton->setEnabled(!m_busy);
    m_backupButton->setEnabled(!m_busy);
    m_restoreButton->setEnabled(!m_busy);
    m_folderButton->setEnabled(!m_busy);
}

void CAddonItemWidget::paintEvent(QPaintEvent*)
{
    // A card with a thin border, its left edge in the status's colour, the border blue with focus.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(hasFocus() ? QColor(0x3a, 0x87, 0xad) : QColor(0xd0, 0xd4, 0xd9), 1));
    // The base colour of the palette: white on a light desktop, dark where the texts are light.
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(box, 4, 4);
    QPainterPath edge;
    edge.addRoundedRect(box, 4, 4);
    painter.setClipPath(edge);
    painter.fillRect(QRectF(box.left(), box.top(), 4, box.height()), statusColour(m_record.status));
}

void CAddonItemWidget::focusInEvent(QFocusEvent* event)
{
    update();
    QFrame::focusInEvent(event);
}

void CAddonItemWidget::focusOutEvent(QFocusEvent* event)
{
    update();
    QFrame::focusOutEvent(event);
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
