// fake_market [--port N] [--delay-ms N] [--block KIND[:KEYWORD[:TIMES]]]... [--verbose]
//             [--rate R [--burst B] [--retry-after S] [--limit-mode 429|503|verify]
//              [--rate-from SECONDS:R]...] [--long-tail] [--day N]
// Serves the fake marketplace on 127.0.0.1 until SIGTERM or SIGINT. Prints one
// line "listening 127.0.0.1:<port>" when ready, for scripts to read the port.
// SIGUSR1, or a request for /_fake/next-day, moves it on by a day.

#include "fake_market/server.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> daysToAdvance{0};

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

extern "C" void onNextDaySignal(int) {
    ++daysToAdvance;
}

std::optional<int> wholeNumber(std::string_view text, int lo, int hi) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < lo || value > hi)
        return std::nullopt;
    return value;
}

struct Options {
    int port = 0;
    quilla::fake_market::ServerOptions server;
};

std::optional<double> positive(std::string_view text, double hi) {
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !(value > 0) || value > hi)
        return std::nullopt;
    return value;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--verbose") {
            options.server.verbose = true;
        } else if (arg == "--port" && hasValue) {
            const auto port = wholeNumber(argv[++i], 0, 65535);
            if (!port)
                return std::nullopt;
            options.port = *port;
        } else if (arg == "--block" && hasValue) {
            const auto rule = quilla::fake_market::parseBlockRule(argv[++i]);
            if (!rule)
                return std::nullopt;
            options.server.blocks.push_back(*rule);
        } else if (arg == "--delay-ms" && hasValue) {
            const auto delay = wholeNumber(argv[++i], 0, 600000);
            if (!delay)
                return std::nullopt;
            options.server.searchDelay = std::chrono::milliseconds(*delay);
        } else if (arg == "--rate" && hasValue) {
            const auto rate = positive(argv[++i], 100000);
            if (!rate)
                return std::nullopt;
            options.server.limit.rate = *rate;
        } else if (arg == "--burst" && hasValue) {
            const auto burst = positive(argv[++i], 1000000);
            if (!burst)
                return std::nullopt;
            options.server.limit.burst = *burst;
        } else if (arg == "--retry-after" && hasValue) {
            const auto seconds = wholeNumber(argv[++i], 0, 86400);
            if (!seconds)
                return std::nullopt;
            options.server.limit.retryAfterSeconds = *seconds;
        } else if (arg == "--limit-mode" && hasValue) {
            const auto mode = quilla::fake_market::parseLimitMode(argv[++i]);
            if (!mode)
                return std::nullopt;
            options.server.limit.mode = *mode;
        } else if (arg == "--rate-from" && hasValue) {
            const auto later = quilla::fake_market::parseLaterRate(argv[++i]);
            if (!later)
                return std::nullopt;
            options.server.limit.later.push_back(*later);
        } else if (arg == "--long-tail") {
            options.server.longTail = true;
        } else if (arg == "--day" && hasValue) {
            const auto day = wholeNumber(argv[++i], 0, 36500);
            if (!day)
                return std::nullopt;
            options.server.day = *day;
        } else {
            return std::nullopt;
        }
    }
    // The limit's other options mean nothing without a rate.
    const auto& limit = options.server.limit;
    if (limit.rate == 0 && !(limit == quilla::fake_market::RateLimit{}))
        return std::nullopt;
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::cerr
            << "usage: fake_market [--port N] [--delay-ms N] [--verbose]\n"
               "                   [--block KIND[:KEYWORD[:TIMES]]]...\n"
               "  KIND: 429, 429-retry-after=SECONDS, 503, 500, login, slider, layout,\n"
               "        trend-login, trend-failed; KEYWORD: one keyword, or * for every one;\n"
               "  TIMES: how many requests to answer so (every one when left out)\n"
               "       [--rate R [--burst B] [--retry-after S] [--limit-mode 429|503|verify]\n"
               "        [--rate-from SECONDS:R]...] [--long-tail]\n"
               "  --rate: searches a second one client may make (a token bucket holding\n"
               "  B, 1 when left out), the rate R from SECONDS after the first search on;\n"
               "  over it: 429, 503 or a verification page. --long-tail: keywords\n"
               "  outside the graph lead to three more, so a run never runs dry\n"
               "       [--day N]: the counts and figures of day N (0 when left out);\n"
               "  SIGUSR1 or a request for /_fake/next-day moves on by a day\n";
        return 2;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#ifdef SIGUSR1
    std::signal(SIGUSR1, onNextDaySignal);
#endif

    quilla::fake_market::FakeMarketServer server(options->server);
    if (!server.start(options->port)) {
        std::cerr << "fake_market: cannot listen on 127.0.0.1:" << options->port << '\n';
        return 1;
    }
    std::cout << "listening 127.0.0.1:" << server.port() << std::endl;

    while (!stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (; daysToAdvance > 0; --daysToAdvance)
            server.nextDay();
    }
    server.stop();
    return 0;
}
