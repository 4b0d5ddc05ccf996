#pragma once

// A keyword's whole search-index and trade-index series, as numbers, kept
// beside its result row. Whole numbers, which the series nearly always hold,
// take four bytes a day; a series with a fraction in it takes eight.

#include <QDate>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace quilla {

class SeriesValues {
public:
    SeriesValues() = default;
    // Each value or nothing (a piece that is not a number), oldest first.
    explicit SeriesValues(const std::vector<std::optional<double>>& values);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::optional<double> at(std::size_t day) const;
    std::vector<std::optional<double>> values() const;
    // Bytes the values take, for the memory check.
    std::size_t bytes() const;
    // Whether every value is a whole number (kept in four bytes).
    bool whole() const { return std::holds_alternative<std::vector<std::int32_t>>(values_); }

    bool operator==(const SeriesValues& other) const { return values() == other.values(); }

private:
    static constexpr std::int32_t missingWhole = INT32_MIN;
    std::variant<std::vector<std::int32_t>, std::vector<double>> values_;
};

// The days a series may end on: a far day would drive loops over its days
// later (charts, the trend sheet), and a page that names one is no trend page.
bool isSaneEndDay(const QDate& day);

struct TrendSeries {
    SeriesValues search;
    SeriesValues trade;
    std::optional<QDate> endDate; // the day of the last values, when the page states it

    bool operator==(const TrendSeries&) const = default;
};

} // namespace quilla
