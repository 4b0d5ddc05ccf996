#pragma once

// How the fake marketplace pushes back, per keyword and for a number of
// requests: throttling (429, with or without Retry-After; 503), a fault of
// its own (500), a redirect to a login host, a slider check, search pages in
// a changed layout, and a trend page that turns into a login page.

#include <QString>

#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace quilla::fake_market {

enum class BlockKind {
    Throttle,      // 429
    Unavailable,   // 503
    ServerError,   // 500
    Login,         // 302 to the login host
    Slider,        // 302 to a slider check
    ChangedLayout, // 200, a search page without the did-you-mean block and the count
    TrendLogin,    // the trend page's query sends the browser to the login host
    TrendFailed,   // the trend page's query is answered 503: the page shows no figures
};

struct BlockRule {
    BlockKind kind = BlockKind::Throttle;
    QString keyword;           // empty: every keyword
    int times = -1;            // requests answered so; -1: every one
    int retryAfterSeconds = 0; // for Throttle: sent as Retry-After when above 0
};

// "KIND[:KEYWORD[:TIMES]]", KIND one of 429, 429-retry-after=N, 503, 500,
// login, slider, layout, trend-login, trend-failed; KEYWORD "*" or empty for every one.
std::optional<BlockRule> parseBlockRule(std::string_view text);

// The rules in force; safe to use from the server's threads.
class BlockPlan {
public:
    void add(BlockRule rule);
    void clear();
    // The rule that answers this request for `keyword`, counted, if any.
    std::optional<BlockRule> take(const QString& keyword, bool trendQuery);

private:
    std::mutex lock_;
    std::vector<BlockRule> rules_;
};

} // namespace quilla::fake_market
