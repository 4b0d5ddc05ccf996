#pragma once

// The marketplace's cookies, shared by the embedded browser and the page
// fetch: a login in the browser makes the search pages come as that user,
// and the cookies the search pages set are sent again. Kept in memory only,
// for the session; safe to use from the fetch's thread.

#include <QByteArray>
#include <QList>

#include <mutex>
#include <optional>
#include <vector>

namespace quilla {

struct Cookie {
    QByteArray name;
    QByteArray value;
    QByteArray domain; // ".taobao.com" for the domain and its hosts; "s.taobao.com" for one host
    QByteArray path = "/";
    bool secure = false;
    qint64 expires = 0; // seconds since 1970; 0 for the session

    // libcurl's "Netscape" line for the cookie.
    QByteArray netscapeLine() const;
    static std::optional<Cookie> fromNetscapeLine(QByteArrayView line);
};

class CookieJar final {
public:
    // A cookie of the same name, domain and path is replaced.
    void set(const Cookie& cookie);
    void remove(const QByteArray& name, const QByteArray& domain, const QByteArray& path);
    std::vector<Cookie> all() const;

private:
    mutable std::mutex lock_;
    std::vector<Cookie> cookies_;
};

// Whether a cookie of this domain belongs to the marketplace.
bool isMarketplaceDomain(QByteArrayView domain);

} // namespace quilla
