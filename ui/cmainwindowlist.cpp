// The main window's add-on list: its items, their activity, filtering, sorting, selection and backup menus.

#include "caddnewmappingitem.h"
#include "caddonitemwidget.h"
#include "cdisplaychain.h"
#include "cloginview.h"
#include "cmainwindow.h"
#include "cmessagelist.h"
#include "cwaitingwidget.h"
#include "foundation/clocalsocketipcclient.h"
#include "foundation/clogger.h"
#include "foundation/csettings.h"
#include "model/cmainwindowmodel.h"
#include "model/cmappingeditor.h"
#include "webservices/cnetworkstatus.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
// The most backups one item's menu lists, newest first.
constexpr int MaxBackupEntries = 11;

QString noAddonsText(bool mapping)
{
    return mapping
               ? QCoreApplication::translate("CMainWindow",
                                             "<b>You do not have any addons mapped.</b> <br /><br />Use the "
                                             "<b>Scan</b> and <b>Add</b> buttons above to map new addons.")
               : QCoreApplication::translate("CMainWindow",
                                             "<b>You do not have any addons mapped.</b> <br /><br />Go to the <b>Addon "
                                             "Mappings</b> section (see toolbar above) to make an automatic scan or to "
                                             "manually add new mappings.");
}
} // namespace

// --- Items ---------------------------------------------------------------------------------------------

QList<CAddonItemWidget*> CMainWindow::items() const
{
    QList<CAddonItemWidget*> result;
    for (int i = 0; i < m_itemLayout->count(); ++i) {
        if (auto* widget = qobject_cast<CAddonItemWidget*>(m_itemLayout->itemAt(i)->widget()))
            result.append(widget);
    }
    return result;
}

CAddonItemWidget* CMainWindow::item(const QUuid& addonGuid, const QUuid& mappingGuid) const
{
    return m_items.value(CommandInfo::commandKey(addonGuid, mappingGuid));
}

QMap<QString, bool> CMainWindow::checkedStates() const
{
    QMap<QString, bool> states;
    for (CAddonItemWidget* widget : items())
        states.insert(widget->key(), widget->isChecked());
    return states;
}

void CMainWindow::clearItems()
{
    // A refill adds many items at once: the list is laid out and shown once, when the event loop is back.
    QWidget* list = m_scroll->widget();
    if (!list->isHidden()) {
        list->hide();
        QTimer::singleShot(0, list, &QWidget::show);
    }
    // The items stand before the empty-list label and the stretch: taken from the back, each removal is cheap.
    for (int i = m_itemLayout->count() - 3; i >= 0; --i) {
        QLayoutItem* entry = m_itemLayout->takeAt(i);
        delete entry->widget();
        delete entry;
    }
    m_items.clear();
    updateEmptyText();
}

CAddonItemWidget* CMainWindow::createItem(const AddonItemRecord& record)
{
    auto* widget = new CAddonItemWidget(record, m_scroll->widget());
    widget->setMappingMode(m_mappingMode);
    connect(widget, &CAddonItemWidget::commandClicked, this, &CMainWindow::operationButtonClicked);
    connect(widget, &CAddonItemWidget::cancelClicked, this, [this](const QUuid& addon, const QUuid& mapping) {
        emit cancelRequested(CommandInfo(addon, mapping, Update));
    });
    connect(widget, &CAddonItemWidget::backupMenuRequested, this, [this](CAddonItemWidget* source) {
        generateBackupMenu(source->record().addonGuid, source->record().mappingGuid);
        QToolButton* button = source->restoreButton();
        m_backupMenu->popup(button->mapToGlobal(QPoint(0, button->height())));
    });
    connect(widget, &CAddonItemWidget::checkedChanged, this, &CMainWindow::updateSelectAllBox);
    return widget;
}

