#include "fake_market/router.h"

#include "fake_market/block_plan.h"
#include "fake_market/pages.h"
#include "fake_market/url_text.h"

#include <algorithm>
#include <cctype>

namespace quilla::fake_market {

namespace {

constexpr std::string_view searchHost = "s.taobao.com";
constexpr std::string_view trendHost = "shu.taobao.com";
constexpr std::string_view loginHost = "login.taobao.com";
constexpr std::string_view sliderPath = "/search/_____tmd_____/punish";

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// "Host:port" or "[v6]:port" to the host alone, lower case.
std::string hostWithoutPort(std::string_view authority) {
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket))
        authority = authority.substr(0, colon);
    return lowerCase(authority);
}

bool isLoopback(std::string_view host) {
    return host.empty() || host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

bool isAt(const Target& t, std::string_view host, std::string_view path) {
    return t.path == path && (t.host == host || isLoopback(t.host));
}

QString utf8Value(const Target& t, std::string_view name) {
    return QString::fromUtf8(percentDecoded(rawQueryValue(t.query, name)));
}

Answer page(std::string_view contentType, const QByteArray& body) {
    return Answer{200, std::string(contentType), body.toStdString(), false, {}};
}

Answer redirect(std::string location) {
    Answer a{302, "text/html; charset=utf-8", "<html><body>moved</body></html>", false, {}};
    a.headers.emplace_back("Location", std::move(location));
    return a;
}

// How a search request that a rule catches is answered.
Answer pushBack(const BlockRule& rule, const QString& keyword) {
    switch (rule.kind) {
    case BlockKind::Throttle: {
        Answer a{429, "text/html; charset=utf-8", tooManyRequestsPage().toStdString(), true, {}};
        if (rule.retryAfterSeconds > 0)
            a.headers.emplace_back("Retry-After", std::to_string(rule.retryAfterSeconds));
        return a;
    }
    case BlockKind::Unavailable:
        return Answer{503,
                      "text/html; charset=utf-8",
                      "<html><body>Service Unavailable</body></html>",
                      true,
                      {}};
    case BlockKind::ServerError:
        return Answer{500,
                      "text/html; charset=utf-8",
                      "<html><body>Internal Server Error</body></html>",
                      true,
                      {}};
    case BlockKind::Login:
        return redirect(std::string(loginAddress) +
                        "?redirectURL=http%3A%2F%2Fs.taobao.com%2Fsearch");
    case BlockKind::Slider:
        return redirect("http://s.taobao.com" + std::string(sliderPath) + "?x5secdata=fake");
    case BlockKind::ChangedLayout: {
        Answer a = page("text/html; charset=gbk", changedLayoutPage(keyword));
        a.isSearchPage = true;
        return a;
    }
    case BlockKind::TrendLogin:
    case BlockKind::TrendFailed:
        break;
    }
    return Answer{404, "text/html; charset=utf-8", notFoundPage().toStdString(), false, {}};
}

} // namespace

Target parseTarget(std::string_view target, std::string_view hostHeader) {
    Target t;
    std::string_view rest = target;
    if (lowerCase(target.substr(0, 7)) == "http://") {
        rest.remove_prefix(7);
        const std::size_t authorityEnd = std::min(rest.find('/'), rest.find('?'));
        t.host = hostWithoutPort(rest.substr(0, authorityEnd));
        rest =
            authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);
    } else {
        t.host = hostWithoutPort(hostHeader);
    }
    if (const std::size_t fragment = rest.find('#'); fragment != std::string_view::npos)
        rest = rest.substr(0, fragment);
    const std::size_t question = rest.find('?');
    const std::string_view path = rest.substr(0, question);
    t.path = path.empty() ? std::string(1, '/') : std::string(path);
    if (question != std::string_view::npos)
        t.query = std::string(rest.substr(question + 1));
    return t;
}

bool isSearchRequest(std::string_view method, std::string_view target,
                     std::string_view hostHeader) {
    return (method == "GET" || method == "HEAD") &&
           isAt(parseTarget(target, hostHeader), searchHost, "/search");
}

Answer overLimitAnswer(LimitMode mode, int retryAfterSeconds) {
    if (mode == LimitMode::Verify)
        return pushBack(BlockRule{BlockKind::Slider, {}, -1, 0}, {});
    Answer a = pushBack(
        BlockRule{
            mode == LimitMode::TooMany ? BlockKind::Throttle : BlockKind::Unavailable, {}, -1, 0},
        {});
    if (retryAfterSeconds > 0)
        a.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
    return a;
}

Answer answer(std::string_view method, std::string_view target, std::string_view hostHeader,
              BlockPlan* plan, bool longTail, int day) {
    const Target t = parseTarget(target, hostHeader);
    const Answer none{404, "text/html; charset=utf-8", notFoundPage().toStdString(), false, {}};
    if (method != "GET" && method != "HEAD")
        return none;
    if (isAt(t, searchHost, "/search")) {
        const QString keyword = fromGb18030(percentDecoded(rawQueryValue(t.query, "q")));
        if (const auto rule = plan ? plan->take(keyword, false) : std::nullopt)
            return pushBack(*rule, keyword);
        Answer a = page("text/html; charset=gbk", searchPage(keyword, longTail, day));
        a.isSearchPage = true;
        // A visitor cookie, as the marketplace sets one, for the fetch to send back.
        a.headers.emplace_back("Set-Cookie", "cna=fake-visitor; Domain=.taobao.com; Path=/");
        return a;
    }
    if (isAt(t, searchHost, sliderPath))
        return page("text/html; charset=utf-8", sliderPage());
    if (isAt(t, loginHost, "/member/login.jhtml"))
        return page("text/html; charset=utf-8", loginPage());
    if (isAt(t, trendHost, "/trendindex")) {
        Answer a = page("text/html; charset=utf-8", trendPage(utf8Value(t, "query")));
        // A session cookie of the trend host alone: a browser that keeps its
        // profile sends it back after a restart.
        a.headers.emplace_back("Set-Cookie", "trend-visit=fake; Path=/");
        return a;
    }
    if (isAt(t, trendHost, "/trendindex/data")) {
        const QString query = utf8Value(t, "query");
        if (const auto rule = plan ? plan->take(query, true) : std::nullopt) {
            if (rule->kind == BlockKind::TrendFailed)
                return Answer{503,
                              "text/html; charset=utf-8",
                              "<html><body>Service Unavailable</body></html>",
                              false,
                              {}};
            return page("application/json; charset=utf-8",
                        QByteArray("{\"redirect\":\"") + QByteArray(loginAddress.data()) + "\"}");
        }
        return page("application/json; charset=utf-8", trendData(query, day));
    }
    if (isAt(t, trendHost, "/more"))
        return page("text/html; charset=utf-8", morePage());
    return none;
}

} // namespace quilla::fake_market
