#include "net/page_fetch.h"

#include "net/page_decode.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

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
    std::stop_token stop;
    Clock::time_point lastArrival = Clock::now();
    QByteArray body;
    bool capped = false;  // the body reached maxBytes and the rest was not read
    bool stalled = false; // nothing arrived for too long
    bool stopped = false; // told to stop
    // Of the latest response: after redirects, the final one.
    QByteArray contentType;
    QByteArray retryAfter;
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
    transfer.capped = kept < length;
    return kept; // taking less than offered ends the transfer at the cap
}

// The value of a header line named `name` (lower case, with its colon), or nothing.
std::optional<QByteArray> headerValue(QByteArrayView line, QByteArrayView name) {
    if (line.size() < name.size() || qstrnicmp(line.data(), name.data(), name.size()) != 0)
        return std::nullopt;
    return line.sliced(name.size()).trimmed().toByteArray();
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    transfer.lastArrival = Clock::now();
    const QByteArrayView line(data, static_cast<qsizetype>(length));
    try {
        if (line.startsWith("HTTP/")) { // a new response begins, after a redirect say
            transfer.contentType.clear();
            transfer.retryAfter.clear();
        } else if (auto type = headerValue(line, "content-type:")) {
            transfer.contentType = std::move(*type);
        } else if (auto wait = headerValue(line, "retry-after:")) {
            transfer.retryAfter = std::move(*wait);
        }
    } catch (...) {
        return 0;
    }
    return length;
}

// libcurl's own low-speed limit counts whole seconds; this counts milliseconds
// since anything last arrived. Called at least once a second, also while
// nothing arrives, so a stop request ends the transfer within a second.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    auto& transfer = *static_cast<Transfer*>(user);
    transfer.stopped = transfer.stop.stop_requested();
    transfer.stalled =
        transfer.stall.count() > 0 && Clock::now() - transfer.lastArrival > transfer.stall;
    return transfer.stopped || transfer.stalled ? 1 : 0;
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

FetchFailure failureOf(CURLcode code, const Transfer& transfer) {
    switch (code) {
    case CURLE_OK:
        return FetchFailure::None;
    case CURLE_WRITE_ERROR:
        return transfer.capped ? FetchFailure::None : FetchFailure::Other;
    case CURLE_ABORTED_BY_CALLBACK:
        return transfer.stopped ? FetchFailure::Stopped : FetchFailure::TimedOut;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return FetchFailure::Refused;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return FetchFailure::Reset;
    case CURLE_OPERATION_TIMEDOUT:
        return FetchFailure::TimedOut;
    case CURLE_TOO_MANY_REDIRECTS:
        return FetchFailure::TooManyRedirects;
    default:
        return FetchFailure::Other;
    }
}

// The jar's cookies into libcurl's engine, which keeps them for this
// transfer's redirects and adds what the answers set.
void sendCookies(CURL* curl, const CookieJar* jar) {
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""); // the engine on, nothing read from disk
    if (!jar)
        return;
    for (const Cookie& cookie : jar->all())
        curl_easy_setopt(curl, CURLOPT_COOKIELIST, cookie.netscapeLine().constData());
}

void keepCookies(CURL* curl, CookieJar* jar) {
    curl_slist* list = nullptr;
    if (!jar || curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return;
    const HeaderList owned(list);
    for (const curl_slist* at = list; at; at = at->next)
        if (const auto cookie = Cookie::fromNetscapeLine(at->data))
            jar->set(*cookie);
}

// A Retry-After longer than this is no delay nor date.
constexpr qsizetype maxRetryAfterLength = 64;

// Digits only; a number too large for the type stands for the longest wait.
std::optional<std::chrono::seconds> wholeSeconds(QByteArrayView text) {
    std::chrono::seconds::rep seconds = 0;
    constexpr auto most = std::chrono::seconds::max().count();
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        seconds = seconds > (most - digit) / 10 ? most : seconds * 10 + digit;
    }
    return std::chrono::seconds(seconds);
}

