#pragma once

#include <QTableWidget>
#include <vector>

#include "app/ItemList.h"

namespace corvane {

// The report view of the item list: two centred columns, grid lines, full-row and multiple
// selection. Rows hold no data of their own: row i always shows item i.
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

  signals:
    // A double-click anywhere in the list, also below the last row.
    void listDoubleClicked();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace corvane
