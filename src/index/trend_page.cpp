#include "index/trend_page.h"

#include "core/marker_search.h"
#include "core/text_ops.h"

#include <QChar>
#include <QStringView>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define QUILLA_TREND_SSE2 1
#endif

namespace quilla {
namespace {

constexpr Marker appSet{u"App.set", 3};          // the '.'
constexpr Marker cityEndDate{u"cityEndDate", 4}; // the 'E'
constexpr Marker openBracket{u"["};
constexpr Marker closeBracket{u"]"};
constexpr Marker sevenDays{u"最近七天的"};
constexpr Marker moreLink{u"去阿里指数查看"};
constexpr Marker lastYear{u"与去年同期相比", 1}; // the '去', as for the link
constexpr Marker thirtyDays{u"最近三十天的"};
constexpr Marker forecast{u"趋势预测"};
constexpr Marker fullComma{u"，"};
constexpr Marker fullStop{u"。"};

// Skips over the marker and the sentence words after it up to the figure.
constexpr int sevenDaysSkip = 11;
constexpr int lastYearSkip = 7;
constexpr int thirtyDaysSkip = 12;
constexpr int forecastSkip = 5;

using Hit = MarkerHit;
using Match = MarkerMatch;

// The first position from `from` on that holds one of the four characters,
// or -1. Sixteen positions at a time: this is the search that reads the whole
// page when the page lacks its markers.
qsizetype firstOfAny(QStringView text, qsizetype from, const std::array<char16_t, 4>& chars) {
    const char16_t* const data = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = from;
#ifdef QUILLA_TREND_SSE2
    __m128i wanted[4];
    for (std::size_t k = 0; k < 4; ++k)
        wanted[k] = _mm_set1_epi16(static_cast<short>(chars[k]));
    for (; i + 16 <= size; i += 16) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 8));
        __m128i a = _mm_cmpeq_epi16(lo, wanted[0]);
        __m128i b = _mm_cmpeq_epi16(hi, wanted[0]);
        for (std::size_t k = 1; k < 4; ++k) {
            a = _mm_or_si128(a, _mm_cmpeq_epi16(lo, wanted[k]));
            b = _mm_or_si128(b, _mm_cmpeq_epi16(hi, wanted[k]));
        }
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(a)) |
                          (static_cast<unsigned>(_mm_movemask_epi8(b)) << 16);
        if (mask != 0)
            return i + std::countr_zero(mask) / 2;
    }
#endif
    for (; i < size; ++i) {
        if (std::find(chars.begin(), chars.end(), data[i]) != chars.end())
            return i;
    }
    return -1;
}

// The rules read the page with every space, carriage return and line feed
// removed.
constexpr std::u16string_view droppedChars = u" \r\n";

// The working text: a window over the page that a cut narrows, never copies.
// Its end never follows a dropped character, so it holds a character
// exactly when it is not empty.
struct Window {
    qsizetype begin;
    qsizetype end;
};

// find() over working texts that are windows on one page. A window only ever
// loses characters at its front and back, so the first occurrence of a
// marker at or after its start is remembered and a stretch of the page is
// never searched twice for the same marker.
class Finder {
public:
    explicit Finder(const SkippingPage& page) : page_(page) {}

    // One pass that looks for several markers at once, so markers a page
    // lacks cost one read of the page between them instead of one each.
    void prime(std::initializer_list<const Marker*> markers);

    std::optional<Hit> find(const Window& w, const Marker& m) {
        Found& f = entry(m);
        const bool known = f.from >= 0 && f.from <= w.begin && (!f.hit || f.hit->at >= w.begin);
        if (!known) {
            f.from = w.begin;
            f.hit = page_.find(w.begin, page_.size(), m);
        }
        if (!f.hit || f.hit->end > w.end)
            return std::nullopt;
        return f.hit;
    }

    const SkippingPage& page() const { return page_; }

private:
    struct Found {
        const Marker* marker;
        qsizetype from = -1; // searched from here on; -1: not yet
        std::optional<Hit> hit;
    };

    Found& entry(const Marker& m) {
        for (Found& f : found_)
            if (f.marker == &m)
                return f;
        found_.push_back({&m, -1, std::nullopt});
        return found_.back();
    }

    const SkippingPage& page_;
    std::vector<Found> found_;
};

