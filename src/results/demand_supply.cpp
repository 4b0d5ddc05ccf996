#include "results/demand_supply.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace quilla {
namespace {

// An index query has reached the row: it holds its nine fields.
bool indexed(const Row& row) {
    return row.fields.size() > column::searchYesterday;
}

template <class Values, class Value> double medianOf(const Values& ascending, Value value) {
    if (ascending.empty())
        return 0;
    const std::size_t mid = ascending.size() / 2;
    return ascending.size() % 2 == 1 ? value(ascending[mid])
                                     : (value(ascending[mid - 1]) + value(ascending[mid])) / 2;
}

} // namespace

double medianOfSorted(const std::vector<double>& ascending) {
    return medianOf(ascending, [](double v) { return v; });
}

double medianOfSorted(const std::vector<std::pair<double, std::int64_t>>& ascending) {
    return medianOf(ascending, [](const auto& f) { return f.first; });
}

bool inScarceQuarter(const DemandPoint& p, double medianCount, double medianSearch) {
    return p.search > medianSearch && p.count < medianCount;
}

// Larger opportunity first, "无竞品" above every figure; ties in table order.
bool moreOpportunity(const DemandPoint& a, const DemandPoint& b) {
    const auto rank = [](const Opportunity& o) {
        return o.kind == Opportunity::Kind::NoCompetition ? std::numeric_limits<double>::infinity()
                                                          : o.perThousand;
    };
    if (rank(a.opportunity) != rank(b.opportunity))
        return rank(a.opportunity) > rank(b.opportunity);
    return a.listRow < b.listRow;
}

DemandReading demandReadingOf(const Row& row, std::int64_t listRow) {
    if (!indexed(row))
        return {};
    const auto count = figureOf(row, column::count);
    const auto search = figureOf(row, column::searchYesterday);
    if (!count || !search || *count <= 0 || *search <= 0)
        return {true, std::nullopt};
    return {true, DemandPoint{listRow, row.keyword(), *count, *search, opportunityOf(row)}};
}

DemandSupply demandSupplyFrom(std::vector<DemandPoint> points, int leftOut) {
    DemandSupply out;
    out.points = std::move(points);
    out.leftOut = leftOut;
    std::vector<double> counts, searches;
    counts.reserve(out.points.size());
    searches.reserve(out.points.size());
    for (const DemandPoint& p : out.points) {
        counts.push_back(p.count);
        searches.push_back(p.search);
    }
    std::sort(counts.begin(), counts.end());
    std::sort(searches.begin(), searches.end());
    out.medianCount = medianOfSorted(counts);
    out.medianSearch = medianOfSorted(searches);
    for (const DemandPoint& p : out.points)
        if (inScarceQuarter(p, out.medianCount, out.medianSearch))
            out.scarce.push_back(p);
    std::sort(out.scarce.begin(), out.scarce.end(), moreOpportunity);
    return out;
}

DemandSupply demandSupplyOf(const RowList& table) {
    std::vector<DemandPoint> points;
    int leftOut = 0;
    for (std::int64_t i = 1; i < table.count(); ++i) {
        DemandReading r = demandReadingOf(table.row(i), i);
        if (r.point)
            points.push_back(std::move(*r.point));
        else
            leftOut += r.indexed;
    }
    return demandSupplyFrom(std::move(points), leftOut);
}

std::vector<QPointF> seriesPoints(const SeriesValues& values, std::optional<QDate> endDate) {
    std::vector<QPointF> points;
    const auto n = static_cast<qint64>(values.size());
    for (qint64 day = 0; day < n; ++day) {
        const auto value = values.at(static_cast<std::size_t>(day));
        if (!value)
            continue;
        const qint64 back = n - 1 - day;
        const double x = endDate
                             ? static_cast<double>(
                                   endDate->addDays(-back).startOfDay(Qt::UTC).toMSecsSinceEpoch())
                             : static_cast<double>(-back);
        points.emplace_back(x, *value);
    }
    return points;
}

std::vector<QPointF> supplyPoints(const History& history, const QString& keyword, bool dated) {
    constexpr double dayMs = 24.0 * 3600 * 1000;
    std::vector<QPointF> points;
    const std::vector<const Snapshot*> snapshots = history.of(keyword);
    if (snapshots.empty())
        return points;
    const std::int64_t latest = snapshots.back()->atMs;
    for (const Snapshot* s : snapshots) {
        const auto items = s->itemCount();
        if (!items)
            continue;
        double x = 0;
        if (!dated)
            x = std::round(double(s->atMs - latest) / dayMs);
        else if (const auto end = s->seriesEndDate())
            x = double(end->startOfDay(Qt::UTC).toMSecsSinceEpoch());
        else
            x = double(s->atMs);
        points.emplace_back(x, double(*items));
    }
    return points;
}

} // namespace quilla
