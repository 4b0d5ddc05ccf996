// Reading pages: the search page's related words and count, the trend page's
// nine figures, and decoding a fetched GBK page. Each is compared with a
// plain pass over the same input measured in the same run.

#include "index/trend_page.h"
#include "mining/search_page.h"
#include "net/page_decode.h"
#include "pages.h"
#include "table.h"

#include <QStringDecoder>

#include <string>

namespace quilla::bench {
namespace {

// Not in any page: a find of it reads the whole text.
constexpr QChar absent(u'\u0001');

struct Size {
    const char* name;
    qsizetype units;
};
constexpr Size searchSizes[] = {{"100KB", 100 * KiB}, {"1MB", MiB}, {"4MB", 4 * MiB}};
constexpr Size trendSizes[] = {{"100KB", 100 * KiB}, {"1MB", MiB}};

void plainScan(benchmark::State& state, const QString& text) {
    for (auto _ : state) {
        const qsizetype at = text.indexOf(absent);
        benchmark::DoNotOptimize(at);
    }
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
    state.counters["units"] = static_cast<double>(text.size());
}

void searchExtraction(benchmark::State& state, const QString& page, const QStringList& expected,
                      const QString& count) {
    const SearchPage once = readSearchPage(page);
    if (QStringList(once.related.begin(), once.related.end()) != expected || once.count != count) {
        state.SkipWithError("the page did not read as expected");
        return;
    }
    for (auto _ : state) {
        SearchPage read = readSearchPage(page);
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(state.iterations() * page.size() * 2);
}

void trendExtraction(benchmark::State& state, const QString& page, const TrendFields& expected) {
    const auto once = trendFigures(page);
    if (!std::equal(once.begin(), once.end(), expected.begin())) {
        state.SkipWithError("the page did not read as expected");
        return;
    }
    for (auto _ : state) {
        TrendFields read = trendFigures(page);
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(state.iterations() * page.size() * 2);
}

// The header a server sends without naming the charset: the page's <meta> decides.
const QByteArray contentType = QByteArrayLiteral("text/html");

void decodeWithDetection(benchmark::State& state, const QByteArray& body, const QString& text) {
    if (decodePage(body, contentType) != text) {
        state.SkipWithError("the page did not decode to its text");
        return;
    }
    for (auto _ : state) {
        QString decoded = decodePage(body, contentType);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void decoderAlone(benchmark::State& state, const QByteArray& body) {
    for (auto _ : state) {
        QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless);
        QString decoded = decoder.decode(body);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

template <typename... Args> void add(const std::string& name, Args&&... args) {
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMicrosecond);
}

// The pages a run meets, and pages that lack what the readers look for, so
// that their searches run to the end: fewer than fourteen links, no block and
// no count at all, a trend page before its query has been answered.
void registerAll() {
    const QString count = QStringLiteral("1,234");
    const QStringList four = pageRelatedWords().mid(2, 4);
    for (const Size& s : searchSizes) {
        const std::string_view size = s.name;
        const QString page = searchPage(s.units, pageRelatedWords());
        const QString fewer = searchPage(s.units, four);
        const QString bare = searchPage(s.units, {}, {});
        add(cat({"search_page/", size}), searchExtraction, page, expectedRelatedWords(), count);
        add(cat({"search_page/", size, "/4_words"}), searchExtraction, fewer, four, count);
        add(cat({"search_page/", size, "/bare"}), searchExtraction, bare, QStringList(),
            QStringLiteral("未找到"));
        add(cat({"scan/search/", size}), plainScan, page);
        add(cat({"scan/search/", size, "/4_words"}), plainScan, fewer);
        add(cat({"scan/search/", size, "/bare"}), plainScan, bare);
    }
    for (const Size& s : trendSizes) {
        const std::string_view size = s.name;
        const QString page = trendPageText(s.units);
        const QString bare = trendPageText(s.units, false);
        add(cat({"trend_figures/", size}), trendExtraction, page, expectedTrendFields());
        add(cat({"trend_figures/", size, "/bare"}), trendExtraction, bare, TrendFields{});
        add(cat({"scan/trend/", size}), plainScan, page);
        add(cat({"scan/trend/", size, "/bare"}), plainScan, bare);
    }
    const QString text = searchPage(MiB, pageRelatedWords());
    const QByteArray gbk = toGb18030(text);
    add("decode/QStringDecoder/1MB", decoderAlone, gbk);
    add("decode/decodePage/1MB", decodeWithDetection, gbk, text);
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    const std::string scan = "indexOf(absent QChar)";
    const std::pair<std::string_view, std::string_view> searchKinds[] = {
        {"", ""}, {"/4_words", ", 4 related words"}, {"/bare", ", no block, no count"}};
    for (const auto& [kind, what] : searchKinds) {
        for (const Size& s : searchSizes) {
            const std::string_view size = s.name;
            rows.push_back(ratioRow(r, cat({"search page extraction, ", size, what}),
                                    cat({"search_page/", size, kind}),
                                    cat({"scan/search/", size, kind}), scan, 5, "<= 5 scans"));
        }
        TableRow growth = ratioRow(r, cat({"search page extraction, 4MB vs 1MB", what}),
                                   cat({"search_page/4MB", kind}), cat({"search_page/1MB", kind}),
                                   "1MB", 4.5, "<= 4.5x");
        // What reading four times the text costs the plain scan on this machine.
        const auto scan1 = r.seconds(cat({"scan/search/1MB", kind}));
        const auto scan4 = r.seconds(cat({"scan/search/4MB", kind}));
        if (scan1 && scan4)
            growth.baseline = cat({growth.baseline, " (scan ", fixed(*scan4 / *scan1, 2), "x)"});
        rows.push_back(growth);
    }
    for (const auto& [kind, what] :
         {std::pair<std::string_view, std::string_view>{"", ""}, {"/bare", ", no result"}}) {
        for (const Size& s : trendSizes) {
            const std::string_view size = s.name;
            rows.push_back(ratioRow(r, cat({"trend figures, ", size, what}),
                                    cat({"trend_figures/", size, kind}),
                                    cat({"scan/trend/", size, kind}), scan, 5, "<= 5 scans"));
        }
    }
    rows.push_back(ratioRow(r, "decodePage, 1MB GBK page", "decode/decodePage/1MB",
                            "decode/QStringDecoder/1MB", "QStringDecoder", 1.2, "<= 1.2x"));
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
