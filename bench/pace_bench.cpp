// The mining run's pace against a marketplace that limits searches: the same
// 300 keywords mined with the pace and as the run went before it (one request
// per tick whatever the answer), for each limit side by side. The limited
// runs go on a clock the benchmark moves a tick at a time, against the fake
// marketplace's own pages and token bucket, so a run of minutes takes well
// under a second; the unlimited runs and one 3/s run go in real time through
// the page fetch and the fake marketplace's server.

#include "core/interval_timer.h"
#include "core/list_headers.h"
#include "core/step_gate.h"
#include "fake_market/rate_limit.h"
#include "fake_market/router.h"
#include "fake_market/server.h"
#include "mining/mining_run.h"
#include "net/background_fetch.h"
#include "net/page_decode.h"
#include "net/page_fetch.h"
#include "support/fakes.h"
#include "support/proxy_env.h"
#include "table.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <memory>

namespace quilla::bench {
namespace {

using namespace Qt::StringLiterals;
namespace fm = fake_market;

constexpr int keywords = 300;
const QString seed = u"长尾"_s;

struct Limit {
    const char* name;
    fm::RateLimit limit; // rate 0: none
};

const Limit limits[] = {
    {"none", {}},
    {"3/s, burst 10, no Retry-After", {3, 10, 0, fm::LimitMode::TooMany, {}}},
    {"3/s, burst 10, Retry-After 1", {3, 10, 1, fm::LimitMode::TooMany, {}}},
    {"1/s, burst 5", {1, 5, 0, fm::LimitMode::TooMany, {}}},
    {"3/s for 100 s, then 1/s", {3, 10, 0, fm::LimitMode::TooMany, {{100, 1}}}},
    // A run at 3/s ends near 100 s, before the drop above: this one drops
    // half way through.
    {"3/s for 50 s, then 1/s", {3, 10, 0, fm::LimitMode::TooMany, {{50, 1}}}},
};

// What a run gave: when each search went and whether it passed, and the
// result table's rows as text.
struct RunRecord {
    std::vector<std::pair<double, bool>> searches; // seconds, passed
    QStringList results;
    bool finished = false;
};

// The limit's mean rate over [from, to] seconds after the first search.
double meanLimit(const fm::RateLimit& limit, double from, double to) {
    const fm::RateLimiter limiter(limit);
    return to > from ? limiter.refill(from, to) / (to - from) : limiter.rateAt(from);
}

struct Figures {
    double share = 0;     // pages a second over the whole run, of the limit
    double sustained = 0; // the same from the first try after the first refusal
    double refused = 0;   // share of all searches
    double seconds = 0;   // from the first search to the last page
    double perSecond = 0; // pages a second
};

Figures figuresOf(const RunRecord& r, const fm::RateLimit& limit) {
    Figures f;
    if (r.searches.empty())
        return f;
    const double first = r.searches.front().first;
    double last = first;
    int passed = 0, refused = 0;
    std::optional<std::size_t> learned; // the first search after the first refusal
    for (std::size_t i = 0; i < r.searches.size(); ++i) {
        const auto& [at, ok] = r.searches[i];
        if (ok) {
            ++passed;
            last = at;
        } else {
            ++refused;
            if (!learned)
                learned = i + 1;
        }
    }
    f.seconds = last - first;
    f.refused = static_cast<double>(refused) / static_cast<double>(r.searches.size());
    f.perSecond = f.seconds > 0 ? passed / f.seconds : 0;
    if (limit.rate <= 0)
        return f;
    // Seconds as the limiter counts them, from the first search.
    f.share = f.perSecond / meanLimit(limit, 0, f.seconds);
    f.sustained = f.share;
    if (learned && *learned < r.searches.size()) {
        const double from = r.searches[*learned].first;
        int after = 0;
        for (std::size_t i = *learned; i < r.searches.size(); ++i)
            after += r.searches[i].second ? 1 : 0;
        if (last > from)
            f.sustained = after / (last - from) / meanLimit(limit, from - first, last - first);
    }
    return f;
}

// --- on a clock the benchmark moves ---

// The fake marketplace's answer, limited, without the network: the body
// decoded as the page fetch decodes it.
class MarketFetcher final : public AsyncFetcher {
public:
    MarketFetcher(const fm::RateLimit& limit, const test::FakeClock& clock, RunRecord& record)
        : limiter_(limit, [&clock] { return static_cast<double>(clock.now) / 1000.0; }),
          clock_(clock), record_(record) {}

