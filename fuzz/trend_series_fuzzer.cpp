// Trend series: whatever a trend page holds, both series read from it are its
// pieces between commas, each a finite number or missing, ending in the two
// values of its figures; the end date, when the page gives one, is a day in
// a sane range; and the series keeps all of that through the journal.

#include "fuzz_support.h"

#include "index/trend_page.h"
#include "session/session_store.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace quilla::fuzz;
using Str = std::u32string;

// The page as the reader sees it: spaces and line breaks gone.
Str normal(const QString& page) {
    Str w = codePoints(page);
    std::erase(w, U' ');
    std::erase(w, U'\r');
    std::erase(w, U'\n');
    return w;
}

// Cuts `w` at the marker's start, and loses its last character as every cut
// of the page's rules does; false when there is none.
bool cutAt(Str& w, const Str& marker) {
    const auto at = w.find(marker);
    if (at == Str::npos)
        return false;
    w = w.substr(at, w.size() - at - 1);
    return true;
}

// The text of the next series: from its opening bracket up to the closing one.
std::optional<Str> nextSeries(Str& w) {
    if (!cutAt(w, U"cityEndDate") || !cutAt(w, U"["))
        return std::nullopt;
    const auto close = w.find(U']');
    if (close == Str::npos)
        return std::nullopt;
    return w.substr(0, close);
}

// A series as plainly as the rules say it: every piece between commas as a
// number, or missing.
std::vector<std::optional<double>> valuesOf(const std::optional<Str>& series) {
    std::vector<std::optional<double>> values;
    if (!series || series->empty())
        return values;
    std::size_t from = 0;
    for (;;) {
        const auto comma = series->find(U',', from);
        const QString piece = fromCodePoints(series->substr(from, comma - from));
        values.push_back(quilla::seriesNumber(piece));
        if (comma == Str::npos)
            break;
        from = comma + 1;
    }
    return values;
}

bool endsWith(const quilla::SeriesValues& s, const QString& last, const QString& before) {
    const std::size_t n = s.size();
    return (n >= 1 ? s.at(n - 1) : std::nullopt) == quilla::seriesNumber(last) &&
           (n >= 2 ? s.at(n - 2) : std::nullopt) == quilla::seriesNumber(before) &&
           (n >= 1 || last.isEmpty()) && (n >= 2 || before.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString page = textOf(bytesOf(data, size));
    const quilla::TrendReading reading = quilla::readTrendPage(page);
    const quilla::TrendSeries& series = reading.series;

    Str w = normal(page);
    std::optional<Str> search, trade;
    if (cutAt(w, U"App.set")) {
        search = nextSeries(w);
        if (search)
            trade = nextSeries(w);
    }
    FUZZ_CHECK(series.search.values() == valuesOf(search));
    FUZZ_CHECK(series.trade.values() == valuesOf(trade));
    for (const auto* values : {&series.search, &series.trade})
        for (const auto& v : values->values())
            FUZZ_CHECK(!v || std::isfinite(*v));
    FUZZ_CHECK(endsWith(series.search, reading.fields[0], reading.fields[1]));
    FUZZ_CHECK(endsWith(series.trade, reading.fields[2], reading.fields[3]));

    // A date only where the page names one, and only a day a chart or a
    // sheet can count back from.
    if (series.endDate) {
        FUZZ_CHECK(normal(page).find(U"cityEndDate") != Str::npos);
        FUZZ_CHECK(series.endDate->isValid());
        FUZZ_CHECK(*series.endDate >= QDate(2000, 1, 1) && *series.endDate <= QDate(2100, 12, 31));
        const auto days = static_cast<qint64>(std::max(series.search.size(), series.trade.size()));
        FUZZ_CHECK(series.endDate->addDays(1 - std::max<qint64>(days, 1)).isValid());
    }

    // What the journal keeps of the series is the series.
    const auto kept = quilla::decodeSeries(quilla::encodeSeries(series));
    FUZZ_CHECK(kept && *kept == series);
    return 0;
}
