#pragma once

// The order a result view shows its rows in: mining order, or sorted by one
// column. Sorting changes the view only; the row list keeps mining order.
// Numbers sort by value, text in Chinese collation (pinyin), and empty or
// unreadable cells go last in either direction.

#include "results/result_columns.h"

#include <QCollator>
#include <QSortFilterProxyModel>

#include <functional>
#include <optional>

namespace quilla {

class ResultOrder final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit ResultOrder(ResultColumns& columns, QObject* parent = nullptr);

    // A click on a column's header: the first sorts by it (numbers largest
    // first, text from A), the second reverses, the third restores mining order.
    void cycle(int column);
    // The column sorted by and how, or nothing in mining order.
    std::optional<std::pair<int, Qt::SortOrder>> sorting() const;

    // The row list's rows in the order shown.
    std::vector<std::int64_t> listRowsInOrder() const;
    std::int64_t listRow(int viewRow) const;

    // Shows only the rows whose keyword `accepts`; without one, every row.
    void setKeywordFilter(std::function<bool(const QString& keyword)> accepts);
    bool keywordFiltered() const { return static_cast<bool>(accepts_); }

    // The first direction a column sorts in.
    static Qt::SortOrder firstOrder(int column);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    ResultColumns& columns_;
    QCollator collator_;
    std::function<bool(const QString&)> accepts_;
};

} // namespace quilla
