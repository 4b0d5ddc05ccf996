#pragma once

// The result table as an Excel workbook: one sheet "关键词" whose numbers
// sort and sum, under the same rules as the CSV file (named after the
// keyword, complete or not at all, never over an existing entry).

#include "core/row_list.h"
#include "export/export_outcome.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace quilla {

// Writes the workbook to `path`. Sheet "关键词": the header row bold, frozen
// and filtered, then the rows of `table` in `order` (list rows from 1 on).
// Keyword and forecast are text cells, whatever they begin with; counts,
// index figures and the opportunity numbers; percentages numbers in a
// percent format. Sheet "趋势": each keyword's search series by day, with a
// line chart of the first ten.
bool writeWorkbook(const QString& path, const RowList& table,
                   const std::vector<std::int64_t>& order, QString& reason);

// Writes <keyword>.xlsx into `folder`.
ExportOutcome exportWorkbook(const RowList& table, const std::vector<std::int64_t>& order,
                             const QString& keyword, const QString& folder,
                             const NewFileOptions& options = {});

} // namespace quilla
