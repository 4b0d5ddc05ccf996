#pragma once

// The nine index figures of a trend-index page, taken from its markup text.

#include "core/row_list.h"

#include <QString>

#include <array>

namespace quilla {

// In the order of the result table's header after keyword and item count:
// search index yesterday and the day before, trade index yesterday and the
// day before, seven-day ratio and its year-on-year change, thirty-day ratio
// and its year-on-year change, trend forecast. A figure the page does not
// carry is empty.
using TrendFields = std::array<QString, 9>;

TrendFields trendFigures(const QString& pageText);

// The row's keyword and item count (fewer when the row holds fewer) followed
// by the nine figures; figures from an earlier query are replaced, so a row
// never holds more than eleven fields.
Row extendRow(const Row& row, const TrendFields& fields);

} // namespace quilla