void CMainWindow::addMappedAddon(const AddonItemRecord& record)
{
    BV_LOG(1, QStringLiteral("addMappedAddons: raw data: {cycle=%0, revision=%1, color=%2, backup=%3, "
                             "installedPath=%4, specified=%5}")
                  .arg(record.cycle)
                  .arg(record.revision)
                  .arg(record.status)
                  .arg(record.backup ? QStringLiteral("true") : QStringLiteral("false"), record.directory,
                       record.specified ? QStringLiteral("true") : QStringLiteral("false")));
    const QString key = CommandInfo::commandKey(record.addonGuid, record.mappingGuid);
    if (CAddonItemWidget* existing = m_items.value(key)) {
        existing->setRecord(record);
        return;
    }
    CAddonItemWidget* widget = createItem(record);
    // Before the empty-list label and the stretch at the end.
    m_itemLayout->insertWidget(m_itemLayout->count() - 2, widget);
    m_items.insert(key, widget);
    const QString filter = m_filter->text();
    widget->setVisible(filter.isEmpty() || record.name.contains(filter, Qt::CaseInsensitive));
    updateEmptyText();
    // All checked stays so only if the new item is; looking at every item here would make a fill quadratic.
    setSelectAllBox(m_items.size() == 1 ? widget->isChecked() : m_selectAll->isChecked() && widget->isChecked());
}

void CMainWindow::updateItem(const AddonItemRecord& record)
{
    if (CAddonItemWidget* widget = item(record.addonGuid, record.mappingGuid))
        widget->setRecord(record);
}

void CMainWindow::onAddonRemoved(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Addon removed: addon=%0, mapping=%1").arg(addonGuid.toString(), mappingGuid.toString()));
    CAddonItemWidget* widget = m_items.take(CommandInfo::commandKey(addonGuid, mappingGuid));
    if (!widget)
        return;
    m_itemLayout->removeWidget(widget);
    widget->deleteLater();
    updateEmptyText();
}

void CMainWindow::setLoadingIconVisible(const ItemActivity& activity)
{
    BV_LOG(1, QStringLiteral("Loading icon data: Icon=%0, Addon=%1, mapping=%2, visible=%3")
                  .arg(activity.code)
                  .arg(activity.addonGuid.toString(), activity.mappingGuid.toString(),
                       activity.visible ? QStringLiteral("true") : QStringLiteral("false")));
    if (CAddonItemWidget* widget = item(activity.addonGuid, activity.mappingGuid))
        widget->setActivity(activity);
    if (!activity.visible)
        m_statusText->clear();
}

void CMainWindow::setItemProgress(const QUuid& addonGuid, const QUuid& mappingGuid, const QString& line,
                                  const QString& shortText, int percent)
{
    m_statusText->setText(line);
    if (CAddonItemWidget* widget = item(addonGuid, mappingGuid))
        widget->setProgress(shortText, percent);
}

void CMainWindow::updateEmptyText()
{
    const bool empty = m_items.isEmpty();
    // Laying out the rich text again for every added item would cost more than the item.
    const QString text = noAddonsText(m_mappingMode);
    if (m_emptyLabel->text() != text)
        m_emptyLabel->setText(text);
    if (m_emptyLabel->isHidden() == empty)
        m_emptyLabel->setVisible(empty);
    if (m_modeLabel)
        m_modeLabel->clear();
}

void CMainWindow::applyFilter()
{
    const QString filter = m_filter->text();
    for (CAddonItemWidget* widget : items())
        widget->setVisible(m_mappingMode || filter.isEmpty() ||
                           widget->record().name.contains(filter, Qt::CaseInsensitive));
}

