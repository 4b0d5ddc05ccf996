// `quilla requery` of a 1,000-row project against the fake marketplace, the
// run's interval at its smallest (1 ms): the processor time of the main
// thread per row, which leaves out the page's own work in Chromium's
// processes and every wait, beside the window's index tick over the same
// rows, measured the same way in the same run before and after the requery.
//
// The requery is driven as the command drives it: a Workbench with the
// offscreen browser on a stored login profile, the fake marketplace behind
// http_proxy, the project opened and locked, every row queried, the project
// saved in place and the summary made. The 40 s pause after every 41st
// query is a wait on the run's timer, not work: the benchmark fires that
// tick after the ordinary interval, as the timer would have 40 s later.
//
// At 1 ms the trend page has no time to answer, and every row is written
// without figures; so the figure is taken at an interval where every row
// gets its own keyword's figures (100 ms here; --requery_interval=MS), and
// the 1 ms run is reported beside it. --requery_rows=N for fewer rows.

#include "browser/browser_cookies.h"
#include "browser/login_profile.h"
#include "browser/web_browser.h"
#include "browser/web_setup.h"
#include "cli/requery.h"
#include "core/list_headers.h"
#include "fake_market/market_data.h"
#include "history/history.h"
#include "net/cookie_jar.h"
#include "net/page_fetch.h"
#include "results/cell_values.h"
#include "session/project_file.h"
#include "session/project_lock.h"
#include "table.h"
#include "thread_time.h"
#include "window_setup.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <algorithm>
#include <cstring>

namespace quilla::bench {
namespace {

using namespace Qt::StringLiterals;

int rowCount = 1000;            // --requery_rows=N
int pageInterval = 100;         // --requery_interval=MS
constexpr int ticksAround = 15; // the window's ticks before the requery, and as many after
constexpr std::int64_t dayMs = 24 * 3600 * 1000;
constexpr int runLimitMs = 30 * 60 * 1000;

QString keywordOf(int i) {
    return u"连衣裙女夏季款"_s + QString::number(i);
}

// The rows as yesterday's requery left them: the fake's figures of day 0,
// two 365-day series and one snapshot each.
SessionSnapshot yesterdaysProject() {
    SessionSnapshot s;
    s.candidates = {Row{candidateHeader()}};
    s.results = {Row{resultHeader()}};
    const std::int64_t yesterday = QDateTime::currentMSecsSinceEpoch() - dayMs;
    for (int i = 0; i < rowCount; ++i) {
        const QString keyword = keywordOf(i);
        const QString count = fake_market::fakeCount(keyword);
        QStringList fields{keyword, count};
        QStringList figures;
        for (const QString& f : fake_market::expectedFields(keyword))
            figures.append(f);
        fields += figures;
        auto series = std::make_shared<TrendSeries>();
        std::vector<std::optional<double>> values(365);
        for (std::size_t d = 0; d < values.size(); ++d)
            values[d] = 1000 + (i * 7 + int(d) * 13) % 5000;
        series->search = SeriesValues(values);
        series->trade = SeriesValues(values);
        series->endDate = QDate::currentDate().addDays(-2);
        s.results.push_back(Row{fields, series});
        if (auto snapshot =
                makeSnapshot(yesterday, keyword, indexValue(count), figures, series->endDate))
            s.history.append(std::move(*snapshot));
    }
    s.state.keyword = u"连衣裙"_s;
    s.state.interval = u"4321"_s; // the window's, which a requery keeps
    return s;
}

// The window's index tick over the same rows, `count` times; empty with a
// failure when it went wrong.
std::vector<double> windowTicks(const SessionSnapshot& project, int count, std::string& failure) {
    Window w(std::make_shared<CurlFetcher>());
    if (!w.ready()) {
        failure = "the window did not come up";
        return {};
    }
    w->workbench().applySnapshot(project);
    IndexTicks ticks(w);
    if (!ticks.start()) {
        failure = ticks.failure();
        return {};
    }
    std::vector<double> cpu;
    for (int i = 0; i < count; ++i) {
        const auto one = ticks.tick(100);
        if (!one) {
            failure = ticks.failure();
            return {};
        }
        cpu.push_back(*one);
    }
    return cpu;
}

struct Requeried {
    double cpu = 0;    // the main thread's, the whole command
    double runCpu = 0; // of which the index run alone
    double wall = 0;   // the whole command
    std::int64_t withFigures = 0, ownFigures = 0, longWaits = 0;
    std::size_t snapshots = 0;
    std::string failure;
};

// Whether the row holds the figures the fake's trend page gives its own keyword.
bool ownFigures(const Row& row, int day) {
    const auto expected = fake_market::expectedFields(row.keyword(), day);
    for (std::size_t f = 0; f < expected.size(); ++f)
        if (row.fields.value(qsizetype(f) + 2) != expected[f])
            return false;
    return true;
}

// What the command sets up: its data folder's login profile, the offscreen
// browser on it, the page fetch taking the browser's cookies, the workbench;
// they go in the reverse order.
struct Headless {
    explicit Headless(const QString& dataFolder)
        : profile(makeLoginProfile(dataFolder)), browser(profile.get()), bench(parts()) {
        QObject::connect(browser.page(), &QWebEnginePage::loadFinished, &bench,
                         [this](bool ok) { loaded = loaded.value_or(ok); });
    }
    Workbench::Parts parts() {
        const auto jar = std::make_shared<CookieJar>();
        followBrowserCookies(*profile->cookieStore(), jar);
        Workbench::Parts p;
        p.fetcher = std::make_shared<CurlFetcher>(FetchLimits{}, jar);
        p.browser = &browser;
        return p;
    }

