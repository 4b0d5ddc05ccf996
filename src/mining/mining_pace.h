#pragma once

// The pace of the mining run: the least time between two search requests.
// It starts at the tick; a throttled answer slows it down by a factor, or
// to just under the rate that passed since the throttle before when that is
// gentler, and each run of pages that passed speeds it up by a step, never
// beyond the tick. Other answers leave it as it is.

#include <cstdint>
#include <optional>

namespace quilla {

struct PacePolicy {
    static constexpr std::int64_t tickMs = 100;
    // Measured against the fake marketplace's token bucket, 300 keywords,
    // share of the limit sustained after the first refusal (3/s burst 10;
    // 1/s burst 5; 3/s dropping to 1/s): halving on a throttle and +0.05/s
    // per 20 passed pages, with the fixed pace's waits of 30 s, gave 0.75,
    // 0.63 and 0.64, the waits costing more than the pace saved. A first wait
    // of 1.5 s alone gave 0.94, 0.78 and 0.96: at 1/s halving overshoots to
    // 0.63/s and the slow increase never wins it back. Slowing to 0.9 of the
    // rate seen between two throttles as well gave 1.00, 0.98 and 1.00 with
    // 1-2 % refused (also 0.95-0.99 at 0.5/s, 2/s and 5/s). First waits from
    // 0.5 s to 3 s did as well, 5 s fell to 0.93; a share of 0.8 lost 5-10 %
    // of the rate, 0.95 refused more (2.3 % at 1/s, 3.2 % at 0.5/s). Faster
    // increases (0.1/s, or every 10 pages) throttled again within the run; a
    // factor of 0.3 kept under half of a 2/s limit. See README's figures.
    static constexpr double slowDown = 0.5; // rate factor on a throttled answer
    // Between two throttled answers the pages that passed, over the time,
    // tell the marketplace's rate (its allowance is spent at both); the pace
    // slows to this share of it, or of the pace, when that is gentler.
    static constexpr double belowEstimate = 0.9;
    static constexpr double speedUpPerSecond = 0.05; // added after a run of passes
    static constexpr int passesPerSpeedUp = 20;      // pages that passed in a row
    static constexpr std::int64_t slowestMs = 60000; // one search a minute at the least
    // The first wait after a throttled answer without Retry-After, doubling
    // on throttles in a row up to the long waits of a fixed pace.
    static constexpr std::int64_t firstThrottleWaitMs = 1500;
};

class MiningPace {
public:
    MiningPace() { reset(); }

    // Back to the tick, the run's figures cleared: a fresh run.
    void reset();
    // A pace kept from before (a journal or a project file); anything out of
    // range is taken to the nearest bound.
    void restore(std::int64_t intervalMs);
    // A run going on after a pause: its pace stays, the pause is not counted.
    void resumed();

    std::int64_t intervalMs() const;
    double perSecond() const { return rate_; }
    // At the tick the run goes as it always did, one request per tick.
    bool atTick() const;

    // Whether the next request may go at `nowMs`; `sent` notes that it went.
    bool due(std::int64_t nowMs) const;
    void sent(std::int64_t nowMs);

    void throttled(std::int64_t nowMs);
    void passed(std::int64_t nowMs);

    // Pages per second that passed while the run went, from each first
    // request after a (re)start to the last page; nullopt before a page, and
    // while the pace never left the tick (a run that was not held back).
    std::optional<double> meanPerSecond() const;

private:
    double rate_ = 0; // requests per second
    int passes_ = 0;  // in a row since the last change
    std::int64_t nextDueMs_ = 0;
    bool slowed_ = false;
    // The last throttled answer of this stretch, and the pages passed since.
    std::optional<std::int64_t> throttledAtMs_;
    std::int64_t passedSinceThrottle_ = 0;
    std::optional<std::int64_t> mark_; // last request or page of this stretch
    std::int64_t goingMs_ = 0;
    std::int64_t pages_ = 0;
};

} // namespace quilla
