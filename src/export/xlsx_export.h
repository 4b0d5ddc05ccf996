#pragma once

// The result table as an Excel workbook: one sheet "关键词" whose numbers
// sort and sum, under the same rules as the CSV file (named after the
// keyword, complete or not at all, never over an existing entry).

#include "core/row_list.h"
#include "export/export_outcome.h"
#include "results/cell_values.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

namespace quilla {

// The trend sheet's limits: days (rows) and keywords (columns, Excel's
// 16,384 less the day column).
inline constexpr std::size_t trendSheetDays = 3660;
inline constexpr std::size_t trendSheetKeywords = 16383;

// One line of sheet "词根", as the root view shows it.
struct RootSheetRow {
    QString root;
    std::int64_t keywords = 0;
    std::optional<double> search, trade, items;
    Opportunity opportunity;
};

// Sheet "标题": a composed title and what it covers.
struct TitleSheet {
    QString title;
    int bytes = 0;
    double share = 0; // of the table's demand
    QStringList keywords;
};

// The sheets after the table's own, each written when given: the roots in
// the order given (the caller sorts), the last composed title.
struct RootSheets {
    std::optional<std::vector<RootSheetRow>> roots;
    std::optional<TitleSheet> title;
};

struct WorkbookWrite {
    enum class Kind { Written, Failed, Cancelled };
    Kind kind = Kind::Failed;
    QString reason; // for Failed
    QString note;   // for Written: what the trend sheet could not hold
};

// Writes the workbook to `path`; its temporary parts go to the same folder.
// Sheet "关键词": the header row bold, frozen and filtered, then the rows of
// `table` in `order` (list rows from 1 on). Keyword and forecast are text
// cells, whatever they begin with; counts, index figures and the opportunity
// numbers; percentages and the changes (from `changes`, by keyword; empty
// without) numbers in a percent format. Sheet "趋势": a column per
// keyword that has a search series, a row per day; sheet "趋势图": a line
// chart of the first ten; then "词根" and "标题" from `extra`. The finished
// package is read back whole before it counts as written. A stop request
// ends the work at the next row or day.
WorkbookWrite writeWorkbook(const QString& path, const RowList& table,
                            const std::vector<std::int64_t>& order, std::stop_token stop = {},
                            const RootSheets& extra = {}, const TableChanges& changes = {});

// Writes <keyword>.xlsx into `folder`. Cancelled leaves nothing behind.
ExportOutcome exportWorkbook(const RowList& table, const std::vector<std::int64_t>& order,
                             const QString& keyword, const QString& folder,
                             const NewFileOptions& options = {}, std::stop_token stop = {},
                             const RootSheets& extra = {}, const TableChanges& changes = {});

} // namespace quilla
