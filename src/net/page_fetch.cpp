#include "net/page_fetch.h"

#include "net/page_decode.h"

#include <QByteArray>

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace quilla {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* userAgent = "Microsoft Internet Explorer 6.0";
constexpr long maxRedirects = 10;

// What one transfer has received so far.
struct Transfer {
    std::size_t maxBytes = 0;
    std::chrono::milliseconds stall{};
    Clock::time_point lastArrival = Clock::now();
    QByteArray body;
    QByteArray contentType; // of the latest response: after redirects, the final one
};

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlDeleter>;

bool curlReady() {
    // curl_global_init itself is not thread-safe; a local static runs it once.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// The callbacks are called from C: nothing may be thrown through them.
std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    transfer.lastArrival = Clock::now();
    const auto held = static_cast<std::size_t>(transfer.body.size());
    const std::size_t kept =
        std::min(length, transfer.maxBytes - std::min(transfer.maxBytes, held));
    try {
        transfer.body.append(data, static_cast<qsizetype>(kept));
    } catch (...) {
        return 0;
    }
    return kept; // taking less than offered ends the transfer at the cap
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    transfer.lastArrival = Clock::now();
    constexpr QByteArrayView contentType("content-type:");
    const QByteArrayView line(data, static_cast<qsizetype>(length));
    try {
        if (line.startsWith("HTTP/")) // a new response begins, after a redirect say
            transfer.contentType.clear();
        else if (line.size() >= contentType.size() &&
                 qstrnicmp(line.data(), contentType.data(), contentType.size()) == 0)
            transfer.contentType = line.sliced(contentType.size()).trimmed().toByteArray();
    } catch (...) {
        return 0;
    }
    return length;
}

// libcurl's own low-speed limit counts whole seconds; this counts milliseconds
// since anything last arrived.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    const auto& transfer = *static_cast<const Transfer*>(user);
    const bool stalled =
        transfer.stall.count() > 0 && Clock::now() - transfer.lastArrival > transfer.stall;
    return stalled ? 1 : 0;
}

long milliseconds(std::chrono::milliseconds limit) {
    return static_cast<long>(std::clamp<long long>(limit.count(), 0, LONG_MAX));
}

HeaderList noCacheHeaders() {
    HeaderList headers;
    for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        if (curl_slist* grown = curl_slist_append(headers.get(), header)) {
            (void)headers.release(); // the list keeps its head; `grown` is it
            headers.reset(grown);
        }
    }
    return headers;
}

void allowWebOnly(CURL* curl) {
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
}

bool configure(CURL* curl, const QByteArray& url, curl_slist* headers, Transfer& transfer,
               const FetchLimits& limits) {
    if (curl_easy_setopt(curl, CURLOPT_URL, url.constData()) != CURLE_OK)
        return false;
    allowWebOnly(curl);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, maxRedirects);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(limits.connect));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, milliseconds(limits.total));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    return true;
}

QString fetch(const QString& address, const FetchLimits& limits) {
    if (!curlReady())
        return {};
    const CurlHandle curl(curl_easy_init());
    const HeaderList headers = noCacheHeaders();
    const QByteArray url = address.toUtf8();
    Transfer transfer;
    transfer.maxBytes = limits.maxBytes;
    transfer.stall = limits.stall;
    if (!curl || !configure(curl.get(), url, headers.get(), transfer, limits))
        return {};
    transfer.lastArrival = Clock::now();
    // However the transfer ended, what arrived until then is the page.
    curl_easy_perform(curl.get());
    return decodePage(transfer.body, transfer.contentType);
}

} // namespace

CurlFetcher::CurlFetcher(FetchLimits limits) : limits_(limits) {}

QString CurlFetcher::gethtml(const QString& address) {
    try {
        return fetch(address, limits_);
    } catch (...) {
        // Out of memory on a huge page: the caller is told there was no page.
        return {};
    }
}

} // namespace quilla
