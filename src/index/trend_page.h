#pragma once

// The nine index figures of a trend-index page, taken from its markup text.

#include "core/row_list.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace quilla {

// In the order of the result table's header after keyword and item count:
// search index yesterday and the day before, trade index yesterday and the
// day before, seven-day ratio and its year-on-year change, thirty-day ratio
// and its year-on-year change, trend forecast. A figure the page does not
// carry is empty.
using TrendFields = std::array<QString, 9>;

TrendFields trendFigures(const QString& pageText);

// The figures and, from the same series text, both series whole: every
// piece as a number (missing when it is none), and the end date the page
// states after its first "cityEndDate:". The last two values of each series
// are the numbers of its two figures, a leading "[" aside.
struct TrendReading {
    TrendFields fields;
    TrendSeries series;
};
TrendReading readTrendPage(const QString& pageText);

// A piece of a series as a number; a leading "[" is no part of it.
std::optional<double> seriesNumber(QStringView piece);

// The row's keyword and item count (fewer when the row holds fewer) followed
// by the nine figures, with the series beside; what an earlier query left is
// replaced, so a row never holds more than eleven fields.
Row extendRow(const Row& row, const TrendFields& fields,
              std::shared_ptr<const TrendSeries> series = {});

} // namespace quilla
