#pragma once

// The fake marketplace as an HTTP server on 127.0.0.1 that also answers as a
// proxy: point http_proxy at it and ask for the marketplace's own addresses.

#include "fake_market/block_plan.h"
#include "fake_market/rate_limit.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quilla::fake_market {

struct LoggedRequest {
    std::string method;
    std::string target; // as it arrived: absolute through a proxy, else the path
    std::string userAgent;
    std::string cookie; // the Cookie header, "" when none
};

struct ServerOptions {
    std::chrono::milliseconds searchDelay{0}; // before each search page answer
    bool verbose = false;                     // every request to stderr
    std::vector<BlockRule> blocks;            // how the marketplace pushes back
    RateLimit limit;                          // how fast one client may search
    bool longTail = false;                    // keywords outside the graph lead on
    int day = 0;                              // whose counts and figures it serves
};

// Asked of the server itself (at 127.0.0.1, or through it as a proxy), this
// address moves it on by a day and answers "day N".
inline constexpr std::string_view nextDayPath = "/_fake/next-day";

class FakeMarketServer final {
public:
    explicit FakeMarketServer(ServerOptions options = {});
    ~FakeMarketServer();
    FakeMarketServer(const FakeMarketServer&) = delete;
    FakeMarketServer& operator=(const FakeMarketServer&) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port) and serves from a
    // background thread. False when the port cannot be had or already started.
    bool start(int port = 0);

    // Stops serving and waits for the background thread; safe to repeat.
    void stop();

    int port() const { return port_; }

    // Pushes back as the rule says, from the next request on.
    void block(BlockRule rule) { plan_.add(std::move(rule)); }
    void unblock() { plan_.clear(); }

    // The day whose counts and figures it serves; the next one from the next
    // request on.
    int day() const { return day_; }
    void setDay(int day) { day_ = day; }
    int nextDay() { return ++day_; }

    // Every request so far, in the order they arrived.
    std::vector<LoggedRequest> requests() const;
    void clearRequests();

    // Searches the rate limit let pass and refused.
    int searchesPassed() const { return limiter_.passed(); }
    int searchesRefused() const { return limiter_.refused(); }

private:
    struct Http;

    void record(LoggedRequest request);

    ServerOptions options_;
    std::unique_ptr<Http> http_;
    std::thread thread_;
    int port_ = 0;
    BlockPlan plan_;
    RateLimiter limiter_;
    std::atomic<int> day_{0};
    mutable std::mutex logMutex_;
    std::vector<LoggedRequest> log_;
};

} // namespace quilla::fake_market
