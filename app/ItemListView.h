// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTableWidget>
#include <vector>

#include "app/ItemList.h"

namespace corvane {

// The report view of the item list: two centred columns, grid lines, full-row and multiple
// selection. Rows hold no data of their own: row i always shows item i. The current item is
// a row: the keys move between rows and the focus frame goes round the whole row.
class ItemListView : public QTableWidget {
    Q_OBJECT
  public:
    static constexpr int kNameColumnWidth = 245;
    static constexpr int kDurationColumnWidth = 80;

    explicit ItemListView(QWidget* parent = nullptr);

    // Deletes every row and inserts one per item, in order (the selection is gone).
    void rebuildRows(const ItemList& list);
    // One flag per row, in row order.
    std::vector<bool> selectedRows() const;
    void setSelectedRows(const std::vector<bool>& selection);
    bool hasSelection() const;
    // The current row (-1: none), and making one current without touching the selection.
    int currentRowIndex() const;
    void setCurrentRowIndex(int row);

  signals:
    // A left double-click anywhere in the list, also below the last row.
    void listDoubleClicked();
    // The Delete key.
    void deletePressed();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent* event) override;
    // The focus frame spans the row: both rows are repainted whole, not just their first cell.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

  private:
    QRect rowRect(int row) const;
};

}  // namespace corvane