std::optional<int> numberOf(QByteArrayView digits, qsizetype minLength, qsizetype maxLength) {
    if (digits.size() < minLength || digits.size() > maxLength)
        return std::nullopt;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<int> monthOf(QByteArrayView name) {
    static constexpr const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (name.size() == 3 && qstrnicmp(name.data(), names[i], 3) == 0)
            return i + 1;
    return std::nullopt;
}

bool isDayName(QByteArrayView name) {
    static constexpr const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return name.size() >= 3 && std::any_of(std::begin(days), std::end(days), [&](const char* d) {
               return qstrnicmp(name.data(), d, 3) == 0;
           });
}

// An HTTP date in any of its three forms, as seconds since the epoch:
// "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT" and
// "Sun Nov  6 08:49:37 1994". A two-digit year is the latest that is not
// more than 50 years ahead of `now`.
std::optional<qint64> httpDateSeconds(QByteArrayView text,
                                      std::chrono::system_clock::time_point now) {
    QByteArray spaced = text.toByteArray();
    spaced.replace(',', ' ').replace('-', ' ');
    QList<QByteArray> parts = spaced.simplified().split(' ');
    if (parts.isEmpty() || !isDayName(parts.front()))
        return std::nullopt;
    parts.removeFirst();
    std::optional<int> day, month, year;
    QByteArray time;
    if (parts.size() == 4 && monthOf(parts[0])) { // asctime
        month = monthOf(parts[0]);
        day = numberOf(parts[1], 1, 2);
        time = parts[2];
        year = numberOf(parts[3], 4, 4);
    } else if (parts.size() == 5 && parts[4] == "GMT") {
        day = numberOf(parts[0], 1, 2);
        month = monthOf(parts[1]);
        time = parts[3];
        year = numberOf(parts[2], 2, 4);
        if (year && parts[2].size() == 2) {
            const int thisYear =
                QDateTime::fromSecsSinceEpoch(
                    std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch())
                        .count(),
                    Qt::UTC)
                    .date()
                    .year();
            int full = thisYear - thisYear % 100 + *year;
            if (full > thisYear + 50)
                full -= 100;
            year = full;
        } else if (year && parts[2].size() != 4) {
            year.reset();
        }
    }
    const QList<QByteArray> clock = time.split(':');
    if (!day || !month || !year || clock.size() != 3)
        return std::nullopt;
    const auto hour = numberOf(clock[0], 2, 2), minute = numberOf(clock[1], 2, 2),
               second = numberOf(clock[2], 2, 2);
    const QDate date(*year, *month, *day);
    if (!hour || !minute || !second || !date.isValid() || *hour > 23 || *minute > 59 ||
        *second > 60)
        return std::nullopt;
    // A leap second counts as the one before it.
    const QTime at(*hour, *minute, std::min(*second, 59));
    return QDateTime(date, at, Qt::UTC).toSecsSinceEpoch();
}

FetchResult fetchWith(const QString& address, const FetchLimits& limits, std::stop_token stop,
                      CookieJar* jar) {
    FetchResult result;
    result.failure = FetchFailure::Other;
    if (!curlReady())
        return result;
    const CurlHandle curl(curl_easy_init());
    const HeaderList headers = noCacheHeaders();
    const QByteArray url = address.toUtf8();
    Transfer transfer;
    transfer.maxBytes = limits.maxBytes;
    transfer.stall = limits.stall;
    transfer.stop = std::move(stop);
    if (!curl || !configure(curl.get(), url, headers.get(), transfer, limits))
        return result;
    sendCookies(curl.get(), jar);
    transfer.lastArrival = Clock::now();
    // However the transfer ended, what arrived until then is the page.
    const CURLcode code = curl_easy_perform(curl.get());
    keepCookies(curl.get(), jar);
    result.failure = failureOf(code, transfer);
    result.text = decodePage(transfer.body, transfer.contentType);
    long status = 0;
    if (curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status > 0) {
        result.status = static_cast<int>(status);
        const char* final = nullptr;
        if (curl_easy_getinfo(curl.get(), CURLINFO_EFFECTIVE_URL, &final) == CURLE_OK && final)
            result.finalAddress = QString::fromUtf8(final);
        result.retryAfter =
            retryAfterSeconds(transfer.retryAfter, std::chrono::system_clock::now());
    }
    return result;
}

} // namespace

std::optional<std::chrono::seconds> retryAfterSeconds(QByteArrayView value,
                                                      std::chrono::system_clock::time_point now) {
    const QByteArrayView text = value.trimmed();
    if (text.isEmpty() || text.size() > maxRetryAfterLength)
        return std::nullopt;
    if (const auto seconds = wholeSeconds(text))
        return seconds;
    const auto when = httpDateSeconds(text, now);
    if (!when)
        return std::nullopt;
    const auto nowSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    return std::chrono::seconds(std::max<qint64>(0, *when - nowSeconds));
}

CurlFetcher::CurlFetcher(FetchLimits limits, std::shared_ptr<CookieJar> cookies)
    : limits_(limits), cookies_(std::move(cookies)) {}

FetchResult CurlFetcher::fetch(const QString& address, std::stop_token stop) {
    try {
        return fetchWith(address, limits_, std::move(stop), cookies_.get());
    } catch (...) {
        // Out of memory on a huge page: the caller is told there was no page.
        FetchResult none;
        none.failure = FetchFailure::Other;
        return none;
    }
}

} // namespace quilla
