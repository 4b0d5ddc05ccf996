#include "index/trend_page.h"

#include "core/text_ops.h"

#include <QChar>

#include <bitset>
#include <initializer_list>
#include <vector>

namespace quilla {
namespace {

constexpr TextView appSet = U"App.set";
constexpr TextView cityEndDate = U"cityEndDate";
constexpr TextView openBracket = U"[";
constexpr TextView closeBracket = U"]";
constexpr TextView sevenDays = U"最近七天的";
constexpr TextView moreLink = U"去阿里指数查看";
constexpr TextView lastYear = U"与去年同期相比";
constexpr TextView thirtyDays = U"最近三十天的";
constexpr TextView forecast = U"趋势预测";
constexpr TextView fullComma = U"，";
constexpr TextView fullStop = U"。";

// Skips over the marker and the sentence words after it up to the figure.
constexpr std::int64_t sevenDaysSkip = 11;
constexpr std::int64_t lastYearSkip = 7;
constexpr std::int64_t thirtyDaysSkip = 12;
constexpr std::int64_t forecastSkip = 5;

constexpr std::size_t none = TextView::npos;

// find() over working texts that are views into one page text. The working
// text only ever loses characters at its front and back, so the first
// occurrence of a marker at or after its start is remembered and a stretch of
// the page is never searched twice for the same marker.
class Finder {
public:
    explicit Finder(TextView page) : page_(page) {}

    // One pass that looks for several markers at once, so markers a page lacks
    // cost one scan between them instead of one each.
    void prime(std::initializer_list<TextView> markers);

    std::int64_t find(TextView w, TextView marker);

private:
    struct Found {
        TextView marker;
        std::size_t from; // searched from here on
        std::size_t at;   // first occurrence at or after `from`, or none
    };
    Found& entry(TextView marker);