void Finder::prime(std::initializer_list<const Marker*> markers) {
    std::vector<const Marker*> open;
    std::array<char16_t, 4> anchors{};
    std::size_t distinct = 0;
    for (const Marker* m : markers) {
        const char16_t c = m->text[m->anchor];
        const auto known = std::find(anchors.begin(), anchors.begin() + distinct, c);
        if (known == anchors.begin() + distinct) {
            if (distinct == anchors.size())
                continue; // searched for when asked
            anchors[distinct++] = c;
        }
        entry(*m) = Found{m, 0, std::nullopt};
        open.push_back(m);
    }
    if (open.empty())
        return;
    std::fill(anchors.begin() + distinct, anchors.end(), anchors[0]);
    for (qsizetype a = firstOfAny(page_.view(), 0, anchors); a >= 0 && !open.empty();
         a = firstOfAny(page_.view(), a + 1, anchors)) {
        std::erase_if(open, [&](const Marker* m) {
            Hit hit{};
            if (m->text[m->anchor] != page_.view()[a])
                return false;
            const Match match = page_.matchAt(a, 0, *m, hit);
            if (match == Match::Found)
                entry(*m).hit = hit;
            return match != Match::NotHere;
        });
    }
}

// Cuts w at the marker; false, leaving w alone, when w does not hold it.
bool cutAtMarker(Finder& finder, Window& w, const Marker& m) {
    const auto hit = finder.find(w, m);
    if (!hit)
        return false;
    w = {hit->at, finder.page().withoutLast(hit->at, w.end)};
    return true;
}

// The series: w up to its first closing bracket.
bool seriesEnd(Finder& finder, const Window& w, qsizetype& end) {
    const auto hit = finder.find(w, closeBracket);
    if (!hit)
        return false;
    end = hit->at;
    return true;
}

// The last two pieces between commas of the series [from, to); a series
// that is empty once normalised has none. Only those two are copied.
void lastTwoPieces(const SkippingPage& page, qsizetype from, qsizetype to, QString& last,
                   QString& before) {
    if (page.trimmed(from, to) == from)
        return;
    const QStringView series = page.view().sliced(from, to - from);
    const qsizetype comma = series.lastIndexOf(u',');
    last = page.text(from + comma + 1, to);
    if (comma < 0)
        return;
    const qsizetype previous = comma == 0 ? -1 : series.lastIndexOf(u',', comma - 1);
    before = page.text(from + previous + 1, from + comma);
}

// Where the two series stand: from the opening bracket to the closing one,
// and where the first "cityEndDate" ends, the end date after it.
struct SeriesSpans {
    std::optional<Window> search, trade;
    qsizetype endDateFrom = -1;
};

// A series whose markers are missing has no span, rather than one taken
// from elsewhere on the page.
SeriesSpans findSeries(Finder& finder, Window w) {
    SeriesSpans spans;
    qsizetype end = 0;
    if (!cutAtMarker(finder, w, appSet))
        return spans;
    if (const auto date = finder.find(w, cityEndDate))
        spans.endDateFrom = date->end;
    if (!cutAtMarker(finder, w, cityEndDate) || !cutAtMarker(finder, w, openBracket) ||
        !seriesEnd(finder, w, end))
        return spans;
    spans.search = Window{w.begin, end};
    // w now begins at the first series' bracket, so these find the second one.
    if (!cutAtMarker(finder, w, cityEndDate) || !cutAtMarker(finder, w, openBracket) ||
        !seriesEnd(finder, w, end))
        return spans;
    spans.trade = Window{w.begin, end};
    return spans;
}

// Fields 1 to 4: the last two pieces of each series.
void takeSeries(const SkippingPage& page, const SeriesSpans& spans, TrendFields& out) {
    if (spans.search)
        lastTwoPieces(page, spans.search->begin, spans.search->end, out[0], out[1]);
    if (spans.trade)
        lastTwoPieces(page, spans.trade->begin, spans.trade->end, out[2], out[3]);
}

// Every piece of a series as a number; a piece that is not one is missing.
// The pieces are the figures' pieces: the first carries the opening bracket,
// which seriesNumber takes off.
SeriesValues seriesValues(const SkippingPage& page, const std::optional<Window>& span) {
    std::vector<std::optional<double>> values;
    if (!span || page.trimmed(span->begin, span->end) == span->begin)
        return SeriesValues(values);
    const QString text = page.text(span->begin, span->end);
    for (const QStringView piece : QStringView(text).split(u','))
        values.push_back(seriesNumber(piece));
    return SeriesValues(values);
}

