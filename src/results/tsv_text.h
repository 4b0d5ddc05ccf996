#pragma once

// Rows as tab-separated text, the form spreadsheets paste into cells.

#include <QString>
#include <QStringList>

#include <vector>

namespace quilla {

// One line per row, CR LF at each end, fields between tabs. A field holding
// a tab, a line break or a double quote is quoted, its quotes doubled, so a
// spreadsheet keeps it in one cell.
QString tsvText(const std::vector<QStringList>& rows);

} // namespace quilla
