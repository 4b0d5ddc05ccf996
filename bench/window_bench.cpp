// The program as the user runs it, offscreen: one mining step of the window
// at growing list sizes, a run against the fake marketplace, the page-text
// serializer of the embedded browser, the time to the window shown and the
// peak memory of a run that finds 30,000 keywords. Start-up and memory are
// measured in processes of their own.

#include "app/chart_window.h"
#include "app/main_window.h"
#include "app/root_window.h"
#include "browser/web_browser.h"
#include "browser/web_setup.h"
#include "child_process.h"
#include "core/list_headers.h"
#include "fake_market/server.h"
#include "index/trend_page.h"
#include "mining/search_page.h"
#include "pages.h"
#include "results/cell_values.h"
#include "step_cases.h"
#include "support/fake_opener.h"
#include "support/proxy_env.h"
#include "table.h"
#include "window_setup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

namespace quilla::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace Qt::StringLiterals;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lays out and paints what is pending, as the event loop does between ticks.
void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Answers every fetch at once, on the fetch thread, with a page that offers
// fourteen words never offered before.
class FreshPages final : public PageFetcher {
public:
    FreshPages() : parts_(searchPageParts(64 * KiB)) {}
    FetchResult fetch(const QString&, std::stop_token) override {
        QStringList words;
        for (int i = 0; i < maxRelatedWords; ++i)
            words.append(u"qq币"_s + QString::number(++serial_));
        FetchResult page;
        page.text = parts_.page(words);
        page.status = 200;
        return page;
    }

private:
    const SearchPageParts parts_;
    std::atomic<int> serial_ = 0;
};

// --- one step of the window ---

// The lists as a run leaves them, with the mining timer set so far out that
// only the benchmark's own ticks start steps.
void resetLists(Window& w, int candidates, int rows) {
    w->workbench().startMining();
    w->workbench().miningTimer().setInterval(Timer::maxInterval);
    for (int i = 2; i < candidates; ++i)
        w->workbench().candidates().append(quilla::Row{{u"qq充值卡"_s + QString::number(i)}});
    // Indexed rows, so that a view sorted by the opportunity has figures to weigh.
    std::vector<quilla::Row> indexed;
    for (int i = 0; i < rows; ++i)
        indexed.push_back(quilla::Row{
            QStringList{u"qq会员"_s + QString::number(i), QString::number(1 + i * 7919 % 99991),
                        QString::number(i * 31 % 20000), u"1"_s, u"2"_s, u"3"_s, u"+1%"_s, u"-1%"_s,
                        u"+2%"_s, u"-2%"_s, u"上升"_s}});
    w->workbench().results().append(std::move(indexed));
    settle();
}

// From the tick to the end of the layout and paint the step causes. The
// fetch thread and its answer's trip back are part of every step alike.
void windowStep(benchmark::State& state, int candidates, int rows, bool sortedByOpportunity) {
    Window w(std::make_shared<FreshPages>());
    if (!w.ready()) {
        state.SkipWithError("the window did not come up");
        return;
    }
    if (sortedByOpportunity)
        w->workbench().order().sort(column::opportunity, Qt::DescendingOrder);
    w.type("quantityBox", u"100000000"_s);
    const auto allowed = std::max<std::int64_t>(maxRelatedWords, candidates / 50);
    resetLists(w, candidates, rows);
    std::int64_t appended = 0;
    double stepping = 0;
    for (auto _ : state) {
        if (w->workbench().candidates().count() + maxRelatedWords > candidates + allowed)
            resetLists(w, candidates, rows);
        const auto before = w->workbench().candidates().count();
        const auto start = Clock::now();
        Q_EMIT w->workbench().miningTimer().ticked();
        if (!waitFor([&] { return !w->workbench().fetching(); }, 10000)) {
            state.SkipWithError("a step's page never arrived");
            return;
        }
        stepping += since(start);
        settle();
        state.SetIterationTime(since(start));
        appended += w->workbench().candidates().count() - before;
    }
    if (appended != static_cast<std::int64_t>(state.iterations()) * maxRelatedWords)
        state.SkipWithError("a step did not append the page's fourteen words");
    // Until the step has finished with its page; the rest is layout and paint.
    state.counters["to_step_end_ms"] =
        benchmark::Counter(stepping * 1e3, benchmark::Counter::kAvgIterations);
}

std::string stepName(const StepCase& c) {
    return stepName("window_step", c);
}