// The day after "cityEndDate:", when it reads as a date ("2024-05-31",
// quoted or not, or with slashes) in the range a series may end in.
std::optional<QDate> endDateAt(const SkippingPage& page, qsizetype from) {
    if (from < 0)
        return std::nullopt;
    const QStringView rest =
        page.view().sliced(from).first(std::min<qsizetype>(40, page.size() - from));
    QString text = copyWithout(rest, droppedChars);
    if (!text.startsWith(u':'))
        return std::nullopt;
    text = text.mid(1);
    qsizetype end = 0;
    while (end < text.size() && text[end] != u',' && text[end] != u'}')
        ++end;
    QString value = text.first(end);
    value.remove(u'"').remove(u'\'');
    for (const QString& format :
         {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy/MM/dd"), QStringLiteral("yyyyMMdd")}) {
        const QDate date = QDate::fromString(value, format);
        if (date.isValid())
            return isSaneEndDay(date) ? std::optional(date) : std::nullopt;
    }
    return std::nullopt;
}

// The text from `skip` characters after the marker up to the first `stop`;
// nothing when w does not hold the marker, or the stop comes before.
void figureAfter(Finder& finder, const Window& w, const Marker& marker, int skip,
                 const Marker& stop, QString& out) {
    const auto m = finder.find(w, marker);
    if (!m)
        return;
    const qsizetype from = finder.page().advanced(m->at, skip, w.end);
    const auto s = finder.find(w, stop);
    if (s && s->at >= from)
        out = finder.page().text(from, s->at);
}

// Fields 5 to 9, from the summary sentences, each found after the one before.
void takeSentences(Finder& finder, Window w, TrendFields& out) {
    const SkippingPage& page = finder.page();
    const auto seven = finder.find(w, sevenDays);
    const auto more = finder.find(w, moreLink);
    if (seven && more && more->at >= seven->at)
        w = {seven->at, page.trimmed(seven->at, more->at)};
    figureAfter(finder, w, sevenDays, sevenDaysSkip, fullComma, out[4]);
    cutAtMarker(finder, w, lastYear);
    figureAfter(finder, w, lastYear, lastYearSkip, fullStop, out[5]);
    cutAtMarker(finder, w, thirtyDays);
    figureAfter(finder, w, thirtyDays, thirtyDaysSkip, fullComma, out[6]);
    cutAtMarker(finder, w, lastYear);
    figureAfter(finder, w, lastYear, lastYearSkip, fullStop, out[7]);

    const auto f = finder.find(w, forecast);
    if (!f)
        return;
    if (const qsizetype from = page.advanced(f->at, forecastSkip, w.end); from < w.end)
        w = {from, page.withoutLast(from, w.end)};
    if (const auto stop = finder.find(w, fullStop))
        out[8] = page.text(w.begin, stop->at);
}

// The page marks a rise and a fall with spans; a sign reads better in a table.
QString ratioText(QString field) {
    return field.replace(QStringLiteral("<SPANclass=up>"), QStringLiteral("+"))
        .replace(QStringLiteral("<SPANclass=down>"), QStringLiteral("-"))
        .remove(QStringLiteral("</SPAN>"));
}

} // namespace

namespace {

TrendFields figuresOf(const SkippingPage& page, Finder& finder, const SeriesSpans& spans) {
    const Window whole{0, page.trimmed(0, page.size())};
    TrendFields fields;
    takeSeries(page, spans, fields);
    takeSentences(finder, whole, fields);
    for (std::size_t i = 4; i <= 7; ++i)
        fields[i] = ratioText(fields[i]);
    return fields;
}

} // namespace

std::optional<double> seriesNumber(QStringView piece) {
    if (piece.startsWith(u'['))
        piece = piece.sliced(1);
    bool ok = false;
    const double value = piece.toDouble(&ok);
    return ok && std::isfinite(value) && !piece.isEmpty() ? std::optional(value) : std::nullopt;
}

TrendFields trendFigures(const QString& pageText) {
    const SkippingPage page(pageText, droppedChars);
    Finder finder(page);
    finder.prime({&appSet, &sevenDays, &moreLink, &lastYear, &thirtyDays, &forecast});
    return figuresOf(page, finder, findSeries(finder, {0, page.trimmed(0, page.size())}));
}

TrendReading readTrendPage(const QString& pageText) {
    const SkippingPage page(pageText, droppedChars);
    Finder finder(page);
    finder.prime({&appSet, &sevenDays, &moreLink, &lastYear, &thirtyDays, &forecast});
    const SeriesSpans spans = findSeries(finder, {0, page.trimmed(0, page.size())});
    TrendReading reading;
    reading.fields = figuresOf(page, finder, spans);
    reading.series.search = seriesValues(page, spans.search);
    reading.series.trade = seriesValues(page, spans.trade);
    reading.series.endDate = endDateAt(page, spans.endDateFrom);
    return reading;
}

Row extendRow(const Row& row, const TrendFields& fields,
              std::shared_ptr<const TrendSeries> series) {
    Row extended{row.fields.mid(0, 2), std::move(series)};
    extended.failure = row.failure; // the count's page never loaded: the index does not mend that
    for (const QString& field : fields)
        extended.fields.append(field);
    return extended;
}

} // namespace quilla
