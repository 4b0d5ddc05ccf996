#pragma once

// The candidate list: one column of rows, no headers, no grid, one row
// selected at a time; as wide as its widest row, so a long row scrolls
// sideways instead of being cut. A table underneath, because a list view
// lays every row out again whenever one is added.

#include "app/growing_table_view.h"

namespace quilla {

class KeywordListView final : public GrowingTableView {
    Q_OBJECT

public:
    explicit KeywordListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Widens the column for these rows; measuring again from nothing when
    // rows went or the list was replaced.
    void widenFor(int first, int last);
    void measureAll();
    void fitColumn();

    int widest_ = 0;
};

} // namespace quilla
