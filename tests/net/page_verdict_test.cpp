// Telling a page to read from the marketplace pushing back, by status,
// address and content, near misses included.

#include "net/page_verdict.h"

#include "mining/mining_run.h"
#include "mining/search_page.h"
#include "support/http_test_server.h"
#include "support/proxy_env.h"
#include "support/qstring_print.h"

#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::NoProxy;
using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpTestServer;
using test::Reply;
using test::u8;

const QString asked = u"http://s.taobao.com/search?q=qq"_s;

FetchResult answer(int status, QString text, QString finalAddress = asked) {
    FetchResult r;
    r.status = status;
    r.text = std::move(text);
    r.finalAddress = status == 0 ? QString() : std::move(finalAddress);
    r.failure = status == 0 ? FetchFailure::Refused : FetchFailure::None;
    return r;
}

TEST(Verdict, OfEveryKindOfAnswer) {
    const QString results = u8("你是不是想找 ... 该条件下 共 <b>12</b> 件");
    const struct {
        const char* name;
        FetchResult fetched;
        bool holdsResults;
        Verdict verdict;
    } cases[] = {
        {"a search page", answer(200, results), true, Verdict::Passed},
        {"an empty page", answer(200, {}), false, Verdict::Passed},
        {"429", answer(429, u"Too Many Requests"_s), false, Verdict::Throttled},
        {"503", answer(503, {}), false, Verdict::Throttled},
        {"500", answer(500, {}), false, Verdict::ServerError},
        {"502 with a page", answer(502, results), true, Verdict::ServerError},
        {"nothing fetched", answer(0, {}), false, Verdict::Network},
        {"redirected to a login host",
         answer(200, u"<form>"_s, u"http://login.taobao.com/member/login.jhtml?x=1"_s), false,
         Verdict::Login},
        {"a login form", answer(200, u8("<input name=pw type=\"password\">")), false,
         Verdict::Login},
        {"a slider path", answer(200, u"x"_s, u"http://s.taobao.com/search/_____tmd_____/punish"_s),
         false, Verdict::Verification},
        {"a punish path", answer(200, u"x"_s, u"http://sec.taobao.com/query.htm?punish=1"_s), false,
         Verdict::Passed},
        {"a punish path, as path", answer(200, u"x"_s, u"http://sec.taobao.com/punish/x"_s), false,
         Verdict::Verification},
        {"slider texts", answer(200, u8("<p>亲，请按住滑块，拖动到最右边</p>")), false,
         Verdict::Verification},
        {"a captcha", answer(200, u8("请输入验证码")), false, Verdict::Verification},
        // Near misses: a result page that mentions such words stays a page.
        {"results with 验证码 in an item title", answer(200, results + u8("<a>防伪验证码标签</a>")),
         true, Verdict::Passed},
        {"results with a login box", answer(200, results + u8("<input type=password>")), true,
         Verdict::Passed},
        {"a redirect within the search host",
         answer(200, results, u"http://s.taobao.com/search?q=qq&s=44"_s), true, Verdict::Passed},
        {"a login word in the same host", answer(200, results, asked + u"&from=login"_s), true,
         Verdict::Passed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(verdictOf(c.fetched, asked, c.holdsResults), c.verdict) << c.name;
}

TEST(Verdict, OfTheBrowsersAddress) {
    const QString trend = u"http://shu.taobao.com/trendindex?query=qq"_s;
    EXPECT_EQ(addressVerdict(trend, trend), Verdict::Passed);
    EXPECT_EQ(addressVerdict(trend, u"http://shu.taobao.com/more"_s), Verdict::Passed);
    EXPECT_EQ(addressVerdict(trend, u"https://login.taobao.com/member/login.jhtml"_s),
              Verdict::Login);
    EXPECT_EQ(addressVerdict(trend, u"http://shu.taobao.com/_____tmd_____/punish"_s),
              Verdict::Verification);
    EXPECT_EQ(addressVerdict(trend, QString()), Verdict::Passed);
}

std::string raw(const QString& text) {
    return text.toStdString();
}

// A transfer that failed is no page, whatever part of one arrived: a redirect
// loop, a connection cut mid-page, a page that stalls. A page cut at the size
// limit is whole enough.
TEST(Verdict, OfATransferThatFailedIsNetwork) {
    const NoProxy noProxy;
    const std::string results = raw(u8("<div>你是不是想找：<a href=\"/s?rsclick=1\">qq币</a></div>"
                                       "<p>该条件下 共 <span>12</span>件宝贝</p>"));
    const std::string length = "Content-Length: " + std::to_string(results.size() + 500) + "\r\n";
    HttpTestServer server([&](const HttpRequest& request) -> Reply {
        if (request.target == "/loop")
            return test::redirectReply(302, "/loop");
        if (request.target == "/cut") // the connection ends 500 bytes short
            return {{test::replyHead(200, "Content-Type: text/html; charset=utf-8\r\n" + length) +
                     results}};
        if (request.target == "/stall")
            return {{test::replyHead(200, "Content-Type: text/html; charset=utf-8\r\n" + length) +
                         results,
                     3s}};
        return test::httpReply(200, results, "Content-Type: text/html; charset=utf-8\r\n");
    });
    ASSERT_TRUE(server.listening());
    FetchLimits limits;
    limits.stall = 500ms;
    FetchLimits capped;
    capped.maxBytes = results.size() - 10;
    const struct {
        const char* path;
        FetchLimits limits;
        FetchFailure failure;
        Verdict verdict;
    } cases[] = {
        {"/whole", limits, FetchFailure::None, Verdict::Passed},
        {"/whole", capped, FetchFailure::None, Verdict::Passed},
        {"/loop", limits, FetchFailure::TooManyRedirects, Verdict::Network},
        {"/cut", limits, FetchFailure::Reset, Verdict::Network},
        // Last: the server answers one connection at a time.
        {"/stall", limits, FetchFailure::TimedOut, Verdict::Network},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const QString address = server.url(c.path);
        const FetchResult got = CurlFetcher(c.limits).fetch(address);
        ASSERT_EQ(got.failure, c.failure);
        EXPECT_NE(got.status, 0); // an answer came, in part
        EXPECT_EQ(verdictOf(got, address, readSearchPage(got.text).yielded()), c.verdict);
    }
}

// Whatever a Retry-After says, the wait stays within 0 to 10 minutes: huge
// numbers, dates in any of HTTP's three forms, and garbage, which leaves
// the usual back-off.
TEST(Verdict, RetryAfterGivesAWaitOfAtMostTenMinutes) {
    // Wed, 21 Oct 2015 07:26:30 GMT: 90 s before the dates below.
    const std::chrono::system_clock::time_point now{1445412390s};
    const std::int64_t backOff = RetryPolicy::throttleWaitMs(0, std::nullopt, 1.0);
    const struct {
        const char* value;
        std::int64_t ms;
    } cases[] = {
        {"120", 120000},
        {"0", 0},
        {"9223372036854776", 600000},
        {"9300000000000000", 600000},
        {"9223372036854775807", 600000},
        {"99999999999999999999999999", 600000},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 90000},
        {"Wednesday, 21-Oct-15 07:28:00 GMT", 90000},
        {"Wed Oct 21 07:28:00 2015", 90000},
        {"Wed, 21 Oct 2037 07:28:00 GMT", 600000},
        {"Tue, 20 Oct 2015 07:28:00 GMT", 0},
        {"-5", backOff},
        {"soon", backOff},
        {"", backOff},
        {"12 s", backOff},
        {"Wed, 32 Oct 2015 07:28:00 GMT", backOff},
        {"Wed, 21 Oct 2015 25:28:00 GMT", backOff},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto seconds = retryAfterSeconds(c.value, now);
        const std::int64_t ms = RetryPolicy::throttleWaitMs(0, seconds, 1.0);
        EXPECT_EQ(ms, c.ms);
    }
    for (const auto seconds : {-5s, std::chrono::seconds::min(), std::chrono::seconds::max()}) {
        const std::int64_t ms = RetryPolicy::throttleWaitMs(3, seconds, 1.0);
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, RetryPolicy::longestWaitMs);
    }
}

// The answer fuzzing found, sent as it was: throttled, with the longest wait.
TEST(Verdict, AHugeRetryAfterFromTheWireWaitsTenMinutes) {
    const NoProxy noProxy;
    QFile file(qEnvironmentVariable("QUILLA_SOURCE_DIR") +
               u"/tests/data/answers/answer-retry-after-overflow.http"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "QUILLA_SOURCE_DIR is not set";
    const std::string answer = file.readAll().toStdString();
    HttpTestServer server([&](const HttpRequest&) -> Reply { return {{answer}}; });
    ASSERT_TRUE(server.listening());
    const QString address = server.url("/search?q=qq");
    const FetchResult got = CurlFetcher().fetch(address);
    EXPECT_EQ(got.status, 429);
    EXPECT_EQ(verdictOf(got, address, false), Verdict::Throttled);
    EXPECT_EQ(RetryPolicy::throttleWaitMs(0, got.retryAfter, 1.0), RetryPolicy::longestWaitMs);
}

} // namespace
} // namespace quilla