    void fetch(const QString& address, std::function<void(const FetchResult&)> done) override {
        const bool passes = !limiter_.enabled() || limiter_.take("client");
        record_.searches.emplace_back(static_cast<double>(clock_.now) / 1000.0, passes);
        const fm::Answer a =
            passes ? fm::answer("GET", address.toStdString(), {}, nullptr, true)
                   : fm::overLimitAnswer(limiter_.limit().mode, limiter_.limit().retryAfterSeconds);
        FetchResult r;
        r.status = a.status;
        r.finalAddress = address;
        r.text =
            decodePage(QByteArray::fromStdString(a.body), QByteArray::fromStdString(a.contentType));
        for (const auto& [name, value] : a.headers) {
            if (name == "Retry-After")
                r.retryAfter = std::chrono::seconds(std::stoi(value));
            if (name == "Location") // the verification page, as a redirect ends
                r.finalAddress = QString::fromStdString(value);
        }
        done(r);
    }

private:
    fm::RateLimiter limiter_;
    const test::FakeClock& clock_;
    RunRecord& record_;
};

RunRecord virtualRun(const fm::RateLimit& limit, bool adaptive) {
    RunRecord record;
    RowList candidates, results;
    test::FakeTimer timer;
    test::FakeClock clock;
    MarketFetcher fetcher(limit, clock, record);
    StepGate gate;
    test::FakeMessageBox messages;
    test::FakeTextBox keyword{seed}, include, exclude, quantity{QString::number(keywords)};
    PushBackTools parts{&clock, nullptr, nullptr, [] { return 1.0; }};
    parts.adaptivePace = adaptive;
    MiningRun run(candidates, results, timer, fetcher, gate, messages,
                  {keyword, include, exclude, quantity}, std::move(parts));
    run.start();
    // Three hours of ticks at most.
    for (int i = 0; i < 108000 && timer.interval() > 0; ++i) {
        clock.now += MiningRun::tickInterval;
        run.step();
        if (!timer.interval() && run.progress().end == MiningEnd::ThrottledTooOften)
            run.resume(); // as a user pressing F5 at once
    }
    record.finished = run.progress().end == MiningEnd::QuantityReached;
    for (std::int64_t i = 1; i < results.count(); ++i)
        record.results.append(results.rowText(i));
    return record;
}

// --- in real time ---

RunRecord realRun(const fm::RateLimit& limit, bool adaptive, std::chrono::seconds bound) {
    RunRecord record;
    fm::ServerOptions options;
    options.limit = limit;
    options.longTail = true;
    fm::FakeMarketServer server(options);
    if (!server.start())
        return record;
    test::ProxyEnvironment proxy(server.port());
    RowList candidates, results;
    IntervalTimer timer;
    BackgroundFetch fetch(std::make_shared<CurlFetcher>());
    StepGate gate;
    test::FakeMessageBox messages;
    test::FakeTextBox keyword{seed}, include, exclude, quantity{QString::number(keywords)};
    PushBackTools parts;
    parts.adaptivePace = adaptive;
    MiningRun run(candidates, results, timer, fetch, gate, messages,
                  {keyword, include, exclude, quantity}, std::move(parts));
    QObject::connect(&timer, &IntervalTimer::ticked, &timer, [&] { run.timerFired(); });
    // Each answer that came: a page passed when the limiter's count grew.
    const auto started = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    int passedBefore = 0, refusedBefore = 0;
    const auto note = [&] {
        const int passed = server.searchesPassed(), refused = server.searchesRefused();
        for (; refusedBefore < refused; ++refusedBefore)
            record.searches.emplace_back(seconds(), false);
        for (; passedBefore < passed; ++passedBefore)
            record.searches.emplace_back(seconds(), true);
    };
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &poll, note);
    QEventLoop loop;
    QTimer end;
    end.setInterval(100);
    QObject::connect(&end, &QTimer::timeout, &loop, [&] {
        if (!run.going() || std::chrono::steady_clock::now() - started > bound)
            loop.quit();
    });
    run.start();
    poll.start();
    end.start();
    loop.exec();
    timer.setInterval(0);
    poll.stop();
    note(); // the last answers
    record.finished = run.progress().end == MiningEnd::QuantityReached;
    for (std::int64_t i = 1; i < results.count(); ++i)
        record.results.append(results.rowText(i));
    return record;
}

// --- the benchmarks ---

std::string nameOf(const Limit& l, bool adaptive, bool real) {
    return cat({"pace/", l.name, adaptive ? "/pace" : "/today", real ? "/real_time" : ""});
}

QStringList& unlimitedResults() {
    static QStringList results;
    return results;
}

void report(benchmark::State& state, const RunRecord& r, const fm::RateLimit& limit) {
    if (!r.finished) {
        state.SkipWithError("the run did not reach its 300 keywords");
        return;
    }
    QStringList& plain = unlimitedResults();
    if (plain.isEmpty())
        plain = virtualRun({}, true).results;
    const Figures f = figuresOf(r, limit);
    state.SetIterationTime(std::max(f.seconds, 1e-9));
    state.counters["share"] = f.share;
    state.counters["sustained"] = f.sustained;
    state.counters["refused"] = f.refused;
    state.counters["pages_per_s"] = f.perSecond;
    state.counters["run_s"] = f.seconds;
    state.counters["same_table"] = r.results == plain ? 1 : 0;
}

void onVirtualClock(benchmark::State& state, const Limit* l, bool adaptive) {
    for (auto _ : state)
        report(state, virtualRun(l->limit, adaptive), l->limit);
}

void inRealTime(benchmark::State& state, const Limit* l, bool adaptive) {
    for (auto _ : state)
        report(state, realRun(l->limit, adaptive, std::chrono::minutes(10)), l->limit);
}

void registerAll() {
    for (const Limit& l : limits) {
        const bool unlimited = l.limit.rate <= 0;
        for (const bool adaptive : {false, true}) {
            // Unlimited, the virtual clock says nothing: ten a second by
            // construction. Those go in real time, as does one 3/s run; the
            // runs before the pace would take many minutes in real time.
            if (unlimited) {
                benchmark::RegisterBenchmark(nameOf(l, adaptive, true).c_str(), inRealTime, &l,
                                             adaptive)
                    ->UseManualTime()
                    ->Iterations(1)
                    ->Unit(benchmark::kSecond);
                continue;
            }
            benchmark::RegisterBenchmark(nameOf(l, adaptive, false).c_str(), onVirtualClock, &l,
                                         adaptive)
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kSecond);
        }
    }
    benchmark::RegisterBenchmark(nameOf(limits[1], true, true).c_str(), inRealTime, &limits[1],
                                 true)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
}

