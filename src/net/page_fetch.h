#pragma once

// One GET of a web page, and what came back with it.

#include "net/cookie_jar.h"

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>

namespace quilla {

// How long and how much one fetch may take. What arrived before a limit was
// reached is still returned.
struct FetchLimits {
    std::chrono::milliseconds connect{15000}; // to open the connection
    std::chrono::milliseconds stall{30000};   // with nothing arriving
    std::chrono::milliseconds total{60000};   // for the whole transfer
    std::size_t maxBytes = 32u << 20;         // of body; the rest is not read
};

// Why a fetch brought no (whole) page.
enum class FetchFailure {
    None,             // an answer came, whatever its status
    Refused,          // no connection: refused, unreachable, name not found
    Reset,            // the connection broke off
    TimedOut,         // a time limit was reached
    TooManyRedirects, // the redirects went round in circles
    Stopped,          // the fetch was told to stop
    Other,
};

struct FetchResult {
    QString text;         // the page text; what arrived, also after a failure
    int status = 0;       // of the final response; 0 when none came
    QString finalAddress; // after redirects; empty when none came
    std::optional<std::chrono::seconds> retryAfter; // the final response's Retry-After
    FetchFailure failure = FetchFailure::None;
};

class PageFetcher {
public:
    virtual ~PageFetcher() = default;

    // Waits for the whole answer; a stop request ends the wait early.
    virtual FetchResult fetch(const QString& address, std::stop_token stop = {}) = 0;
};

// Each call is a fresh GET straight from the origin server: redirects are
// followed, an error page's body counts like any other, the proxy comes from
// the environment (http_proxy, no_proxy), and nothing is kept between calls
// but the cookies.
// With a cookie jar, each GET sends the jar's cookies and the jar keeps
// those the answer sets.
class CurlFetcher final : public PageFetcher {
public:
    explicit CurlFetcher(FetchLimits limits = {}, std::shared_ptr<CookieJar> cookies = {});

    // The address must already be percent-encoded. Never throws.
    FetchResult fetch(const QString& address, std::stop_token stop = {}) override;

private:
    FetchLimits limits_;
    std::shared_ptr<CookieJar> cookies_;
};

// The seconds a Retry-After value asks for: a number of seconds or an HTTP
// date (counted from `now`); nothing when it is neither.
std::optional<std::chrono::seconds> retryAfterSeconds(QByteArrayView value,
                                                      std::chrono::system_clock::time_point now);

} // namespace quilla
