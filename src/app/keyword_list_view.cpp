#include "app/keyword_list_view.h"

#include "core/row_list.h"

#include <QHeaderView>
#include <QStyle>

#include <algorithm>

namespace quilla {

KeywordListView::KeywordListView(QWidget* parent) : GrowingTableView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new GreyedRows(RowList::failedRole, this));
    setTabKeyNavigation(false);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void KeywordListView::setModel(QAbstractItemModel* model) {
    GrowingTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { widenFor(first, last); });
    connect(
        model, &QAbstractItemModel::dataChanged, this,
        [this](const QModelIndex& from, const QModelIndex& to) { widenFor(from.row(), to.row()); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, &KeywordListView::measureAll);
    connect(model, &QAbstractItemModel::modelReset, this, &KeywordListView::measureAll);
    measureAll();
}

void KeywordListView::widenFor(int first, int last) {
    const QFontMetrics metrics = fontMetrics();
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    int widest = widest_;
    for (int row = std::max(first, 0); row <= last; ++row)
        widest = std::max(
            widest, metrics.horizontalAdvance(model()->index(row, 0).data().toString()) + margin);
    if (widest != widest_) {
        widest_ = widest;
        fitColumn();
    }
}

void KeywordListView::measureAll() {
    widest_ = 0;
    if (model())
        widenFor(0, model()->rowCount() - 1);
    fitColumn();
}

void KeywordListView::fitColumn() {
    const int width = std::max(widest_, viewport()->width());
    if (model() && model()->columnCount() > 0 && columnWidth(0) != width)
        setColumnWidth(0, width);
}

void KeywordListView::resizeEvent(QResizeEvent* event) {
    GrowingTableView::resizeEvent(event);
    fitColumn();
}

} // namespace quilla