void CMainWindow::sortItem(int order)
{
    m_sortOrder = std::clamp(order, 0, 5);
    const int field = m_sortOrder / 2;
    const bool descending = m_sortOrder % 2;
    QList<CAddonItemWidget*> sorted = items();
    // Ties fall back on the name, then the folder, so that the order is the same every time.
    auto key = [field](const CAddonItemWidget* widget) {
        const AddonItemRecord& record = widget->record();
        const QString primary = field == 0   ? record.name.toLower()
                                : field == 1 ? record.simulator.toLower()
                                             : QStringLiteral("%1").arg(record.status, 4, 10, QLatin1Char('0'));
        return std::make_tuple(primary, record.name.toLower(), record.directory);
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const CAddonItemWidget* a, const CAddonItemWidget* b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
    // Out from the back and in again in order: no search of the layout per item.
    for (int i = sorted.size() - 1; i >= 0; --i)
        delete m_itemLayout->takeAt(i);
    for (int i = 0; i < sorted.size(); ++i)
        m_itemLayout->insertWidget(i, sorted[i]);
    m_sortButton->setIcon(QIcon(descending ? QStringLiteral(":/main/images/sortdescending.png")
                                           : QStringLiteral(":/main/images/sortascending.png")));
    for (QAction* action : m_sortMenu->actions()) {
        action->setCheckable(true);
        action->setChecked(action->data().toInt() == field);
    }
}

void CMainWindow::onSortingItemTriggered(QAction* action)
{
    const int field = action->data().toInt();
    // Choosing the current field again turns the order round.
    const bool descending = field == m_sortOrder / 2 ? !(m_sortOrder % 2) : false;
    const int order = field * 2 + (descending ? 1 : 0);
    static const char* const fieldNames[] = {"Name", "Simulator", "Status"};
    BV_LOG(1, QStringLiteral("Sort selected: Sort by %0, Sorting order: %1")
                  .arg(QLatin1String(fieldNames[field]),
                       descending ? QStringLiteral("Descending") : QStringLiteral("Ascending")));
    sortItem(order);
    if (CSettings::rememberSorting())
        CSettings::setSortBy(order);
}

// --- Selection and bulk buttons ------------------------------------------------------------------------

void CMainWindow::onSelectAllMenuItemClicked()
{
    // Items the filter hides stay as they are.
    for (CAddonItemWidget* widget : items()) {
        if (!widget->isHidden())
            widget->setChecked(true);
    }
}

void CMainWindow::onSelectNoneMenuItemClicked()
{
    for (CAddonItemWidget* widget : items())
        widget->setChecked(false);
}

void CMainWindow::onSelectInverseMenuItemClicked()
{
    for (CAddonItemWidget* widget : items())
        widget->setChecked(!widget->isChecked());
}

void CMainWindow::onSelectOutdatedMenuItemClicked()
{
    for (CAddonItemWidget* widget : items())
        widget->setChecked(CAddonItemWidget::needsUpdate(widget->record().status));
}

void CMainWindow::onSelectErroneousMenuItemClicked()
{
    for (CAddonItemWidget* widget : items())
        widget->setChecked(CAddonItemWidget::isErroneous(widget->record().status));
}

void CMainWindow::updateSelectAllBox()
{
    const QList<CAddonItemWidget*> all = items();
    setSelectAllBox(!all.isEmpty() &&
                    std::all_of(all.begin(), all.end(), [](CAddonItemWidget* w) { return w->isChecked(); }));
}

void CMainWindow::setSelectAllBox(bool allChecked)
{
    m_selectAll->setChecked(allChecked);
    m_selectAll->setText(allChecked ? tr("Unselect all") : tr("Select all"));
}

void CMainWindow::emitForChecked(int type)
{
    for (CAddonItemWidget* widget : items()) {
        if (!widget->isChecked() || widget->isHidden())
            continue;
        CommandButtonClickedInfo info;
        info.addonGuid = widget->record().addonGuid;
        info.mappingGuid = widget->record().mappingGuid;
        info.type = type;
        emit operationButtonClicked(info);
    }
}

void CMainWindow::onRestoreItemButtonClicked()
{
    // Each checked item goes back to its newest backup.
    for (CAddonItemWidget* widget : items()) {
        if (!widget->isChecked() || widget->isHidden())
            continue;
        const AddonItemRecord& record = widget->record();
        const QList<AddonBackupInfo> backups = m_hooks.queryBackupItems
                                                   ? m_hooks.queryBackupItems(record.addonGuid, record.mappingGuid)
                                                   : QList<AddonBackupInfo>();
        if (backups.isEmpty()) {
            addMessage(6, tr("No backup found for %0.").arg(record.name.toHtmlEscaped()));
            continue;
        }
        const auto newest =
            std::max_element(backups.begin(), backups.end(),
                             [](const AddonBackupInfo& a, const AddonBackupInfo& b) { return a.date < b.date; });
        CommandButtonClickedInfo info;
        info.addonGuid = record.addonGuid;
        info.mappingGuid = record.mappingGuid;
        info.type = Restore;
        info.backup = *newest;
        emit operationButtonClicked(info);
    }
}

void CMainWindow::onRefreshItemButtonClicked()
{
    emit refreshRequested();
}

// --- Backup menu ---------------------------------------------------------------------------------------

void CMainWindow::generateBackupMenu(const QUuid& addonGuid, const QUuid& mappingGuid)
{
    BV_LOG(1, QStringLiteral("Generating backup menu: guid=%0, mapping=%1")
                  .arg(addonGuid.toString(), mappingGuid.toString()));
    CAddonItemWidget* widget = item(addonGuid, mappingGuid);
    if (widget)
        fillBackupMenu(widget);
}

void CMainWindow::fillBackupMenu(CAddonItemWidget* widget)
{
    QMenu* menu = m_backupMenu;
    menu->clear();
    const AddonItemRecord& record = widget->record();
    QList<AddonBackupInfo> backups = m_hooks.queryBackupItems
                                         ? m_hooks.queryBackupItems(record.addonGuid, record.mappingGuid)
                                         : QList<AddonBackupInfo>();
    std::stable_sort(backups.begin(), backups.end(),
                     [](const AddonBackupInfo& a, const AddonBackupInfo& b) { return a.date > b.date; });
    if (backups.isEmpty()) {
        menu->addAction(tr("No backup found"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < std::min<int>(MaxBackupEntries, backups.size()); ++i) {
        const AddonBackupInfo backup = backups.at(i);
        QMenu* entry = menu->addMenu(tr("%0 rev %1 - %2")
                                         .arg(backup.cycle)
                                         .arg(backup.revision)
                                         .arg(QLocale().toString(backup.date, QLocale::ShortFormat)));
        entry->menuAction()->setData(backup.path);
        entry->addAction(tr("&Restore"), this, [this, backup]() {
            CommandButtonClickedInfo info;
            info.addonGuid = backup.addonGuid;
            info.mappingGuid = backup.mappingGuid;
            info.type = Restore;
            info.backup = backup;
            emit operationButtonClicked(info);
        });
        // Opens the backup's files in a new folder of their own; what is installed stays as it is.
        entry->addAction(tr("&View"), this, [this, backup]() {
            CommandButtonClickedInfo info;
            info.addonGuid = backup.addonGuid;
            info.mappingGuid = backup.mappingGuid;
            info.type = Restore;
            info.backup = backup;
            info.restoreMode = 2;
            emit operationButtonClicked(info);
        });
        entry->addAction(tr("&Delete"), this, [this, backup]() { deleteBackup(backup); });
    }
}

void CMainWindow::deleteBackup(const AddonBackupInfo& backup)
{
    const QString text = tr("You are about to remove the backup from %0, cycle %1 rev %2.\n\nThis operation cannot be "
                            "undone. Would you like to proceed?")
                             .arg(QLocale().toString(backup.date, QLocale::ShortFormat))
                             .arg(backup.cycle)
                             .arg(backup.revision);
    if (question(tr("Remove backup"), text, {tr("Yes"), tr("No")}) != 0) {
        BV_LOG(1, QStringLiteral("Selected backup has not been removed: user canceled"));
        return;
    }
    // The model removes the package with its record and reports either way.
    if (m_hooks.removeBackup)
        m_hooks.removeBackup(backup);
}
