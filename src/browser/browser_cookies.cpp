#include "browser/browser_cookies.h"

#include <QDateTime>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>

namespace quilla {

Cookie cookieFrom(const QNetworkCookie& cookie) {
    Cookie c;
    c.name = cookie.name();
    c.value = cookie.value();
    c.domain = cookie.domain().toUtf8();
    c.path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
    c.secure = cookie.isSecure();
    c.expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    return c;
}

void followBrowserCookies(QWebEngineCookieStore& store, std::shared_ptr<CookieJar> jar) {
    QObject::connect(&store, &QWebEngineCookieStore::cookieAdded, &store,
                     [jar](const QNetworkCookie& cookie) {
                         const Cookie c = cookieFrom(cookie);
                         if (isMarketplaceDomain(c.domain))
                             jar->set(c);
                     });
    QObject::connect(&store, &QWebEngineCookieStore::cookieRemoved, &store,
                     [jar](const QNetworkCookie& cookie) {
                         const Cookie c = cookieFrom(cookie);
                         jar->remove(c.name, c.domain, c.path);
                     });
    store.loadAllCookies(); // those already there arrive as added
}

} // namespace quilla
