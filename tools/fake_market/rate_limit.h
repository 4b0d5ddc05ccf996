#pragma once

// The fake marketplace's limit on searches: a token bucket per client that
// refills at a rate (which may change at set times) up to a burst; a search
// over the limit is refused with a 429, a 503 or a verification page.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quilla::fake_market {

enum class LimitMode { TooMany, Unavailable, Verify };

struct RateLimit {
    double rate = 0; // searches a second; 0: no limit
    double burst = 1;
    int retryAfterSeconds = 0; // sent with a 429 or 503 when above 0
    LimitMode mode = LimitMode::TooMany;
    // (second, rate): from that many seconds after the first search on.
    std::vector<std::pair<double, double>> later;

    bool operator==(const RateLimit&) const = default;
};

// "429", "503" or "verify".
std::optional<LimitMode> parseLimitMode(std::string_view text);
// "SECONDS:RATE", e.g. "100:1".
std::optional<std::pair<double, double>> parseLaterRate(std::string_view text);

class RateLimiter {
public:
    // `nowSeconds` defaults to the steady clock.
    explicit RateLimiter(RateLimit limit, std::function<double()> nowSeconds = {});

    bool enabled() const { return limit_.rate > 0; }
    const RateLimit& limit() const { return limit_; }

    // Whether a search from `client` passes now; it takes a token when so.
    // Without a limit every search passes, and is counted.
    bool take(const std::string& client);

    // The rate in force `seconds` after the first search.
    double rateAt(double seconds) const;
    // The tokens that rate schedule adds between two such times.
    double refill(double from, double to) const;

    int passed() const;
    int refused() const;

private:
    struct Bucket {
        double tokens = 0;
        double at = 0;
    };
    RateLimit limit_;
    std::function<double()> now_;
    mutable std::mutex lock_;
    std::optional<double> start_;
    std::map<std::string, Bucket> buckets_;
    int passed_ = 0, refused_ = 0;
};

} // namespace quilla::fake_market
