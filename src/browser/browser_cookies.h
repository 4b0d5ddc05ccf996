#pragma once

#include "net/cookie_jar.h"

#include <memory>

class QNetworkCookie;
class QWebEngineCookieStore;

namespace quilla {

// Keeps the jar current with the marketplace's cookies in the browser's
// store, those there now and every later change, so that a login in the
// browser counts for the page fetch too.
void followBrowserCookies(QWebEngineCookieStore& store, std::shared_ptr<CookieJar> jar);

Cookie cookieFrom(const QNetworkCookie& cookie);

} // namespace quilla
