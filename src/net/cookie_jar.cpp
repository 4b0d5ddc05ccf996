#include "net/cookie_jar.h"

#include <algorithm>

namespace quilla {

QByteArray Cookie::netscapeLine() const {
    const bool subdomains = domain.startsWith('.');
    return domain + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t' + path + '\t' +
           (secure ? "TRUE" : "FALSE") + '\t' + QByteArray::number(expires) + '\t' + name + '\t' +
           value;
}

std::optional<Cookie> Cookie::fromNetscapeLine(QByteArrayView line) {
    // libcurl marks HttpOnly cookies by a prefix of the domain field.
    constexpr QByteArrayView httpOnly("#HttpOnly_");
    if (line.startsWith(httpOnly))
        line = line.sliced(httpOnly.size());
    const QList<QByteArray> f = line.toByteArray().split('\t');
    if (f.size() < 7 || f[0].isEmpty() || f[5].isEmpty())
        return std::nullopt;
    Cookie c;
    c.domain = f[1] == "TRUE" && !f[0].startsWith('.') ? '.' + f[0] : f[0];
    c.path = f[2];
    c.secure = f[3] == "TRUE";
    c.expires = f[4].toLongLong();
    c.name = f[5];
    c.value = f[6];
    return c;
}

void CookieJar::set(const Cookie& cookie) {
    const std::lock_guard guard(lock_);
    const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != cookies_.end())
        *same = cookie;
    else
        cookies_.push_back(cookie);
}

void CookieJar::remove(const QByteArray& name, const QByteArray& domain, const QByteArray& path) {
    const std::lock_guard guard(lock_);
    std::erase_if(cookies_, [&](const Cookie& c) {
        return c.name == name && c.domain == domain && c.path == path;
    });
}

std::vector<Cookie> CookieJar::all() const {
    const std::lock_guard guard(lock_);
    return cookies_;
}

bool isMarketplaceDomain(QByteArrayView domain) {
    QByteArray host = domain.toByteArray().toLower();
    if (host.startsWith('.'))
        host.remove(0, 1);
    for (const QByteArrayView root : {QByteArrayView("taobao.com"), QByteArrayView("tmall.com")})
        if (host == root || host.endsWith(QByteArray('.' + root.toByteArray())))
            return true;
    return false;
}

} // namespace quilla
