#pragma once

// Which page answers a request. Requests come as a proxy sees them, with an
// absolute target ("http://s.taobao.com/search?q=..."), or as a server sees
// them, with the path alone and the host in the Host header.

#include "fake_market/rate_limit.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quilla::fake_market {

struct Target {
    std::string host;  // lower case, without a port
    std::string path;  // "/" when the target names none
    std::string query; // raw, still percent-encoded; "" when none
};

Target parseTarget(std::string_view target, std::string_view hostHeader);

struct Answer {
    int status = 404;
    std::string contentType;
    std::string body;
    bool isSearchPage = false; // the answer that a configured delay slows down
    std::vector<std::pair<std::string, std::string>> headers;
};

class BlockPlan;

// GET and HEAD of the known pages; 404 for anything else. The loopback host
// matches every page, so a person can open them at 127.0.0.1 directly. With
// a plan, the search and trend pages push back as it says. The counts and
// figures are those of `day` (see fakeCount and fakeTrend).
Answer answer(std::string_view method, std::string_view target, std::string_view hostHeader,
              BlockPlan* plan = nullptr, bool longTail = false, int day = 0);

// Whether the request asks for a search page (the one a rate limit counts).
bool isSearchRequest(std::string_view method, std::string_view target, std::string_view hostHeader);

// The answer to a search over the rate limit: 429 or 503 (with Retry-After
// when `retryAfterSeconds` is above 0) or a redirect to the slider check.
Answer overLimitAnswer(LimitMode mode, int retryAfterSeconds);

// Where a blocked search page sends the browser to log in.
inline constexpr std::string_view loginAddress = "http://login.taobao.com/member/login.jhtml";

} // namespace quilla::fake_market
