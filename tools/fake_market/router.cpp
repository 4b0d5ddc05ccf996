#include "fake_market/router.h"

#include "fake_market/pages.h"
#include "fake_market/url_text.h"

#include <algorithm>
#include <cctype>

namespace quilla::fake_market {

namespace {

constexpr std::string_view searchHost = "s.taobao.com";
constexpr std::string_view trendHost = "shu.taobao.com";

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
    return Answer{200, std::string(contentType), body.toStdString(), false};
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

Answer answer(std::string_view method, std::string_view target, std::string_view hostHeader) {
    const Target t = parseTarget(target, hostHeader);
    if (method != "GET" && method != "HEAD")
        return Answer{404, "text/html; charset=utf-8", notFoundPage().toStdString(), false};
    if (isAt(t, searchHost, "/search")) {
        const QString keyword = fromGb18030(percentDecoded(rawQueryValue(t.query, "q")));
        Answer a = page("text/html; charset=gbk", searchPage(keyword));
        a.isSearchPage = true;
        return a;
    }
    if (isAt(t, trendHost, "/trendindex"))
        return page("text/html; charset=utf-8", trendPage(utf8Value(t, "query")));
    if (isAt(t, trendHost, "/trendindex/data"))
        return page("application/json; charset=utf-8", trendData(utf8Value(t, "query")));
    if (isAt(t, trendHost, "/more"))
        return page("text/html; charset=utf-8", morePage());
    return Answer{404, "text/html; charset=utf-8", notFoundPage().toStdString(), false};
}

} // namespace quilla::fake_market
