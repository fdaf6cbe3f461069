// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ItemListView.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace corvane {

namespace {

// Cells draw no focus frame of their own: the view draws one round the current row.
class RowFocusDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell(option);
        cell.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, cell, index);
    }
};

}  // namespace

ItemListView::ItemListView(QWidget* parent) : QTableWidget(parent) {
    setColumnCount(2);
    setHorizontalHeaderLabels({tr("Sound File Name"), tr("Duration(s)")});
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
    setItemDelegate(new RowFocusDelegate(this));
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

int ItemListView::currentRowIndex() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ItemListView::setCurrentRowIndex(int row) {
    if (row < 0 || row >= rowCount()) return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
}

void ItemListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit listDoubleClicked();
}

void ItemListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deletePressed();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

QModelIndex ItemListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = rowCount();
    if (rows == 0) return {};
    const int current = currentRowIndex();
    int row = current;
    switch (action) {
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = rows - 1;
            break;
        case MoveLeft:
        case MoveRight:
        case MoveNext:
        case MovePrevious:
            // Columns are not places to go in a list of rows.
            row = current < 0 ? 0 : current;
            break;
        default:
            row = QTableWidget::moveCursor(action, modifiers).row();
            break;
    }
    return model()->index(std::clamp(row, 0, rows - 1), 0);
}

QRect ItemListView::rowRect(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    return visualRect(model()->index(row, 0)) | visualRect(model()->index(row, columnCount() - 1));
}

void ItemListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableWidget::currentChanged(current, previous);
    if (previous.isValid()) viewport()->update(rowRect(previous.row()));
    if (current.isValid()) viewport()->update(rowRect(current.row()));
}

void ItemListView::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    const int row = currentRowIndex();
    if (!hasFocus() || row < 0) return;
    const QRect frame = rowRect(row);
    if (frame.isEmpty()) return;
    // A dotted frame inside the row's grid lines, readable on a selected row too.
    QPainter painter(viewport());
    const bool selected = selectionModel()->isRowSelected(row, QModelIndex());
    QPen pen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(frame.adjusted(1, 1, -2, -2));
}

}  // namespace corvane
