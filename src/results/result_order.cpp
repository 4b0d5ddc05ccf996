#include "results/result_order.h"

#include "results/cell_values.h"

#include <QLocale>

#include <limits>

namespace quilla {
namespace {

// A cell as it sorts: a number (the opportunity's "无竞品" above every
// number), a text, or nothing.
struct SortKey {
    bool present = false;
    double number = 0;
    QString text;
};

SortKey keyOf(const ResultColumns& columns, const Row& row, int column) {
    const ColumnKind kind = columnKind(column);
    if (isChange(kind)) {
        const auto value = changeIn(columns.changeOf(row), kind);
        return value ? SortKey{true, *value, {}} : SortKey{};
    }
    if (kind == ColumnKind::Opportunity) {
        const Opportunity o = opportunityOf(row);
        if (o.kind == Opportunity::Kind::Unknown)
            return {};
        const bool none = o.kind == Opportunity::Kind::NoCompetition;
        return {true, none ? std::numeric_limits<double>::infinity() : o.perThousand, {}};
    }
    const QString text = row.fields.value(column);
    if (isNumeric(kind)) {
        const auto value = figureOf(row, column);
        return value ? SortKey{true, *value, {}} : SortKey{};
    }
    return text.isEmpty() ? SortKey{} : SortKey{true, 0, text};
}

} // namespace

ResultOrder::ResultOrder(ResultColumns& columns, QObject* parent)
    : QSortFilterProxyModel(parent), columns_(columns),
      collator_(QLocale(QLocale::Chinese, QLocale::China)) {
    collator_.setNumericMode(true);
    setSourceModel(&columns);
    // Rows that arrive or change during a run take their sorted place.
    setDynamicSortFilter(true);
}

Qt::SortOrder ResultOrder::firstOrder(int column) {
    return isNumeric(columnKind(column)) ? Qt::DescendingOrder : Qt::AscendingOrder;
}

void ResultOrder::cycle(int column) {
    const auto now = sorting();
    if (!now || now->first != column)
        sort(column, firstOrder(column));
    else if (now->second == firstOrder(column))
        sort(column, now->second == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
    else
        sort(-1); // mining order
}

std::optional<std::pair<int, Qt::SortOrder>> ResultOrder::sorting() const {
    if (sortColumn() < 0)
        return std::nullopt;
    return std::pair{sortColumn(), sortOrder()};
}

void ResultOrder::setKeywordFilter(std::function<bool(const QString&)> accepts) {
    accepts_ = std::move(accepts);
    invalidateFilter();
}

bool ResultOrder::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return !accepts_ || accepts_(columns_.rows().row(ResultColumns::listRow(sourceRow)).keyword());
}

bool ResultOrder::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.row() == right.row())
        return false;
    const int column = left.column();
    const SortKey a =
        keyOf(columns_, columns_.rows().row(ResultColumns::listRow(left.row())), column);
    const SortKey b =
        keyOf(columns_, columns_.rows().row(ResultColumns::listRow(right.row())), column);
    // Missing cells go last either way: in a descending sort "last" is "least".
    const bool ascending = sortOrder() == Qt::AscendingOrder;
    if (!a.present || !b.present) {
        if (a.present == b.present)
            return left.row() < right.row() ? ascending : !ascending; // keep mining order
        return a.present ? ascending : !ascending;
    }
    if (isNumeric(columnKind(column))) {
        if (a.number != b.number)
            return a.number < b.number;
    } else if (const int c = collator_.compare(a.text, b.text); c != 0) {
        return c < 0;
    }
    return left.row() < right.row() ? ascending : !ascending;
}

std::int64_t ResultOrder::listRow(int viewRow) const {
    return ResultColumns::listRow(mapToSource(index(viewRow, 0)).row());
}

std::vector<std::int64_t> ResultOrder::listRowsInOrder() const {
    std::vector<std::int64_t> out;
    out.reserve(static_cast<std::size_t>(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        out.push_back(listRow(r));
    return out;
}

} // namespace quilla
