// Trend page reading: any page text gives nine figures, the same each time,
// equal to a plain re-reading of the rules that copies the text at every step
// (and leaves a figure empty when its own markers are missing), and each
// figure keeps the shape its step gives it.

#include "fuzz_support.h"

#include "index/trend_page.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace quilla::fuzz;
using Str = std::u32string;

namespace plain {

long findIn(const Str& s, const Str& marker) {
    const auto at = s.find(marker);
    return at == Str::npos ? 0 : static_cast<long>(at) + 1;
}

long length(const Str& s) {
    return static_cast<long>(s.size());
}

std::optional<Str> take(const Str& s, long p, long n) {
    if (p < 1 || n < 0)
        return std::nullopt;
    if (p > length(s))
        return Str();
    return s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(n));
}

bool cut(Str& s, long p) {
    const long n = length(s) - p;
    if (p < 1 || n < 0)
        return false;
    s = s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(n));
    return true;
}

// Cuts at the marker; false when there is none.
bool cutAt(Str& s, const Str& marker) {
    const long p = findIn(s, marker);
    return p != 0 && cut(s, p);
}

std::vector<Str> split(const Str& t) {
    std::vector<Str> pieces;
    if (t.empty())
        return pieces;
    Str piece;
    for (const char32_t c : t) {
        if (c == U',') {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece.push_back(c);
        }
    }
    pieces.push_back(piece);
    return pieces;
}

void lastTwo(const Str& series, Str& last, Str& before) {
    const std::vector<Str> pieces = split(series);
    const long n = static_cast<long>(pieces.size());
    if (n >= 1)
        last = pieces[static_cast<std::size_t>(n - 1)];
    if (n >= 2)
        before = pieces[static_cast<std::size_t>(n - 2)];
}

Str replaced(const Str& s, const Str& from, const Str& to) {
    Str out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = s.find(from, at)) != Str::npos; at = hit + from.size())
        out += s.substr(at, hit - at) + to;
    return out + s.substr(at);
}

Str normal(const QString& page) {
    Str w = codePoints(page);
    std::erase(w, U' ');
    std::erase(w, U'\r');
    std::erase(w, U'\n');
    return w;
}

void series(Str w, std::array<Str, 9>& f) {
    if (!cutAt(w, U"App.set") || !cutAt(w, U"cityEndDate") || !cutAt(w, U"["))
        return;
    long p = findIn(w, U"]");
    if (p == 0)
        return;
    lastTwo(w.substr(0, static_cast<std::size_t>(p - 1)), f[0], f[1]);
    if (!cutAt(w, U"cityEndDate") || !cutAt(w, U"["))
        return;
    p = findIn(w, U"]");
    if (p == 0)
        return;
    lastTwo(w.substr(0, static_cast<std::size_t>(p - 1)), f[2], f[3]);
}

// The figure from `skip` characters after the marker up to the first `stop`.
void figure(const Str& w, const Str& marker, long skip, const Str& stop, Str& out) {
    const long m = findIn(w, marker);
    if (m == 0)
        return;
    if (const auto t = take(w, m + skip, findIn(w, stop) - (m + skip)))
        out = *t;
}

void sentences(Str w, std::array<Str, 9>& f) {
    const long seven = findIn(w, U"最近七天的");
    if (const auto t = take(w, seven, findIn(w, U"去阿里指数查看") - seven))
        w = *t;
    figure(w, U"最近七天的", 11, U"，", f[4]);
    cut(w, findIn(w, U"与去年同期相比"));
    figure(w, U"与去年同期相比", 7, U"。", f[5]);
    cut(w, findIn(w, U"最近三十天的"));
    figure(w, U"最近三十天的", 12, U"，", f[6]);
    cut(w, findIn(w, U"与去年同期相比"));
    figure(w, U"与去年同期相比", 7, U"。", f[7]);
    const long forecast = findIn(w, U"趋势预测");
    if (forecast == 0)
        return;
    cut(w, forecast + 5);
    const long stop = findIn(w, U"。");
    if (stop >= 1)
        f[8] = w.substr(0, static_cast<std::size_t>(stop - 1));
}

