// The dated history: a project of 1,000 rows with a year of daily snapshots
// each opens in well under a second, beside the same rows without history;
// an index tick costs the same with that history behind the change columns
// as without any.

#include "core/list_headers.h"
#include "pages.h"
#include "session/project_file.h"
#include "session/session_store.h"
#include "support/index_fake_browser.h"
#include "table.h"
#include "workbench/workbench.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>

namespace quilla::bench {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr int rowCount = 1000;
constexpr int days = 365;
constexpr std::int64_t dayMs = 24 * 3600 * 1000;
constexpr std::int64_t firstDay = 1'704'103'200'000; // 2024-01-01 10:00 UTC

QString keywordOf(int i) {
    return u"连衣裙女夏季款"_s + QString::number(i);
}

// Rows as an index run leaves them, each with two 365-day series.
SessionSnapshot rowsOnly() {
    SessionSnapshot s;
    s.results.push_back(Row{resultHeader()});
    for (int i = 0; i < rowCount; ++i) {
        auto series = std::make_shared<TrendSeries>();
        std::vector<std::optional<double>> values(days);
        for (int d = 0; d < days; ++d)
            values[std::size_t(d)] = 1000 + (i * 7 + d * 13) % 5000;
        series->search = SeriesValues(values);
        series->trade = SeriesValues(values);
        series->endDate = QDate(2024, 12, 30);
        s.results.push_back(Row{{keywordOf(i), u"12,345"_s, u"3,456"_s, u"3,012"_s, u"812"_s,
                                 u"790"_s, u"+12%"_s, u"-3%"_s, u"+5%"_s, u"+8%"_s, u"上升"_s},
                                series});
    }
    s.state.keyword = u"连衣裙"_s;
    return s;
}

SessionSnapshot withHistory(SessionSnapshot s) {
    s.history.reserve(std::size_t(rowCount) * days);
    for (int d = 0; d < days; ++d)
        for (int i = 0; i < rowCount; ++i)
            s.history.append(
                *makeSnapshot(firstDay + d * dayMs, keywordOf(i), 10000 + (i + d) % 3000,
                              {QString::number(3000 + (i * 3 + d) % 900), u"3,012"_s, u"812"_s,
                               u"790"_s, u"+12%"_s, u"-3%"_s, u"+5%"_s, u"+8%"_s, u"上升"_s},
                              QDate(2024, 1, 1).addDays(d - 1)));
    return s;
}

// Opening each project in turns: the one with history is the figure, the
// same rows without it the baseline.
void openProject(benchmark::State& state) {
    QTemporaryDir folder;
    const SessionSnapshot plain = rowsOnly();
    const QString bare = folder.filePath(u"rows.quilla"_s);
    const QString dated = folder.filePath(u"history.quilla"_s);
    if (saveProject(plain, bare).kind != NewFileResult::Kind::Written ||
        saveProject(withHistory(plain), dated).kind != NewFileResult::Kind::Written) {
        state.SkipWithError("could not save the projects");
        return;
    }
    double baseline = 0;
    std::size_t snapshots = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        const auto without = readSession(bare);
        baseline += since(start);
        start = Clock::now();
        const auto with = readSession(dated);
        state.SetIterationTime(since(start));
        if (!std::holds_alternative<SessionSnapshot>(with) ||
            !std::holds_alternative<SessionSnapshot>(without)) {
            state.SkipWithError("a project did not open");
            return;
        }
        snapshots = std::get<SessionSnapshot>(with).history.size();
    }
    state.counters["baseline_s"] = baseline / double(state.iterations());
    state.counters["snapshots"] = double(snapshots);
    state.counters["MiB"] = double(QFileInfo(dated).size()) / (1 << 20);
}

// One workbench with a browser that always shows the same trend page; the
// table in mining order, or sorted by the search change so that every tick
// moves its row by it.
struct Bench {
    Bench(const SessionSnapshot& s, bool sorted) : bench(parts()) {
        browser.page = trendPageText(20000);
        bench.applySnapshot(s);
        bench.setSettings({u"连衣裙"_s, {}, {}, u"3"_s, u"6000"_s});
        if (sorted)
            bench.order().sort(column::searchChange, Qt::DescendingOrder);
    }
    Workbench::Parts parts() {
        Workbench::Parts p;
        p.browser = &browser;
        p.now = [this] { return now += 1000; };
        return p;
    }
    void tick() {
        if (!bench.index().progress().running)
            bench.startIndex();
        bench.index().tick();
    }
    test::FakeBrowser browser;
    std::int64_t now = firstDay + days * dayMs;
    Workbench bench;
};

// Ticks in turns: with a year of history behind the change columns (the
// figure) and with none (the baseline).
void indexTick(benchmark::State& state, bool sorted) {
    const SessionSnapshot plain = rowsOnly();
    Bench without(plain, sorted);
    Bench with(withHistory(plain), sorted);
    double baseline = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        without.tick();
        baseline += since(start);
        start = Clock::now();
        with.tick();
        state.SetIterationTime(since(start));
    }
    state.counters["baseline_s"] = baseline / double(state.iterations());
}

void registerAll() {
    benchmark::RegisterBenchmark("history/open_1000_rows_365_days", openProject)
        ->UseManualTime()
        ->Iterations(3)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [name, sorted] :
         {std::pair{"history/index_tick", false}, std::pair{"history/index_tick_sorted", true}})
        benchmark::RegisterBenchmark(name, indexTick, sorted)
            ->UseManualTime()
            ->Iterations(500)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMicrosecond);
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    const auto open = r.seconds("history/open_1000_rows_365_days");
    const auto bare = r.counter("history/open_1000_rows_365_days", "baseline_s");
    rows.push_back(limitRow("opening a project of 1,000 rows with 365 daily snapshots each",
                            open ? std::optional(*open * 1e3) : std::nullopt, "ms", 1000, true,
                            "< 1 s",
                            bare ? cat({"the same rows without history ", timeText(*bare)}) : ""));
    rows.push_back(pairedRatioRow(r, "index tick, 1,000 rows, with 365,000 snapshots",
                                  "history/index_tick", "no history", std::optional(1.1),
                                  "<= 1.1x"));
    rows.push_back(pairedRatioRow(r, "the same, the table sorted by 搜索变化 (each row moves)",
                                  "history/index_tick_sorted", "no history (no row moves)",
                                  std::nullopt, "report"));
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