// The largest lists, also with the result view sorted by the opportunity.
const StepCase& sortedCase = stepCases[std::size(stepCases) - 1];
std::string sortedStepName() {
    return stepName("window_step_sorted", sortedCase);
}

// --- an index tick, the chart window or the root view open or closed ---

constexpr int chartRows = 10000;
constexpr int indexTicks = 30;

// 10,000 indexed rows with their two 365-day series, figures spread so
// that the chart has a cloud of points to draw.
void fillIndexedRows(MainWindow& w) {
    const TrendReading reading = readTrendPage(trendPageText(100 * KiB));
    const auto series = std::make_shared<const TrendSeries>(reading.series);
    std::vector<Row> rows{Row{resultHeader()}};
    for (int i = 0; i < chartRows; ++i) {
        QStringList fields{u"qq会员"_s + QString::number(i), QString::number(1 + i * 7919 % 99991),
                           QString::number(1 + i * 31 % 20000)};
        for (std::size_t f = 1; f < reading.fields.size(); ++f)
            fields.append(reading.fields[f]);
        rows.push_back(Row{fields, series});
    }
    w.workbench().results().append(std::move(rows));
}

// Whether the chart shows the row with the search index it has now.
bool drawnAsWritten(const ChartWindow& chart, const RowList& results, std::int64_t listRow) {
    const auto search = indexValue(results.row(listRow).fields.value(column::searchYesterday));
    for (const DemandPoint& p : chart.drawn().points)
        if (p.listRow == listRow)
            return search && p.search == *search;
    return false;
}

// Whether the root view shows the row's own root (its number) with the row's
// search index.
bool rootAsWritten(const RootWindow& roots, const RowList& results, std::int64_t listRow) {
    const auto search = indexValue(results.row(listRow).fields.value(column::searchYesterday));
    const QAbstractItemModel* m = roots.table()->model();
    const QString root = QString::number(listRow - 1);
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, 0).data().toString() == root)
            return search && m->index(r, 2).data().toString() == figureText(*search);
    return false;
}

// The processor time of the window's thread for one tick of the index run in
// the real browser: from the tick through the row it writes to the half
// second after, in which an open chart window redraws once. The ticks take
// turns with the chart window closed and open, so that the machine's drift
// over a run weighs on both alike: the iteration's time is the tick with
// the window open, the counter `baseline_s` the one before it with the window
// closed. Before each tick, not counted, the page gets the figures of the
// keyword submitted last, and a window just opened catches up. The same for
// the root view (`roots`), which totals every row's roots and redraws its
// table and bar charts.
void indexTick(benchmark::State& state, bool roots) {
    Window w(std::make_shared<FreshPages>());
    if (!w.ready()) {
        state.SkipWithError("the window did not come up");
        return;
    }
    fillIndexedRows(*w);
    QWidget* shown = nullptr;
    const auto open = [&]() -> QWidget* {
        if (roots)
            return &w->openRootWindow();
        return &w->openChartWindow();
    };
    shown = open();
    IndexTicks ticks(w);
    if (!ticks.start()) {
        state.SkipWithError(ticks.failure().c_str());
        return;
    }
    const auto tick = [&](int settleMs) {
        const auto cpu = ticks.tick(settleMs);
        if (!cpu)
            state.SkipWithError(ticks.failure().c_str());
        return cpu;
    };
    double closed = 0;
    int redrawn = 0;
    for (auto _ : state) {
        shown->close();
        const auto shut = tick(100);
        open();
        const std::int64_t row = w->workbench().index().queryRow();
        const auto opened = tick(500);
        if (!shut || !opened)
            return;
        state.SetIterationTime(*opened);
        closed += *shut;
        const RowList& results = w->workbench().results();
        redrawn += roots ? rootAsWritten(*w->findChild<RootWindow*>(), results, row)
                         : drawnAsWritten(*w->chartWindow(), results, row);
    }
    state.counters["baseline_s"] = benchmark::Counter(closed, benchmark::Counter::kAvgIterations);
    if (redrawn < state.iterations())
        state.SkipWithError(roots ? "the root view missed a tick's row"
                                  : "the chart window missed a tick's row");
}

// --- a run against the fake marketplace ---

constexpr int runMs = 5000;

