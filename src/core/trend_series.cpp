#include "core/trend_series.h"

#include <cmath>
#include <limits>

namespace quilla {
namespace {

bool fitsWhole(double v) {
    return std::nearbyint(v) == v && v > std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
}

} // namespace

bool isSaneEndDay(const QDate& day) {
    return day.isValid() && day >= QDate(2000, 1, 1) && day <= QDate(2100, 12, 31);
}

SeriesValues::SeriesValues(const std::vector<std::optional<double>>& values) {
    bool whole = true;
    for (const auto& v : values)
        whole = whole && (!v || fitsWhole(*v));
    if (whole) {
        std::vector<std::int32_t> out;
        out.reserve(values.size());
        for (const auto& v : values)
            out.push_back(v ? static_cast<std::int32_t>(*v) : missingWhole);
        values_ = std::move(out);
    } else {
        std::vector<double> out;
        out.reserve(values.size());
        for (const auto& v : values)
            out.push_back(v ? *v : std::numeric_limits<double>::quiet_NaN());
        values_ = std::move(out);
    }
}

std::size_t SeriesValues::size() const {
    return std::visit([](const auto& v) { return v.size(); }, values_);
}

std::optional<double> SeriesValues::at(std::size_t day) const {
    if (const auto* whole = std::get_if<std::vector<std::int32_t>>(&values_)) {
        if (day >= whole->size() || (*whole)[day] == missingWhole)
            return std::nullopt;
        return (*whole)[day];
    }
    const auto& any = std::get<std::vector<double>>(values_);
    if (day >= any.size() || std::isnan(any[day]))
        return std::nullopt;
    return any[day];
}

std::vector<std::optional<double>> SeriesValues::values() const {
    std::vector<std::optional<double>> out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        out.push_back(at(i));
    return out;
}

std::size_t SeriesValues::bytes() const {
    return std::visit([](const auto& v) { return v.capacity() * sizeof(v[0]); }, values_);
}

} // namespace quilla
