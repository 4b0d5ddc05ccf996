#pragma once

// What the chart window draws: demand (yesterday's search index) against
// supply (the item count) of the indexed rows, the quarter with high demand
// and little supply, and a keyword's series over time.

#include "core/row_list.h"
#include "history/history.h"
#include "results/cell_values.h"

#include <QPointF>

#include <optional>
#include <utility>
#include <vector>

namespace quilla {

struct DemandPoint {
    std::int64_t listRow = 0;
    QString keyword;
    double count = 0;  // x
    double search = 0; // y
    Opportunity opportunity;
};

struct DemandSupply {
    std::vector<DemandPoint> points; // one per indexed row with both figures above 0
    int leftOut = 0;                 // indexed rows with a 0 or missing count or search index
    double medianCount = 0;
    double medianSearch = 0;
    // Above the median search index and below the median count, by
    // opportunity, largest first.
    std::vector<DemandPoint> scarce;
};

DemandSupply demandSupplyOf(const RowList& table);

// One row as the chart reads it: not indexed yet, indexed but left out (a 0
// or missing figure), or a point.
struct DemandReading {
    bool indexed = false;
    std::optional<DemandPoint> point;
};
DemandReading demandReadingOf(const Row& row, std::int64_t listRow);
// The medians and the scarce quarter of these points, in table order.
DemandSupply demandSupplyFrom(std::vector<DemandPoint> points, int leftOut);

// The rules the above follow, for whoever keeps a DemandSupply up to date
// row by row: the median of values in ascending order; whether a point is in
// the scarce quarter; the scarce list's order.
double medianOfSorted(const std::vector<double>& ascending);
// The same of values kept beside their rows, ordered by value first.
double medianOfSorted(const std::vector<std::pair<double, std::int64_t>>& ascending);
bool inScarceQuarter(const DemandPoint& p, double medianCount, double medianSearch);
bool moreOpportunity(const DemandPoint& a, const DemandPoint& b);

// A series as points over time: x is the day's time (ms since 1970, UTC)
// when the end date is known, else days back from the last (..., -1, 0).
// Missing values make no point.
std::vector<QPointF> seriesPoints(const SeriesValues& values, std::optional<QDate> endDate);
// A keyword's item count at each of its snapshots, on the same time line:
// when `dated`, the day the snapshot's series ended (the query's time when
// it states none), else days back from its latest snapshot. Snapshots
// without a count make no point.
std::vector<QPointF> supplyPoints(const History& history, const QString& keyword, bool dated);

} // namespace quilla
