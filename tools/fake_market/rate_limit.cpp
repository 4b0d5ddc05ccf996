#include "fake_market/rate_limit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quilla::fake_market {
namespace {

std::optional<double> number(std::string_view text) {
    if (text.empty() || text.size() > 32)
        return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::optional<LimitMode> parseLimitMode(std::string_view text) {
    if (text == "429")
        return LimitMode::TooMany;
    if (text == "503")
        return LimitMode::Unavailable;
    if (text == "verify")
        return LimitMode::Verify;
    return std::nullopt;
}

std::optional<std::pair<double, double>> parseLaterRate(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto at = number(text.substr(0, colon));
    const auto rate = number(text.substr(colon + 1));
    if (!at || !rate || *rate <= 0)
        return std::nullopt;
    return std::pair{*at, *rate};
}

RateLimiter::RateLimiter(RateLimit limit, std::function<double()> nowSeconds)
    : limit_(std::move(limit)), now_(nowSeconds ? std::move(nowSeconds) : steadySeconds) {
    std::sort(limit_.later.begin(), limit_.later.end());
    limit_.burst = std::max(1.0, limit_.burst);
}

double RateLimiter::rateAt(double seconds) const {
    double rate = limit_.rate;
    for (const auto& [from, later] : limit_.later)
        if (seconds >= from)
            rate = later;
    return rate;
}

double RateLimiter::refill(double from, double to) const {
    double tokens = 0;
    double at = from;
    for (const auto& [change, rate] : limit_.later) {
        if (change <= at)
            continue;
        if (change >= to)
            break;
        tokens += rateAt(at) * (change - at);
        at = change;
    }
    return tokens + rateAt(at) * std::max(0.0, to - at);
}

bool RateLimiter::take(const std::string& client) {
    const std::lock_guard guard(lock_);
    if (!enabled()) {
        ++passed_;
        return true;
    }
    const double now = now_();
    if (!start_)
        start_ = now;
    const double t = now - *start_;
    auto [bucket, fresh] = buckets_.try_emplace(client, Bucket{limit_.burst, t});
    Bucket& b = bucket->second;
    if (!fresh) {
        b.tokens = std::min(limit_.burst, b.tokens + refill(b.at, t));
        b.at = std::max(b.at, t);
    }
    if (b.tokens >= 1) {
        b.tokens -= 1;
        ++passed_;
        return true;
    }
    ++refused_;
    return false;
}

int RateLimiter::passed() const {
    const std::lock_guard guard(lock_);
    return passed_;
}

int RateLimiter::refused() const {
    const std::lock_guard guard(lock_);
    return refused_;
}

} // namespace quilla::fake_market
