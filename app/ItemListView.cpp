#include "app/ItemListView.h"

#include <QHeaderView>
#include <QItemSelection>

namespace corvane {

ItemListView::ItemListView(QWidget* parent) : QTableWidget(parent) {
    setColumnCount(2);
    setHorizontalHeaderLabels({QStringLiteral("Sound File Name"), QStringLiteral("Duration(s)")});
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setColumnWidth(0, kNameColumnWidth);
    setColumnWidth(1, kDurationColumnWidth);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    // Tab leaves the list for the next button, as in a dialog.
    setTabKeyNavigation(false);
    // A right-click on the list shows no menu, not even the window's.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setAcceptDrops(false);
}

void ItemListView::rebuildRows(const ItemList& list) {
    clearContents();
    setRowCount(list.itemCount());
    for (int i = 0; i < list.itemCount(); ++i) {
        auto* name = new QTableWidgetItem(ItemList::displayNameOf(list.itemPath(i)));
        name->setTextAlignment(Qt::AlignCenter);
        name->setToolTip(list.itemPath(i));
        auto* duration = new QTableWidgetItem(ItemList::durationText(list.itemDuration(i)));
        duration->setTextAlignment(Qt::AlignCenter);
        setItem(i, 0, name);
        setItem(i, 1, duration);
    }
    clearSelection();
}

std::vector<bool> ItemListView::selectedRows() const {
    std::vector<bool> rows(static_cast<std::size_t>(rowCount()), false);
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (index.row() < rowCount()) rows[static_cast<std::size_t>(index.row())] = true;
    return rows;
}

void ItemListView::setSelectedRows(const std::vector<bool>& selection) {
    QItemSelection wanted;
    const int columns = columnCount();
    for (int r = 0; r < rowCount() && r < static_cast<int>(selection.size()); ++r)
        if (selection[static_cast<std::size_t>(r)])
            wanted.select(model()->index(r, 0), model()->index(r, columns - 1));
    selectionModel()->select(wanted, QItemSelectionModel::ClearAndSelect);
}

bool ItemListView::hasSelection() const {
    return selectionModel()->hasSelection();
}

void ItemListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    emit listDoubleClicked();
}

}  // namespace corvane