    TextView page_;
    std::vector<Found> found_;
};

void Finder::prime(std::initializer_list<TextView> markers) {
    std::vector<std::size_t> open; // indices into found_, which may grow meanwhile
    std::bitset<0x10000> firsts;   // first characters of the markers still looked for
    for (TextView marker : markers) {
        Found& f = entry(marker);
        f.from = 0;
        f.at = none;
        open.push_back(static_cast<std::size_t>(&f - found_.data()));
        firsts.set(marker.front() & 0xFFFF);
    }
    const char32_t* const begin = page_.data();
    const char32_t* const end = begin + page_.size();
    for (const char32_t* at = begin; !open.empty(); ++at) {
        // Four at a time: most characters begin no marker.
        while (end - at >= 4 && !(firsts[at[0] & 0xFFFF] | firsts[at[1] & 0xFFFF] |
                                  firsts[at[2] & 0xFFFF] | firsts[at[3] & 0xFFFF]))
            at += 4;
        while (at < end && !firsts[*at & 0xFFFF])
            ++at;
        if (at == end)
            return;
        const TextView rest(at, static_cast<std::size_t>(end - at));
        for (auto it = open.begin(); it != open.end();) {
            Found& f = found_[*it];
            if (f.marker.front() == *at && rest.starts_with(f.marker)) {
                f.at = static_cast<std::size_t>(at - begin);
                it = open.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::int64_t Finder::find(TextView w, TextView marker) {
    if (w.size() < marker.size())
        return 0; // also keeps an empty view, which points nowhere, out of the sums below
    const auto start = static_cast<std::size_t>(w.data() - page_.data());
    Found& f = entry(marker);
    const bool known = f.from <= start && (f.at == none || f.at >= start);
    if (!known) {
        f.from = start;
        f.at = page_.find(marker, start);
    }
    if (f.at == none || f.at + marker.size() > start + w.size())
        return 0;
    return static_cast<std::int64_t>(f.at - start) + 1;
}

Finder::Found& Finder::entry(TextView marker) {
    for (Found& f : found_)
        if (f.marker == marker)
            return f;
    // Nothing searched yet: an empty record that no start can reuse.
    found_.push_back({marker, none, none});
    return found_.back();
}

// Cuts w at the marker; false, leaving w alone, when w does not hold it.
bool cutAtMarker(Finder& finder, TextView& w, TextView marker) {
    const auto p = finder.find(w, marker);
    if (p == 0)
        return false;
    if (const auto rest = cut(w, p))
        w = *rest;
    return true;
}

// The series text: w up to its first closing bracket.
bool seriesText(Finder& finder, TextView w, TextView& series) {
    const auto p = finder.find(w, closeBracket);
    if (p == 0)
        return false;
    series = *left(w, p - 1);
    return true;
}

void lastTwoPieces(TextView series, TextView& last, TextView& before) {
    const auto pieces = split(series);
    const auto u = static_cast<std::int64_t>(pieces.size()) - 1;
    if (const auto p = piece(pieces, u))
        last = *p;
    if (const auto p = piece(pieces, u - 1))
        before = *p;
}

// Fields 1 to 4. A series whose markers are missing gives no figures, rather
// than figures from elsewhere on the page.
void takeSeries(Finder& finder, TextView w, std::array<TextView, 9>& out) {
    TextView series;
    if (!cutAtMarker(finder, w, appSet) || !cutAtMarker(finder, w, cityEndDate) ||
        !cutAtMarker(finder, w, openBracket) || !seriesText(finder, w, series))
        return;
    lastTwoPieces(series, out[0], out[1]);
    // w now begins at the first series' bracket, so these find the second one.
    if (!cutAtMarker(finder, w, cityEndDate) || !cutAtMarker(finder, w, openBracket) ||
        !seriesText(finder, w, series))
        return;
    lastTwoPieces(series, out[2], out[3]);
}

// The text from `skip` characters after the marker up to the first `stop`;
// nothing when w does not hold the marker.
void figureAfter(Finder& finder, TextView w, TextView marker, std::int64_t skip, TextView stop,
                 TextView& out) {
    const auto m = finder.find(w, marker);
    if (m == 0)
        return;
    const auto p = m + skip;
    if (const auto t = take(w, p, finder.find(w, stop) - p))
        out = *t;
}

void cutAtIfFound(Finder& finder, TextView& w, TextView marker) {
    if (const auto rest = cut(w, finder.find(w, marker)))
        w = *rest;
}

// Fields 5 to 9, from the summary sentences, each found after the one before.
void takeSentences(Finder& finder, TextView w, std::array<TextView, 9>& out) {
    if (const auto stretch = take(w, finder.find(w, sevenDays),
                                  finder.find(w, moreLink) - finder.find(w, sevenDays)))
        w = *stretch;
    figureAfter(finder, w, sevenDays, sevenDaysSkip, fullComma, out[4]);
    cutAtIfFound(finder, w, lastYear);
    figureAfter(finder, w, lastYear, lastYearSkip, fullStop, out[5]);
    cutAtIfFound(finder, w, thirtyDays);
    figureAfter(finder, w, thirtyDays, thirtyDaysSkip, fullComma, out[6]);
    cutAtIfFound(finder, w, lastYear);
    figureAfter(finder, w, lastYear, lastYearSkip, fullStop, out[7]);

    const auto f = finder.find(w, forecast);
    if (f == 0)
        return;
    if (const auto rest = cut(w, f + forecastSkip))
        w = *rest;
    if (const auto sentence = left(w, finder.find(w, fullStop) - 1))
        out[8] = *sentence;
}

// The page marks a rise and a fall with spans; a sign reads better in a table.
QString ratioText(TextView field) {
    Text t = replaceAll(field, U"<SPANclass=up>", U"+");
    t = replaceAll(t, U"<SPANclass=down>", U"-");
    t = replaceAll(t, U"</SPAN>", U"");
    return toQString(t);
}

} // namespace

TrendFields trendfields(const QString& pageText) {
    const Text normal = toTextWithout(pageText, U" \r\n");
    const TextView page = normal;
    Finder finder(page);
    finder.prime({appSet, cityEndDate, sevenDays, moreLink, lastYear, thirtyDays, forecast});

    std::array<TextView, 9> taken{};
    takeSeries(finder, page, taken);
    takeSentences(finder, page, taken);

    TrendFields fields;
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = (i >= 4 && i <= 7) ? ratioText(taken[i]) : toQString(taken[i]);
    return fields;
}

Row extendRow(const Row& row, const TrendFields& fields) {
    Row extended{row.fields.mid(0, 2)};
    for (const QString& field : fields)
        extended.fields.append(field);
    return extended;
}

} // namespace quilla
