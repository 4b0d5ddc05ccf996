#pragma once

// One GET of a web page, as the mining step asks for it.

#include <QString>

#include <chrono>
#include <cstddef>

namespace quilla {

// How long and how much one fetch may take. What arrived before a limit was
// reached is still returned.
struct FetchLimits {
    std::chrono::milliseconds connect{15000}; // to open the connection
    std::chrono::milliseconds stall{30000};   // with nothing arriving
    std::chrono::milliseconds total{60000};   // for the whole transfer
    std::size_t maxBytes = 32u << 20;         // of body; the rest is not read
};

class PageFetcher {
public:
    virtual ~PageFetcher() = default;

    // The page text at the address; empty when nothing could be fetched.
    virtual QString gethtml(const QString& address) = 0;
};

// Each call is a fresh GET straight from the origin server: redirects are
// followed, an error page's body counts like any other, the proxy comes from
// the environment (http_proxy, no_proxy), and nothing is kept between calls.
class CurlFetcher final : public PageFetcher {
public:
    explicit CurlFetcher(FetchLimits limits = {});

    // The address must already be percent-encoded. Never throws.
    QString gethtml(const QString& address) override;

private:
    FetchLimits limits_;
};

} // namespace quilla
