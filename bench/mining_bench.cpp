// The mining run without the window: one step at growing list sizes, a run
// against the fake marketplace through the real fetcher and timer, and the
// peak memory of a run that finds 30,000 keywords (measured in a process of
// its own, so nothing else is counted).

#include "child_process.h"
#include "core/interval_timer.h"
#include "core/row_list.h"
#include "fake_market/server.h"
#include "mining/mining_run.h"
#include "mining/search_page.h"
#include "mining_setup.h"
#include "pages.h"
#include "step_cases.h"
#include "support/fakes.h"
#include "support/proxy_env.h"
#include "table.h"
#include "workbench/workbench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <memory>

namespace quilla::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace Qt::StringLiterals;

// One step; the lists are put back to their size whenever steps have grown
// them by more than a few percent, outside the timing.
void miningStep(benchmark::State& state, int candidates, int rows) {
    Mining mining;
    const auto allowed = std::max<std::int64_t>(maxRelatedWords, candidates / 50);
    mining.reset(candidates, rows);
    std::int64_t appended = 0;
    for (auto _ : state) {
        if (mining.candidateCount() + maxRelatedWords > candidates + allowed)
            mining.reset(candidates, rows);
        mining.prepareNextPage();
        const auto before = mining.candidateCount();
        const auto start = Clock::now();
        mining.step();
        const auto end = Clock::now();
        appended += mining.candidateCount() - before;
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    if (appended != static_cast<std::int64_t>(state.iterations()) * maxRelatedWords)
        state.SkipWithError("a step did not append the page's fourteen words");
}

std::string stepName(const StepCase& c) {
    return stepName("mining_step", c);
}

// --- a run against the fake marketplace ---

constexpr auto runLength = std::chrono::seconds(5);

// Steps per second while a run goes on. The fake marketplace knows some
// thirty keywords, so the run starts again each time its list runs dry; the
// time from each start to its last step counts, the restarts do not.
void fakeMarketRun(benchmark::State& state) {
    for (auto _ : state) {
        fake_market::FakeMarketServer server;
        if (!server.start()) {
            state.SkipWithError("the fake marketplace did not start");
            return;
        }
        test::ProxyEnvironment proxy(server.port());
        Workbench::Parts parts;
        parts.fetcher = std::make_shared<CurlFetcher>();
        Workbench bench(std::move(parts));
        bench.setSettings({u"qq"_s, {}, {}, u"100000000"_s, u"6000"_s});
        RowList& candidates = bench.candidates();
        IntervalTimer& timer = bench.miningTimer();
        MiningRun& run = bench.mining();

        int steps = 0;
        int counted = 0; // steps whose page stated a count
        double counting = 0;
        auto started = Clock::now();
        auto lastStep = started;
        const auto closeSegment = [&] {
            counting += std::chrono::duration<double>(lastStep - started).count();
        };
        // A step ends by writing its mined row; the run may have stopped with it.
        QObject::connect(&candidates, &RowList::dataChanged, &timer, [&](const QModelIndex& at) {
            ++steps;
            lastStep = Clock::now();
            if (candidates.row(at.row()).fields.value(1) != u"未找到"_s)
                ++counted;
            QTimer::singleShot(0, &timer, [&] {
                if (timer.interval() != 0 || run.stepInFlight())
                    return;
                closeSegment();
                run.start();
                started = lastStep = Clock::now();
            });
        });
        QEventLoop loop;
        QTimer::singleShot(runLength, &loop, &QEventLoop::quit);
        run.start();
        started = lastStep = Clock::now();
        loop.exec();
        timer.setInterval(0);
        closeSegment();
        if (counted < steps / 2 || counting <= 0) {
            state.SkipWithError("the fake marketplace's pages did not arrive");
            return;
        }
        state.SetIterationTime(counting);
        state.counters["steps"] = steps;
        state.counters["steps_per_s"] = steps / counting;
        state.counters["requests"] = static_cast<double>(server.requests().size());
    }
}

// --- peak memory, in a process of its own ---

constexpr int memoryKeywords = 30000;

// Mines until the candidate list holds 30,000 keywords, then reports the
// process's peak resident size.
int memoryChild() {
    Mining mining;
    mining.reset(2, 0);
    QElapsedTimer clock;
    clock.start();
    while (mining.candidateCount() <= memoryKeywords && clock.elapsed() < 300000) {
        mining.prepareNextPage();
        mining.step();
    }
    reportPeakMemory(mining.candidateCount() - 1, mining.resultCount() - 1);
    return mining.candidateCount() > memoryKeywords ? 0 : 1;
}

void registerAll() {
    for (const StepCase& c : stepCases) {
        benchmark::RegisterBenchmark(stepName(c).c_str(), miningStep, c.candidates, c.rows)
            ->UseManualTime()
            ->Iterations(400)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("mining_run/fake_market", fakeMarketRun)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memory/30000_keywords", measurePeakMemory, u"--memory-child"_s)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    for (const StepCase& c : stepCases) {
        const bool target = c.candidates == 30000;
        TableRow row =
            ratioRow(r, cat({"mining step, ", c.what, ", lists alone"}), stepName(c),
                     stepName(stepCases[0]), "10 candidates",
                     target ? std::optional(1.5) : std::nullopt, target ? "<= 1.5x" : "report");
        rows.push_back(row);
    }
    const auto perSecond = r.counter("mining_run/fake_market", "steps_per_s");
    TableRow run = limitRow("mining run, fake marketplace, 100 ms tick", perSecond, "steps/s", 9.5,
                            false, ">= 9.5 steps/s", "10 steps/s");
    if (perSecond)
        run.ratio = cat({fixed(*perSecond / 10, 3), "x"});
    rows.push_back(run);
    rows.push_back(limitRow("peak memory, 30,000-keyword run, lists alone",
                            r.counter("memory/30000_keywords", "peak_MiB"), "MiB", 300, true,
                            "< 300 MiB"));
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--memory-child") == 0)
        return quilla::bench::memoryChild();
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