    std::unique_ptr<QWebEngineProfile> profile;
    WebEngineBrowser browser;
    Workbench bench;
    std::optional<bool> loaded; // the trend page's first load
};

// Runs the index run to its end, bounded; each 40 s pause is cut to the
// ordinary interval. How many pauses were cut, or nothing when the run
// did not end in time.
std::optional<std::int64_t> runToEnd(Workbench& bench, int intervalMs) {
    IntervalTimer& timer = bench.indexTimer();
    std::int64_t cut = 0;
    std::uint64_t cutSetting = 0; // the timer setting whose pause was cut
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &bench, [&] {
        if (timer.interval() != QueryPacing::longWaitMs || timer.settings() == cutSetting)
            return;
        cutSetting = timer.settings();
        ++cut;
        // The ordinary interval in its place, which gives the page its time.
        QTimer::singleShot(intervalMs, &bench, [&timer, armed = cutSetting] {
            if (timer.settings() == armed)
                Q_EMIT timer.ticked();
        });
    });
    watch.start(20);
    bench.startIndex();
    if (!waitFor([&] { return !bench.index().progress().running; }, runLimitMs)) {
        bench.stopRuns();
        return std::nullopt;
    }
    return cut;
}

int requeries = 0;

// The requery of `path` as the command runs it, at `intervalMs`.
Requeried requery(const QString& path, int intervalMs) {
    Requeried r;
    // The command's data folder, with its login profile. Chromium still
    // writes there after the profile has gone: it is removed at exit.
    static QTemporaryDir dataFolders;
    QElapsedTimer wall;
    wall.start();
    const double started = threadSeconds();
    {
        const ProjectLock lock = lockProject(path);
        Headless command(dataFolders.filePath(QString::number(++requeries)));
        Workbench& bench = command.bench;
        if (lock.heldElsewhere || !bench.openProject(path)) {
            r.failure = "the project did not open";
            return r;
        }
        if (!waitFor([&] { return command.loaded.has_value(); }, 60000) || !*command.loaded) {
            r.failure = "the trend page did not load";
            return r;
        }
        const Settings kept = bench.settings();
        Settings fast = kept;
        fast.interval = QString::number(intervalMs);
        bench.setSettings(fast);
        const double runStarted = threadSeconds();
        const auto cut = runToEnd(bench, intervalMs);
        r.runCpu = threadSeconds() - runStarted;
        const IndexProgress ended = bench.index().progress();
        if (!cut || ended.end != IndexEnd::Finished) {
            r.failure = "the run did not finish";
            return r;
        }
        r.longWaits = *cut;
        for (std::int64_t row = 1; row < bench.results().count(); ++row)
            r.ownFigures += ownFigures(bench.results().row(row), sharedMarket()->day());

        cli::RequeryOutcome outcome;
        outcome.project = path;
        outcome.rows = outcome.queried = ended.rows;
        outcome.withFigures = ended.withFigures;
        bench.setSettings(kept);
        if (bench.saveProject(path, true).kind != NewFileResult::Kind::Written) {
            r.failure = "the project was not saved";
            return r;
        }
        if (cli::requerySummary(bench, outcome).isEmpty()) {
            r.failure = "no summary";
            return r;
        }
        r.withFigures = outcome.withFigures;
        r.snapshots = bench.history().size();
    }
    r.cpu = threadSeconds() - started;
    r.wall = double(wall.elapsed()) / 1e3;
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The figure is the requery's main-thread time per row at `pageInterval`,
// where the page answers every query in time; `baseline_s` the median of
// the window's ticks taken before and after it. Beside it, on a copy of the
// same project, the requery at the interval's least, 1 ms, where the page
// has no time to answer and every row is written without figures.
void requeryAgainstWindow(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(u"p.quilla"_s);
    const QString fastest = QDir(folder.path()).filePath(u"fastest.quilla"_s);
    const SessionSnapshot project = yesterdaysProject();
    if (!sharedMarket() || saveProject(project, path).kind != NewFileResult::Kind::Written ||
        saveProject(project, fastest).kind != NewFileResult::Kind::Written) {
        state.SkipWithError("the project could not be made");
        return;
    }
    // For the requery's browser too, after the window's has gone.
    const test::ProxyEnvironment proxy(sharedMarket()->port());
    for (auto _ : state) {
        std::string failure;
        std::vector<double> ticks = windowTicks(project, ticksAround, failure);
        if (ticks.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
        sharedMarket()->nextDay(); // the figures move, so the summary has news
        const Requeried r = requery(path, pageInterval);
        const Requeried least = requery(fastest, 1);
        for (const Requeried* run : {&r, &least}) {
            if (!run->failure.empty()) {
                state.SkipWithError(run->failure.c_str());
                return;
            }
            // Yesterday's snapshot of each row, and one for each row the page gave figures.
            if (run->snapshots != std::size_t(rowCount + run->withFigures)) {
                state.SkipWithError("a requery's snapshots do not match the rows it wrote");
                return;
            }
        }
        if (r.ownFigures != rowCount) {
            const std::string why =
                cat({"rows with figures ", std::to_string(r.withFigures),
                     ", with their own keyword's ", std::to_string(r.ownFigures), " of ",
                     std::to_string(rowCount), ": the interval is too short"});
            state.SkipWithError(why.c_str());
            return;
        }
        // The last queries' answers may still be on their way: the window
        // that follows must not count them as its page's.
        hold(2000);
        const std::vector<double> after = windowTicks(project, ticksAround, failure);
        if (after.empty()) {
            state.SkipWithError(failure.c_str());
            return;
        }
        ticks.insert(ticks.end(), after.begin(), after.end());
        const auto perRow = [](double seconds) { return seconds / double(rowCount); };
        state.SetIterationTime(perRow(r.cpu));
        state.counters["baseline_s"] = median(ticks);
        state.counters["ticks_min_s"] = *std::min_element(ticks.begin(), ticks.end());
        state.counters["ticks_max_s"] = *std::max_element(ticks.begin(), ticks.end());
        state.counters["run_cpu_per_row_s"] = perRow(r.runCpu);
        state.counters["wall_per_row_s"] = perRow(r.wall);
        state.counters["long_waits_skipped"] = double(r.longWaits);
        state.counters["snapshots"] = double(r.snapshots);
        state.counters["least_cpu_per_row_s"] = perRow(least.cpu);
        state.counters["least_wall_per_row_s"] = perRow(least.wall);
        state.counters["least_with_figures"] = double(least.withFigures);
    }
}

const char* const name = "requery/against_window_tick";

std::vector<TableRow> table(const Results& r) {
    const std::string rows = std::to_string(rowCount);
    const std::string interval = std::to_string(pageInterval);
    std::vector<TableRow> out;
    out.push_back(pairedRatioRow(
        r, cat({"requery of ", rows, " rows, interval ", interval, " ms, per row (main thread)"}),
        name, "window's index tick, same rows, median of 30", std::optional(1.2), "<= 1.2x"));
    const auto counter = [&](const char* c) { return r.counter(name, c); };
    const auto report = [&](const std::string& what, std::optional<double> seconds,
                            const std::string& note = "-") {
        if (seconds)
            out.push_back({what, timeText(*seconds), note, "-", "report", "-"});
    };
    report("  of which the index run", counter("run_cpu_per_row_s"));
    report("  wall time per row", counter("wall_per_row_s"));
    const auto with = counter("least_with_figures");
    report(cat({"requery of ", rows, " rows, interval 1 ms, per row (main thread)"}),
           counter("least_cpu_per_row_s"),
           with ? cat({"rows with figures: ", fixed(*with, 0), " of ", rows}) : "-");
    report("  wall time per row", counter("least_wall_per_row_s"));
    return out;
}

// Takes this program's own flags out of argv, before Google Benchmark sees
// the rest; false, with a message, for a value out of range.
bool takeOwnFlags(int& argc, char** argv) {
    struct Flag {
        const char* name;
        int* value;
        int least, most;
    };
    const Flag flags[] = {{"--requery_rows=", &rowCount, 1, 100000},
                          {"--requery_interval=", &pageInterval, 1, 65535}};
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const Flag* own = nullptr;
        for (const Flag& f : flags)
            if (std::strncmp(argv[i], f.name, std::strlen(f.name)) == 0)
                own = &f;
        if (!own) {
            argv[kept++] = argv[i];
            continue;
        }
        const int n = std::atoi(argv[i] + std::strlen(own->name));
        if (n < own->least || n > own->most) {
            std::fprintf(stderr, "%sN takes a number from %d to %d\n", own->name, own->least,
                         own->most);
            return false;
        }
        *own->value = n;
    }
    argc = kept;
    return true;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!quilla::bench::takeOwnFlags(argc, argv))
        return 2;
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark(quilla::bench::name, quilla::bench::requeryAgainstWindow)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
