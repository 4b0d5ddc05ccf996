#include "mining/mining_pace.h"

#include <algorithm>
#include <cmath>

namespace quilla {
namespace {

constexpr double fastest = 1000.0 / PacePolicy::tickMs;
constexpr double slowest = 1000.0 / PacePolicy::slowestMs;

} // namespace

void MiningPace::reset() {
    rate_ = fastest;
    passes_ = 0;
    nextDueMs_ = 0;
    slowed_ = false;
    mark_.reset();
    throttledAtMs_.reset();
    passedSinceThrottle_ = 0;
    goingMs_ = pages_ = 0;
}

void MiningPace::restore(std::int64_t intervalMs) {
    reset();
    const std::int64_t ms = std::clamp(intervalMs, PacePolicy::tickMs, PacePolicy::slowestMs);
    rate_ = std::clamp(1000.0 / static_cast<double>(ms), slowest, fastest);
    slowed_ = !atTick();
}

void MiningPace::resumed() {
    passes_ = 0;
    mark_.reset();
    throttledAtMs_.reset(); // a pause says nothing of the marketplace's rate
}

std::int64_t MiningPace::intervalMs() const {
    return std::llround(1000.0 / rate_);
}

bool MiningPace::atTick() const {
    return rate_ >= fastest;
}

bool MiningPace::due(std::int64_t nowMs) const {
    return atTick() || nowMs >= nextDueMs_;
}

void MiningPace::sent(std::int64_t nowMs) {
    if (!mark_)
        mark_ = nowMs;
    if (atTick())
        return;
    // Requests go on ticks: counting from when the last one was due, not
    // when it went, keeps the mean at the pace between two ticks. A request
    // that went late (a slow page, a wait) starts the count afresh, so no
    // pent-up requests follow it.
    const bool onTime = nowMs - nextDueMs_ < PacePolicy::tickMs;
    nextDueMs_ = (onTime ? nextDueMs_ : nowMs) + intervalMs();
}

void MiningPace::throttled(std::int64_t nowMs) {
    double next = rate_ * PacePolicy::slowDown;
    if (throttledAtMs_ && nowMs > *throttledAtMs_) {
        const double limit = static_cast<double>(passedSinceThrottle_) * 1000.0 /
                             static_cast<double>(nowMs - *throttledAtMs_);
        next = std::max(next, std::min(rate_, limit) * PacePolicy::belowEstimate);
    }
    rate_ = std::clamp(next, slowest, fastest);
    throttledAtMs_ = nowMs;
    passedSinceThrottle_ = 0;
    passes_ = 0;
    slowed_ = true;
    nextDueMs_ = nowMs + intervalMs();
}

void MiningPace::passed(std::int64_t nowMs) {
    if (mark_) {
        goingMs_ += std::max<std::int64_t>(0, nowMs - *mark_);
        mark_ = nowMs;
    }
    ++pages_;
    ++passedSinceThrottle_;
    if (atTick() || ++passes_ < PacePolicy::passesPerSpeedUp)
        return;
    passes_ = 0;
    rate_ = std::min(fastest, rate_ + PacePolicy::speedUpPerSecond);
}

std::optional<double> MiningPace::meanPerSecond() const {
    if (!slowed_ || pages_ == 0 || goingMs_ <= 0)
        return std::nullopt;
    return static_cast<double>(pages_) * 1000.0 / static_cast<double>(goingMs_);
}

} // namespace quilla