quilla::TrendFields fields(const QString& page) {
    std::array<Str, 9> f;
    series(normal(page), f);
    sentences(normal(page), f);
    for (std::size_t i = 4; i < 8; ++i)
        f[i] =
            replaced(replaced(replaced(f[i], U"<SPANclass=up>", U"+"), U"<SPANclass=down>", U"-"),
                     U"</SPAN>", U"");
    quilla::TrendFields out;
    for (std::size_t i = 0; i < f.size(); ++i)
        out[i] = fromCodePoints(f[i]);
    return out;
}

} // namespace plain

bool holdsAny(const QString& s, std::initializer_list<const char16_t*> parts) {
    for (const char16_t* part : parts)
        if (s.contains(QStringView(part)))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString page = textOf(bytesOf(data, size));
    const quilla::TrendFields got = quilla::trendFigures(page);

    FUZZ_CHECK(got == quilla::trendFigures(page));
    FUZZ_CHECK(got == plain::fields(page));

    for (const QString& field : got) {
        FUZZ_CHECK(!holdsAny(field, {u" ", u"\r", u"\n"}));
        FUZZ_CHECK(!hasLoneSurrogate(field));
    }
    // Series figures are pieces between commas, before the closing bracket.
    for (std::size_t i = 0; i < 4; ++i)
        FUZZ_CHECK(!holdsAny(got[i], {u",", u"]"}));
    // Ratios end before their sentence's comma or full stop, the forecast before its full stop.
    FUZZ_CHECK(!got[4].contains(u'，') && !got[6].contains(u'，'));
    FUZZ_CHECK(!got[5].contains(u'。') && !got[7].contains(u'。') && !got[8].contains(u'。'));
    // Ratio markup is gone from the ratios, unless removing "</SPAN>" joined the
    // pieces of a new one: then the page must hold "</SPAN>" at all.
    const bool pageHasClose = plain::normal(page).find(U"</SPAN>") != Str::npos;
    for (std::size_t i = 4; i < 8; ++i)
        FUZZ_CHECK(pageHasClose ||
                   !holdsAny(got[i], {u"<SPANclass=up>", u"<SPANclass=down>", u"</SPAN>"}));

    // The whole series, read from the same text, never disagree with the
    // figures on their last two values, and a series without figures is empty.
    const quilla::TrendReading reading = quilla::readTrendPage(page);
    FUZZ_CHECK(reading.fields == got);
    const auto agrees = [](const quilla::SeriesValues& s, const QString& last,
                           const QString& before) {
        const std::size_t n = s.size();
        return (n >= 1 ? s.at(n - 1) : std::nullopt) == quilla::seriesNumber(last) &&
               (n >= 2 ? s.at(n - 2) : std::nullopt) == quilla::seriesNumber(before) &&
               (n >= 1 || last.isEmpty()) && (n >= 2 || before.isEmpty());
    };
    FUZZ_CHECK(agrees(reading.series.search, got[0], got[1]));
    FUZZ_CHECK(agrees(reading.series.trade, got[2], got[3]));

    // A row keeps its keyword and count and never grows past eleven fields.
    const QStringList parts = page.left(64).split(u',');
    const quilla::Row row = quilla::extendRow(quilla::Row{parts}, got);
    const qsizetype kept = std::min<qsizetype>(parts.size(), 2);
    FUZZ_CHECK(row.fields.size() == kept + 9);
    FUZZ_CHECK(row.fields.mid(0, kept) == parts.mid(0, kept));
    // Indexing a row again replaces its figures.
    if (kept == 2)
        FUZZ_CHECK(quilla::extendRow(row, got) == row);
    return 0;
}
