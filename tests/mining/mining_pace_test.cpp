// The pace of the mining run against a marketplace that throttles: when the
// requests go, with a clock the test moves one tick at a time.

#include "mining/mining_run.h"

#include "support/fakes.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

FetchResult throttled(int code, std::optional<std::chrono::seconds> retryAfter = {}) {
    FetchResult r;
    r.status = code;
    r.retryAfter = retryAfter;
    r.text = u"<html>busy</html>"_s;
    return r;
}

FetchResult lost() {
    FetchResult r;
    r.failure = FetchFailure::Reset;
    return r;
}

FetchResult verification() {
    FetchResult r;
    r.status = 200;
    r.finalAddress = u"http://s.taobao.com/search/_____tmd_____/punish?x=1"_s;
    r.text = u8("滑动验证");
    return r;
}

// Every page offers three words never offered before; the answers to some
// requests (counted from 1) are set by the test. Notes when each went.
class ScriptedFetcher final : public AsyncFetcher {
public:
    explicit ScriptedFetcher(const test::FakeClock& clock) : clock_(clock) {}
    void fetch(const QString& address, std::function<void(const FetchResult&)> done) override {
        sentAt.push_back(clock_.now);
        if (const auto set = answers.find(static_cast<int>(sentAt.size())); set != answers.end()) {
            done(set->second);
            return;
        }
        FetchResult page;
        page.status = 200;
        page.finalAddress = address;
        page.text = u8("你是不是想找");
        for (int i = 0; i < 3; ++i)
            page.text += u"<a rsclick=1>w"_s + QString::number(++serial_) + u"</a>"_s;
        page.text += u8("该条件下 共 <b>10</b> 件");
        done(page);
    }
    std::map<int, FetchResult> answers;
    std::vector<std::int64_t> sentAt;

private:
    const test::FakeClock& clock_;
    int serial_ = 0;
};

struct PacedRun {
    explicit PacedRun(bool adaptive = true)
        : run{candidates,
              results,
              timer,
              fetcher,
              gate,
              messages,
              {keyword, include, exclude, quantity},
              PushBackTools{&clock, &pageView, nullptr, [] { return 1.0; }, adaptive}} {}
    // A tick at a time until `requests` have gone or the run stops; bounded.
    void runUntil(std::size_t requests) {
        for (int i = 0; i < 200000 && fetcher.sentAt.size() < requests && timer.interval() > 0;
             ++i) {
            clock.now += MiningRun::tickInterval;
            run.step();
        }
    }
    std::vector<std::int64_t> lastGaps(std::size_t n) const {
        std::vector<std::int64_t> gaps;
        const auto& at = fetcher.sentAt;
        for (std::size_t i = at.size() - std::min(n, at.size() - 1); i < at.size(); ++i)
            gaps.push_back(at[i] - at[i - 1]);
        return gaps;
    }

    RowList candidates, results;
    test::FakeTimer timer;
    test::FakeClock clock;
    ScriptedFetcher fetcher{clock};
    StepGate gate;
    test::FakeMessageBox messages;
    test::FakePageView pageView;
    test::FakeTextBox keyword{u"qq"_s}, include, exclude, quantity{u"100000"_s};
    MiningRun run;
};