// Steps per second while a run goes on. The fake marketplace knows some
// thirty keywords, so the run is started again each time its list runs dry;
// the time from each start to its last step counts, the restarts do not.
void windowRun(benchmark::State& state) {
    for (auto _ : state) {
        Window w(std::make_shared<CurlFetcher>());
        if (!w.ready()) {
            state.SkipWithError("the window did not come up");
            return;
        }
        w.type("quantityBox", u"100000000"_s);
        int steps = 0;
        double counting = 0;
        auto started = Clock::now();
        auto lastStep = started;
        QObject::connect(&w->workbench().candidates(), &QAbstractItemModel::dataChanged, &*w, [&] {
            ++steps;
            lastStep = Clock::now();
        });
        QTimer restart;
        restart.setInterval(5);
        QObject::connect(&restart, &QTimer::timeout, &*w, [&] {
            if (w->workbench().miningTimer().interval() != 0 || w->workbench().fetching())
                return;
            counting += std::chrono::duration<double>(lastStep - started).count();
            w->workbench().startMining();
            started = lastStep = Clock::now();
        });
        w->workbench().startMining();
        started = lastStep = Clock::now();
        restart.start();
        QEventLoop loop;
        QTimer::singleShot(runMs, &loop, &QEventLoop::quit);
        loop.exec();
        restart.stop();
        w->workbench().stopRuns();
        counting += std::chrono::duration<double>(lastStep - started).count();
        if (steps < 10 || counting <= 0) {
            state.SkipWithError("the run made no progress");
            return;
        }
        state.SetIterationTime(counting);
        state.counters["steps"] = steps;
        state.counters["steps_per_s"] = steps / counting;
    }
}

// --- the page-text serializer ---

void pageText(benchmark::State& state) {
    QTemporaryDir folder;
    QFile file(folder.filePath(u"trend.html"_s));
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(trendPageDocument(MiB).toUtf8()) < 0) {
        state.SkipWithError("the page could not be written");
        return;
    }
    file.close();
    QWebEngineView view;
    WebEngineBrowser browser(QWebEngineProfile::defaultProfile(), &view);
    view.setPage(browser.page());
    view.resize(1000, 700);
    view.show();
    bool loaded = false;
    bool finished = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [&](bool ok) {
        finished = true;
        loaded = ok;
    });
    view.load(QUrl::fromLocalFile(file.fileName()));
    if (!waitFor([&] { return finished; }, 30000) || !loaded) {
        state.SkipWithError("the page did not load");
        return;
    }
    qsizetype length = 0;
    for (auto _ : state) {
        std::optional<QString> text;
        const auto start = Clock::now();
        browser.pageText([&](QString t) { text = std::move(t); });
        if (!waitFor([&] { return text.has_value(); }, 30000)) {
            state.SkipWithError("the page text never came");
            return;
        }
        state.SetIterationTime(since(start));
        length = text->size();
        if (!text->contains(u"App.set("_s) || !text->contains(u"<SPAN class=up>12%</SPAN>"_s)) {
            state.SkipWithError("the page text is not the page's");
            return;
        }
    }
    state.counters["text_units"] = static_cast<double>(length);
}

// --- start-up, in a process of its own ---

// Constructs and shows the window, then tells the time since main began.
int startupProbe(Clock::time_point mainStarted) {
    prepareWebEngine();
    int argc = 1;
    char name[] = "startup-probe";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    test::FakeOpener shell;
    MainWindow window(shell, std::make_shared<CurlFetcher>());
    window.show();
    const bool exposed = QTest::qWaitForWindowExposed(&window, 10000);
    std::printf("shown=%d main_ms=%.1f\n", exposed ? 1 : 0, since(mainStarted) * 1e3);
    std::fflush(stdout);
    return exposed ? 0 : 1;
}

void startup(benchmark::State& state) {
    fake_market::FakeMarketServer server;
    if (!server.start()) {
        state.SkipWithError("the fake marketplace did not start");
        return;
    }
    test::ProxyEnvironment proxy(server.port());
    for (auto _ : state) {
        QProcess child;
        QByteArray out;
        const auto start = Clock::now();
        child.start(QCoreApplication::applicationFilePath(), {u"--startup-probe"_s});
        QElapsedTimer clock;
        clock.start();
        while (!out.contains('\n') && clock.elapsed() < 30000 &&
               child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(100);
            out += child.readAllStandardOutput();
        }
        const double shown = since(start);
        if (!child.waitForFinished(30000)) {
            child.kill();
            child.waitForFinished(5000);
        }
        if (reported(out, "shown").value_or(0) != 1) {
            state.SkipWithError("the window was not shown");
            return;
        }
        state.SetIterationTime(shown);
        state.counters["in_main_ms"] = reported(out, "main_ms").value_or(0);
    }
}

// --- peak memory, in a process of its own ---

constexpr int memoryKeywords = 30000;