std::string shareText(const Results& r, const std::string& name) {
    const auto share = r.counter(name, "share");
    const auto sustained = r.counter(name, "sustained");
    const auto refused = r.counter(name, "refused");
    const auto same = r.counter(name, "same_table");
    if (!share || !sustained || !refused || !same)
        return "failed";
    return cat({fixed(*sustained, 2), " sustained, ", fixed(*share, 2), " whole run, ",
                fixed(*refused * 100, 1), "% refused", *same == 1 ? "" : ", table differs"});
}

std::vector<TableRow> table(const Results& r) {
    std::vector<TableRow> rows;
    for (const Limit& l : limits) {
        if (l.limit.rate <= 0) {
            const std::string paced = nameOf(l, true, true), today = nameOf(l, false, true);
            const auto perSecond = r.counter(paced, "pages_per_s");
            const auto before = r.counter(today, "pages_per_s");
            const auto same = r.counter(paced, "same_table");
            TableRow row = limitRow("mining pace, no limit, 300 keywords", perSecond, "pages/s",
                                    9.5, false, ">= 9.5 pages/s");
            if (before)
                row.baseline = cat({"before ", fixed(*before, 2), " pages/s"});
            if (perSecond && before)
                row.ratio = cat({fixed(*perSecond / *before, 3), "x"});
            if (!same || *same != 1)
                row.met = "no, table differs";
            rows.push_back(row);
            continue;
        }
        const std::string paced = nameOf(l, true, false), today = nameOf(l, false, false);
        const auto sustained = r.counter(paced, "sustained");
        const auto refused = r.counter(paced, "refused");
        const auto same = r.counter(paced, "same_table");
        const bool change = !l.limit.later.empty();
        const double target = change ? 0.8 : 0.85;
        const bool met =
            sustained && refused && same && *sustained >= target && *refused <= 0.05 && *same == 1;
        rows.push_back(TableRow{
            cat({"mining pace, ", l.name, ", clock sped up"}), shareText(r, paced),
            cat({"before: ", shareText(r, today)}), std::string(1, '-'),
            cat({">= ", fixed(target, 2), " sustained; <= 5% refused"}), met ? "yes" : "no"});
    }
    const std::string real = nameOf(limits[1], true, true);
    const auto sustained = r.counter(real, "sustained");
    const auto refused = r.counter(real, "refused");
    const bool met = sustained && refused && *sustained >= 0.85 && *refused <= 0.05;
    rows.push_back(TableRow{"mining pace, 3/s, burst 10, no Retry-After, real time",
                            shareText(r, real), std::string(1, '-'), std::string(1, '-'),
                            ">= 0.85 sustained; <= 5% refused", met ? "yes" : "no"});
    return rows;
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
