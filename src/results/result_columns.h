#pragma once

// The result table as columns, for a table view: rows from 1 on, one column
// per header field and the opportunity figure and the two changes since the
// previous snapshot after them, the header row's fields as the column
// captions. It reads the row list and keeps nothing of
// its own, so the runs and the export go on working on the list.

#include "core/row_list.h"
#include "history/changes.h"

#include <QAbstractTableModel>

namespace quilla {

class ResultColumns final : public QAbstractTableModel {
    Q_OBJECT

public:
    // True for a row that must not pass for done: an index query reached it
    // without finding any figure, or its search page never loaded.
    static constexpr int greyedRole = Qt::UserRole + 1;

    explicit ResultColumns(const RowList& rows, QObject* parent = nullptr);

    const RowList& rows() const { return rows_; }
    // The row list's row shown as table row `tableRow`, and back.
    static std::int64_t listRow(int tableRow) { return std::int64_t{tableRow} + 1; }
    static int tableRow(std::int64_t listRow) { return static_cast<int>(listRow - 1); }

    // The captions: the header row's fields, the usual header while there is
    // no header row, then "机会", "搜索变化" and "宝贝变化".
    QStringList captions() const;
    // The shown cells of a row: its fields, padded, the opportunity figure
    // and the changes.
    QStringList cells(std::int64_t listRow) const;

    // The snapshots the change columns read; none shows them empty. It must
    // outlive these columns.
    void setHistory(const History* history);
    RowChange changeOf(const Row& row) const;
    // The row's snapshots changed: its change cells are read again.
    void noteChanges(std::int64_t listRow);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void forwardSignals();

    const RowList& rows_;
    const History* history_ = nullptr;
};

} // namespace quilla