// Mines in the window, with steps as fast as they come, until the candidate
// list holds 30,000 keywords; then reports the peak resident size.
int memoryChild() {
    prepareWebEngine();
    int argc = 1;
    char name[] = "memory-child";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Window w(std::make_shared<FreshPages>());
    if (!w.ready())
        return 1;
    w.type("quantityBox", u"100000000"_s);
    w->workbench().startMining();
    QElapsedTimer clock;
    clock.start();
    while (w->workbench().candidates().count() <= memoryKeywords && clock.elapsed() < 300000) {
        if (!w->workbench().fetching())
            Q_EMIT w->workbench().miningTimer().ticked();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    reportPeakMemory(w->workbench().candidates().count() - 1, w->workbench().results().count() - 1);
    return w->workbench().candidates().count() > memoryKeywords ? 0 : 1;
}

void registerAll() {
    for (const StepCase& c : stepCases) {
        benchmark::RegisterBenchmark(stepName(c).c_str(), windowStep, c.candidates, c.rows, false)
            ->UseManualTime()
            ->Iterations(100)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark(sortedStepName().c_str(), windowStep, sortedCase.candidates,
                                 sortedCase.rows, true)
        ->UseManualTime()
        ->Iterations(100)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMicrosecond);
    for (const bool roots : {false, true})
        benchmark::RegisterBenchmark(roots ? "index_tick/roots_open_and_closed"
                                           : "index_tick/chart_open_and_closed",
                                     indexTick, roots)
            ->UseManualTime()
            ->Iterations(indexTicks)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("window_run/fake_market", windowRun)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("page_text/1MB", pageText)
        ->UseManualTime()
        ->Iterations(10)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("startup/window_shown", startup)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memory/window_30000_keywords", measurePeakMemory,
                                 u"--memory-child"_s)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    for (const StepCase& c : stepCases) {
        const bool target = &c == &sortedCase;
        rows.push_back(ratioRow(r, cat({"mining step, ", c.what, ", window"}), stepName(c),
                                stepName(stepCases[0]), "10 candidates",
                                target ? std::optional(1.5) : std::nullopt,
                                target ? "<= 1.5x" : "report"));
    }
    rows.push_back(ratioRow(r, cat({"mining step, ", sortedCase.what, ", window sorted by 机会"}),
                            sortedStepName(), stepName(stepCases[0]), "10 candidates",
                            std::optional(2.0), "<= 2x"));
    rows.push_back(pairedRatioRow(
        r, "index tick, 10,000 rows with series, chart window open (window's thread)",
        "index_tick/chart_open_and_closed", "chart window closed, the ticks between",
        std::optional(1.2), "<= 1.2x"));
    rows.push_back(
        pairedRatioRow(r, "index tick, 10,000 rows with series, root view open (window's thread)",
                       "index_tick/roots_open_and_closed", "root view closed, the ticks between",
                       std::optional(1.2), "<= 1.2x"));
    const auto perSecond = r.counter("window_run/fake_market", "steps_per_s");
    TableRow run = limitRow("mining run, fake marketplace, 100 ms tick, window", perSecond,
                            "steps/s", 9.5, false, ">= 9.5 steps/s", "10 steps/s");
    if (perSecond)
        run.ratio = cat({fixed(*perSecond / 10, 3), "x"});
    rows.push_back(run);
    const auto ms = [&](const char* name) -> std::optional<double> {
        if (const auto s = r.seconds(name))
            return *s * 1e3;
        return std::nullopt;
    };
    rows.push_back(limitRow("page text of a 1MB document, Qt WebEngine", ms("page_text/1MB"), "ms",
                            100, true, "< 100 ms"));
    TableRow shown = limitRow("start-up to the window shown", ms("startup/window_shown"), "ms",
                              1500, true, "< 1500 ms");
    if (const auto inMain = r.counter("startup/window_shown", "in_main_ms"))
        shown.baseline = cat({"of which in main ", fixed(*inMain, 1), " ms"});
    rows.push_back(shown);
    rows.push_back(limitRow("peak memory, 30,000-keyword run, window",
                            r.counter("memory/window_30000_keywords", "peak_MiB"), "MiB", 300, true,
                            "< 300 MiB", "main process"));
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    const auto started = quilla::bench::Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && qstrcmp(argv[1], "--startup-probe") == 0)
        return quilla::bench::startupProbe(started);
    if (argc > 1 && qstrcmp(argv[1], "--memory-child") == 0)
        return quilla::bench::memoryChild();
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