// A throttled answer halves the rate, or slows it to 0.9 of the pages that
// passed since the last throttled answer when that is gentler; twenty pages
// that pass in a row add 0.05 pages a second; a server error or a lost
// answer changes nothing; the pace never goes beyond the tick; a
// verification that follows a throttle still stops the run, and F5 goes on
// at the pace learned. Without Retry-After a throttle waits 1.5 s, doubling
// on throttles in a row; without the pace, the long waits of 30 s.
TEST(MiningPace, SlowsOnThrottlesSpeedsUpAfterPassesAndKeepsToTheTick) {
    using std::chrono::seconds;
    const std::vector<std::int64_t> ticks(8, 100), fifths(8, 200), quarters(8, 400);
    const struct {
        const char* name;
        std::map<int, FetchResult> answers;
        std::int64_t startPaceMs; // 0: the run's own start
        std::size_t requests;
        std::int64_t paceMs;
        std::vector<std::int64_t> gaps; // between the last requests
        bool blocked = false;
        std::vector<std::int64_t> waits = {}; // from each throttled request to the next
        bool adaptive = true;
    } cases[] = {
        {"never held back", {}, 0, 60, 100, ticks},
        {"throttled once, a short wait", {{3, throttled(429)}}, 0, 12, 200, fifths, false, {1500}},
        // 3 s after the second; three pages in 4.2 s since then tell less
        // than halving does.
        {"throttled in a row, waits double; after a pass short again",
         {{3, throttled(429)}, {4, throttled(503)}, {8, throttled(429)}},
         0,
         20,
         800,
         {},
         false,
         {1500, 3000, 1500}},
        // Nine pages in the 2 s between the two: 4.5 a second, so 4.05.
        {"two throttles tell the limit",
         {{3, throttled(429, seconds(0))}, {13, throttled(429, seconds(0))}},
         0,
         20,
         247,
         {}},
        {"without the pace, the long waits",
         {{3, throttled(429)}},
         0,
         12,
         100,
         ticks,
         false,
         {30000},
         false},
        {"throttled twice, Retry-After 1",
         {{3, throttled(429, seconds(1))}, {5, throttled(503, seconds(1))}},
         0,
         20,
         400,
         quarters},
        // The retry and nineteen more pages pass: 5.05 a second.
        {"twenty passes speed up", {{3, throttled(429, seconds(0))}}, 0, 23, 198, {}},
        {"nineteen passes do not", {{3, throttled(429, seconds(0))}}, 0, 22, 200, fifths},
        {"server errors and lost answers",
         {{3, throttled(429, seconds(0))}, {6, throttled(500)}, {7, lost()}, {8, throttled(502)}},
         0,
         20,
         200,
         {}},
        // 9.52 a second plus 0.05 per twenty pages reaches the tick and stays.
        {"never beyond the tick", {}, 105, 400, 100, ticks},
        {"a check after a throttle stops the run",
         {{3, throttled(429, seconds(0))}, {4, verification()}},
         0,
         20,
         200,
         {},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PacedRun h(c.adaptive);
        h.fetcher.answers = c.answers;
        ASSERT_TRUE(h.run.start());
        if (c.startPaceMs > 0)
            h.run.restorePace(c.startPaceMs);
        h.runUntil(c.requests);
        MiningProgress p = h.run.progress();
        EXPECT_EQ(p.end, c.blocked ? MiningEnd::Blocked : MiningEnd::None);
        if (c.blocked) {
            EXPECT_EQ(h.fetcher.sentAt.size(), 4u);
            ASSERT_TRUE(h.run.resume()); // F5, once the check is passed
            h.runUntil(c.requests);
            EXPECT_EQ(h.lastGaps(8), fifths);
        }
        EXPECT_EQ(h.fetcher.sentAt.size(), c.requests);
        EXPECT_EQ(h.run.paceMs(), c.paceMs);
        if (!c.gaps.empty()) {
            EXPECT_EQ(h.lastGaps(c.gaps.size()), c.gaps);
        }
        std::vector<std::int64_t> waits;
        for (const auto& [request, answer] : c.answers)
            if (answer.status == 429 || answer.status == 503)
                waits.push_back(h.fetcher.sentAt.at(request) - h.fetcher.sentAt.at(request - 1));
        if (!c.waits.empty()) {
            EXPECT_EQ(waits, c.waits);
        }
        EXPECT_EQ(p.pacePerSecond.has_value(), c.paceMs > 100);
        if (p.pacePerSecond) {
            EXPECT_NEAR(*p.pacePerSecond, 1000.0 / static_cast<double>(c.paceMs), 0.02);
        }

        // Stopped: a run that was held back tells its mean rate, the pages
        // over the time from its first request to its last page.
        h.timer.setInterval(0);
        p = h.run.progress();
        ASSERT_EQ(p.meanPerSecond.has_value(), c.paceMs > 100 || c.startPaceMs > 0);

        // A session kept in a journal or a project goes on at its pace.
        PacedRun again;
        again.run.restore(h.run.miningRow(), true);
        again.run.restorePace(h.run.paceMs());
        EXPECT_EQ(again.run.paceMs(), c.paceMs);
    }
}

// Waits that double from 1.5 s join the long waits at 30 s and end at ten
// minutes; the server's Retry-After goes as before.
TEST(MiningPace, ShortThrottleWaitsJoinTheLongWaits) {
    const struct {
        int level;
        std::optional<std::chrono::seconds> retryAfter;
        double jitter;
        std::int64_t ms;
    } cases[] = {
        {0, {}, 1.0, 1500},
        {1, {}, 1.0, 3000},
        {4, {}, 1.0, 24000},
        {5, {}, 1.0, 30000},
        {6, {}, 1.0, 60000},
        {9, {}, 1.0, 480000},
        {10, {}, 1.0, 600000},
        {1000, {}, 1.2, 600000},
        {0, {}, 0.8, 1200},
        {5, {}, 0.8, 24000},
        {3, std::chrono::seconds(7), 1.2, 7000},
        {0, std::chrono::seconds(900), 1.0, 600000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryPolicy::throttleWaitMs(c.level, c.retryAfter, c.jitter,
                                              PacePolicy::firstThrottleWaitMs),
                  c.ms)
            << c.level << " " << c.jitter;
}

// A pace read from a file is taken to the nearest bound.
TEST(MiningPace, APaceFromAFileIsBounded) {
    const struct {
        std::int64_t kept, paceMs;
    } cases[] = {{0, 100},   {-5, 100},      {100, 100},
                 {333, 333}, {60000, 60000}, {std::numeric_limits<std::int64_t>::max(), 60000}};
    for (const auto& c : cases) {
        PacedRun h;
        h.run.restorePace(c.kept);
        EXPECT_EQ(h.run.paceMs(), c.paceMs) << c.kept;
    }
}

} // namespace
} // namespace quilla
