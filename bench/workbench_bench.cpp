// The workbench and the journal: importing a long keyword list, the Excel
// file against the CSV file of the same rows, the memory the series take,
// the journal's part in a mining step, and recovering a large journal.

#include "child_process.h"
#include "core/list_headers.h"
#include "export/csv_export.h"
#include "export/xlsx_export.h"
#include "index/trend_page.h"
#include "mining_setup.h"
#include "pages.h"
#include "results/keyword_import.h"
#include "results/result_columns.h"
#include "results/result_order.h"
#include "session/session_binding.h"
#include "session/session_journal.h"
#include "session/session_store.h"
#include "table.h"
#include "thread_time.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

namespace quilla::bench {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- importing ---

constexpr int importLines = 100000;

// A file of 100,000 keywords as a seller's spreadsheet writes it: CSV in
// GB18030, a header line, a count after each keyword, some repeats.
QByteArray keywordFile() {
    QString text = u"关键词,搜索人数\r\n"_s;
    for (int i = 0; i < importLines; ++i)
        text += u"连衣裙女夏季款"_s + QString::number(i % 99000) + u",123\r\n"_s;
    return toGb18030(text);
}

// From the file's bytes to rows in a table that a sorted view shows.
void importFile(benchmark::State& state) {
    const QByteArray bytes = keywordFile();
    for (auto _ : state) {
        RowList table;
        table.append(Row{resultHeader()});
        ResultColumns columns(table);
        ResultOrder order(columns);
        order.sort(0, Qt::AscendingOrder);
        const auto start = Clock::now();
        const KeywordImport found =
            keywordsFrom(decodeKeywordFile(bytes), resultHeader().first(),
                         [&](const QString& k) { return table.containsKeyword(k); });
        appendKeywordRows(table, found.added);
        state.SetIterationTime(since(start));
        if (table.count() != 1 + 99000 || order.rowCount() != 99000) {
            state.SkipWithError("the import did not give 99,000 rows");
            return;
        }
    }
}

// --- exports ---

constexpr int indexedRows = 10000;

void fillIndexed(RowList& table, bool withSeries) {
    table.append(Row{resultHeader()});
    const TrendReading reading = readTrendPage(trendPageText(100 * KiB));
    const auto series = std::make_shared<const TrendSeries>(reading.series);
    std::vector<Row> rows;
    for (int i = 0; i < indexedRows; ++i) {
        QStringList fields{u"连衣裙"_s + QString::number(i), QString::number(1000 + i * 37)};
        for (const QString& f : reading.fields)
            fields.append(f);
        rows.push_back(Row{fields, withSeries ? series : nullptr});
    }
    table.append(std::move(rows));
}

void exportFile(benchmark::State& state, bool excel) {
    RowList table;
    fillIndexed(table, true);
    std::vector<std::int64_t> order;
    for (int i = 1; i <= indexedRows; ++i)
        order.push_back(i);
    QTemporaryDir folder;
    int n = 0;
    for (auto _ : state) {
        const QString keyword = u"k"_s + QString::number(++n);
        const auto start = Clock::now();
        const ExportOutcome outcome = excel ? exportWorkbook(table, order, keyword, folder.path())
                                            : exportTable(table, keyword, folder.path());
        state.SetIterationTime(since(start));
        if (outcome.kind != ExportOutcome::Kind::Written) {
            state.SkipWithError("the export failed");
            return;
        }
    }
}

// --- memory of the series, in processes of their own ---

// 10,000 rows, each with its own two 365-day series read from a trend page.
int seriesMemoryChild(bool withSeries) {
    const QString page = trendPageText(100 * KiB);
    RowList table;
    table.append(Row{resultHeader()});
    const TrendFields fields = trendFigures(page);
    for (int i = 0; i < indexedRows; ++i) {
        QStringList row{u"连衣裙"_s + QString::number(i), u"1,234"_s};
        for (const QString& f : fields)
            row.append(f);
        std::shared_ptr<const TrendSeries> series;
        if (withSeries)
            series = std::make_shared<const TrendSeries>(readTrendPage(page).series);
        table.append(Row{row, series});
    }
    reportPeakMemory(0, table.count() - 1);
    return 0;
}

// --- the journal ---

constexpr int journalCandidates = 30000;
constexpr int journalRows = 10000;

// Writes over more memory than the caches hold.
void evictCaches() {
    static std::vector<char> junk(64 * 1024 * 1024);
    static char round = 0;
    std::fill(junk.begin(), junk.end(), ++round);
    benchmark::DoNotOptimize(junk.data());
    benchmark::ClobberMemory();
}

// One mining step at 30,000 candidates and 10,000 rows with the journal
// following the lists, in turns with the same step of lists without one:
// the processor time of the step's own thread (the wall time too, as a
// counter); the step without is the counter `baseline_s`. The write itself
// runs on the journal's thread and is counted apart. In the window a step
// comes every 100 ms, after the event loop, the painting and the fetch
// thread have been through the caches, and the thread has slept in the
// event loop: `cold` starts each step so. Back to back, the step without
// the journal finds its lists in the caches where the one with it finds
// what the journal's SQLite write left there.
void stepWithJournal(benchmark::State& state, bool cold) {
    QTemporaryDir folder;
    Mining plain, journalled(folder.path());
    SessionJournal* const journal = journalled.journal();
    if (!journal) {
        state.SkipWithError("no journal slot");
        return;
    }
    // `following` is the journal of these lists, if they have one.
    const auto reset = [&](Mining& m, SessionJournal* following) {
        m.reset(journalCandidates, journalRows);
        if (following)
            following->waitUntilWritten(60000);
    };
    reset(plain, nullptr);
    reset(journalled, journal);
    double without = 0, writing = 0, wall = 0, wallWithout = 0;
    const auto allowed = journalCandidates / 50;
    // One step's processor time; its wall time goes to `wallTotal`.
    const auto step = [&](Mining& m, SessionJournal* following, double& wallTotal) {
        if (m.candidateCount() > journalCandidates + allowed)
            reset(m, following);
        m.prepareNextPage();
        if (cold) {
            evictCaches();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const auto start = Clock::now();
        const double cpu = threadSeconds();
        m.step();
        if (following)
            following->flush(); // as the event loop would after the step
        const double spent = threadSeconds() - cpu;
        wallTotal += since(start);
        return spent;
    };
    for (auto _ : state) {
        without += step(plain, nullptr, wallWithout);
        state.SetIterationTime(step(journalled, journal, wall));
        const auto written = Clock::now();
        if (!journal->waitUntilWritten(10000)) {
            state.SkipWithError("the journal did not write");
            return;
        }
        writing += since(written);
    }
    state.counters["baseline_s"] = benchmark::Counter(without, benchmark::Counter::kAvgIterations);
    state.counters["wall_us"] = benchmark::Counter(wall * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["wall_without_us"] =
        benchmark::Counter(wallWithout * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["write_us"] =
        benchmark::Counter(writing * 1e6, benchmark::Counter::kAvgIterations);
    if (const auto failure = journal->takeFailure())
        state.SkipWithError(failure->toStdString().c_str());
}

// Reading back a journal of 30,000 candidates and 10,000 rows and putting
// the lists in place.
void recovery(benchmark::State& state) {
    QTemporaryDir folder;
    SessionSnapshot snapshot;
    snapshot.candidates.push_back(Row{candidateHeader()});
    for (int i = 0; i < journalCandidates; ++i)
        snapshot.candidates.push_back(Row{{u"qq充值卡"_s + QString::number(i), u"12,345"_s}});
    snapshot.results.push_back(Row{resultHeader()});
    for (int i = 0; i < journalRows; ++i)
        snapshot.results.push_back(Row{{u"qq会员"_s + QString::number(i), u"12,345"_s}});
    const QString path = folder.filePath(u"journal.sqlite"_s);
    {
        QSqlDatabase db;
        if (openSessionDatabase(db, path, u"bench"_s, true) || writeSession(db, snapshot)) {
            state.SkipWithError("the journal could not be made");
            return;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"bench"_s);
    Mining mining;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto read = readSession(path);
        const auto* found = std::get_if<SessionSnapshot>(&read);
        if (!found) {
            state.SkipWithError("the journal did not read");
            return;
        }
        mining.candidates().clear();
        mining.candidates().append(std::vector<Row>(found->candidates));
        mining.results().clear();
        mining.results().append(std::vector<Row>(found->results));
        state.SetIterationTime(since(start));
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}

void registerAll() {
    const auto times = [](benchmark::internal::Benchmark* b, int iterations, int repetitions) {
        b->UseManualTime()
            ->Iterations(iterations)
            ->Repetitions(repetitions)
            ->ReportAggregatesOnly(repetitions > 1);
    };
    times(benchmark::RegisterBenchmark("import/100000_lines", importFile)
              ->Unit(benchmark::kMillisecond),
          1, 3);
    times(benchmark::RegisterBenchmark("export/csv_10000", exportFile, false)
              ->Unit(benchmark::kMillisecond),
          3, 3);
    times(benchmark::RegisterBenchmark("export/xlsx_10000", exportFile, true)
              ->Unit(benchmark::kMillisecond),
          3, 3);
    for (const auto& [name, flag] : {std::pair{"memory/10000_rows_with_series", u"--with-series"_s},
                                     std::pair{"memory/10000_rows_without", u"--without-series"_s}})
        benchmark::RegisterBenchmark(name, measurePeakMemory, flag)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    for (const auto& [name, cold] :
         {std::pair{"journal/step", true}, std::pair{"journal/step_back_to_back", false}})
        times(benchmark::RegisterBenchmark(name, stepWithJournal, cold)
                  ->Unit(benchmark::kMicrosecond),
              300, 5);
    times(benchmark::RegisterBenchmark("journal/recovery_30000", recovery)
              ->Unit(benchmark::kMillisecond),
          3, 3);
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    const auto ms = [&](const char* name) -> std::optional<double> {
        if (const auto s = r.seconds(name))
            return *s * 1e3;
        return std::nullopt;
    };
    rows.push_back(limitRow("import of 100,000 lines into a sorted table",
                            ms("import/100000_lines"), "ms", 1000, true, "< 1 s"));
    rows.push_back(ratioRow(r, "Excel export, 10,000 indexed rows with series", "export/xlsx_10000",
                            "export/csv_10000", "CSV", std::nullopt, "report"));
    const auto with = r.counter("memory/10000_rows_with_series", "peak_MiB");
    const auto without = r.counter("memory/10000_rows_without", "peak_MiB");
    TableRow memory = limitRow("memory of 10,000 rows' series (two 365-day each)",
                               with && without ? std::optional(*with - *without) : std::nullopt,
                               "MiB", 100, true, "well under 100 MiB more",
                               without ? cat({"rows alone ", fixed(*without, 1), " MiB"}) : "");
    rows.push_back(memory);
    rows.push_back(pairedRatioRow(
        r,
        "mining step, 30,000 candidates, 10,000 rows, journal on (its thread's time, cold caches)",
        "journal/step", "journal off, the steps between", std::optional(1.5), "<= 1.5x"));
    rows.push_back(pairedRatioRow(r, "the same step, back to back (warm caches)",
                                  "journal/step_back_to_back", "journal off, the steps between",
                                  std::nullopt, "report"));
    const auto wallWith = r.counter("journal/step", "wall_us");
    const auto wallWithout = r.counter("journal/step", "wall_without_us");
    TableRow wallRow{"the same step, wall time",
                     wallWith ? timeText(*wallWith / 1e6) : "missing",
                     wallWithout ? cat({"journal off ", timeText(*wallWithout / 1e6)}) : "-",
                     wallWith && wallWithout ? cat({fixed(*wallWith / *wallWithout, 2), "x"}) : "-",
                     "report",
                     "-"};
    rows.push_back(wallRow);
    const auto write = r.counter("journal/step", "write_us");
    rows.push_back(limitRow("journal write of that step, on its own thread",
                            write ? std::optional(*write / 1e3) : std::nullopt, "ms", 100, true,
                            "report", "a step every 100 ms"));
    rows.push_back(limitRow("recovery of a 30,000-candidate journal", ms("journal/recovery_30000"),
                            "ms", 1000, true, "< 1 s"));
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--with-series") == 0)
        return quilla::bench::seriesMemoryChild(true);
    if (argc > 1 && qstrcmp(argv[1], "--without-series") == 0)
        return quilla::bench::seriesMemoryChild(false);
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
