#include "net/page_fetch.h"

#include "support/http_test_server.h"
#include "support/qstring_print.h"

#include <QByteArray>

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace quilla {
namespace {

using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpTestServer;
using test::Reply;
using Clock = std::chrono::steady_clock;

// Readable failures for long texts: where they part, not the whole texts.
::testing::AssertionResult sameText(const QString& got, const QString& want) {
    qsizetype i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    if (i == got.size() && i == want.size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "texts of " << got.size() << " and " << want.size() << " characters part at " << i
           << ": got \"" << got.mid(i, 20).toStdString() << "\", want \""
           << want.mid(i, 20).toStdString() << '"';
}

// A body in which a byte out of place shows: no period divides 2048.
std::string patternBody(std::size_t size) {
    std::string body(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>('a' + i % 23);
    return body;
}

QString latin(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Sets or clears an environment variable for one test and puts it back after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name))
            old_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            qputenv(name_, *old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

// Whatever proxy the machine has, these tests talk to 127.0.0.1 directly.
class PageFetch : public ::testing::Test {
protected:
    ScopedEnv httpProxy_{"http_proxy", std::nullopt};
    ScopedEnv allProxy_{"all_proxy", std::nullopt};
    ScopedEnv allProxyUpper_{"ALL_PROXY", std::nullopt};
};

QString fetchOnce(const Reply& reply, FetchLimits limits = {}) {
    HttpTestServer server([&](const HttpRequest&) { return reply; });
    EXPECT_TRUE(server.listening());
    return CurlFetcher(limits).fetch(server.url("/page")).text;
}

TEST_F(PageFetch, NothingToFetchGivesEmptyText) {
    int closedPort = 0;
    {
        HttpTestServer gone([](const HttpRequest&) { return test::httpReply(200, "x"); });
        closedPort = gone.port();
    }
    CurlFetcher fetcher;
    const QString closed = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort);
    for (const QString& address : {closed, QString(), QStringLiteral("not an address"),
                                   QStringLiteral("file:///etc/hostname")})
        EXPECT_EQ(fetcher.fetch(address).text, QString()) << address.toStdString();
}

struct BodyCase {
    const char* name;
    Reply reply;
    QString text;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << c.name;
}

class PageFetchBodies : public PageFetch, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(PageFetchBodies, ComeBackWhole) {
    EXPECT_TRUE(sameText(fetchOnce(GetParam().reply), GetParam().text));
}

BodyCase plain(const char* name, std::size_t size) {
    return {name, test::httpReply(200, patternBody(size)), latin(patternBody(size))};
}

BodyCase chunked(const char* name, std::size_t size, std::vector<std::size_t> chunks) {
    return {name, test::chunkedReply(patternBody(size), chunks), latin(patternBody(size))};
}

// A GBK page whose character 你 takes bytes 2048 and 2049, sent in two writes
// split between them.
const std::string gbkFiller(2047, 'g');
const std::string gbkTail = std::string("\xC4\xE3\xBA\xC3") + "</p>";
const QString gbkText = latin(gbkFiller) + QString::fromUtf8("你好</p>");

Reply gbkSplitWrites() {
    const std::string body = gbkFiller + gbkTail;
    const std::string head = test::replyHead(
        200, "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n");
    return {{head + body.substr(0, 2048), 50ms}, {body.substr(2048)}};
}

const std::string utf8Page = "<html><head><meta charset=\"utf-8\"></head>中文</html>";

INSTANTIATE_TEST_SUITE_P(
    Bodies, PageFetchBodies,
    ::testing::Values(
        plain("empty", 0), plain("b2047", 2047), plain("b2048", 2048), plain("b2049", 2049),
        plain("one_mebibyte", 1u << 20), chunked("chunked_uneven", 6000, {1, 2047, 2048, 2}),
        chunked("chunked_one_byte_chunks", 40, std::vector<std::size_t>(40, 1)),
        BodyCase{"gbk_split_across_writes", gbkSplitWrites(), gbkText},
        BodyCase{"gbk_split_across_chunks", test::chunkedReply(gbkFiller + gbkTail, {2048}),
                 gbkText},
        BodyCase{"utf8_declared_in_header",
                 test::httpReply(200, "中文", "Content-Type: text/html; charset=utf-8\r\n"),
                 QString::fromUtf8("中文")},
        BodyCase{"utf8_declared_in_meta", test::httpReply(200, utf8Page),
                 QString::fromUtf8(utf8Page.c_str())},
        BodyCase{"not_found_body", test::httpReply(404, "no such page"),
                 QStringLiteral("no such page")},
        BodyCase{"server_error_body", test::httpReply(500, "it broke"),
                 QStringLiteral("it broke")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageFetch, FollowsARedirectAndDecodesByTheFinalResponse) {
    HttpTestServer server([](const HttpRequest& request) {
        if (request.target == "/start")
            return test::redirectReply(302, "/final", "Content-Type: text/html; charset=utf-8\r\n");
        return test::httpReply(200, "\xC4\xE3\xBA\xC3", ""); // no type of its own
    });
    EXPECT_EQ(CurlFetcher().fetch(server.url("/start")).text, QString::fromUtf8("你好"));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].target, "/final");
}

TEST_F(PageFetch, ARedirectLoopEnds) {
    HttpTestServer server([](const HttpRequest&) { return test::redirectReply(302, "/loop"); });
    EXPECT_EQ(CurlFetcher().fetch(server.url("/loop")).text, QString());
    EXPECT_EQ(server.requestCount(), 11u); // the first request and ten redirects
}

TEST_F(PageFetch, EveryFetchAsksTheServerAfreshAsInternetExplorer) {
    HttpTestServer server([](const HttpRequest&) { return test::httpReply(200, "page"); });
    CurlFetcher fetcher;
    EXPECT_EQ(fetcher.fetch(server.url("/same")).text, QStringLiteral("page"));
    EXPECT_EQ(fetcher.fetch(server.url("/same")).text, QStringLiteral("page"));
    const std::vector<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const HttpRequest& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, "/same");
        EXPECT_EQ(request.header("user-agent"), "Microsoft Internet Explorer 6.0");
        EXPECT_EQ(request.header("cache-control"), "no-cache");
        EXPECT_EQ(request.header("pragma"), "no-cache");
    }
}

struct StallCase {
    const char* name;
    Reply reply;
    FetchLimits limits;
    QString text;
};

void PrintTo(const StallCase& c, std::ostream* os) {
    *os << c.name;
}

class PageFetchStalls : public PageFetch, public ::testing::WithParamInterface<StallCase> {};

// The server would go on for 5 s or more; the fetch must give up long before.
TEST_P(PageFetchStalls, EndWithWhatArrived) {
    const auto started = Clock::now();
    const QString text = fetchOnce(GetParam().reply, GetParam().limits);
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_TRUE(sameText(text, GetParam().text));
}

FetchLimits stallAfter(std::chrono::milliseconds stall, std::chrono::milliseconds total = 60s) {
    FetchLimits limits;
    limits.stall = stall;
    limits.total = total;
    return limits;
}

Reply trickle(const std::string& body, std::chrono::milliseconds every) {
    Reply reply{{test::replyHead(200, "Content-Length: " + std::to_string(body.size()) + "\r\n")}};
    for (const char c : body)
        reply.push_back({std::string(1, c), every});
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, PageFetchStalls,
    ::testing::Values(
        StallCase{"silent_server", {{"", 5s}}, stallAfter(1s), QString()},
        StallCase{"silent_mid_body",
                  {{test::replyHead(200, "Content-Length: 1000\r\n") + patternBody(100), 5s}},
                  stallAfter(1s),
                  latin(patternBody(100))}),
    [](const auto& info) { return std::string(info.param.name); });

// A byte every 150 ms never stalls; the whole-transfer limit ends it.
TEST_F(PageFetch, SlowTransferEndsAtTheTotalLimit) {
    const std::string body = "0123456789012345678901234567890123456789";
    const auto started = Clock::now();
    const QString text = fetchOnce(trickle(body, 150ms), stallAfter(1s, 1500ms));
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_LT(text.size(), 20);
    EXPECT_TRUE(latin(body).startsWith(text)) << text.toStdString();
}

// Beside the text, the fetch says what came back: the final response's
// status and address, its Retry-After, and why nothing (whole) came.
TEST_F(PageFetch, SaysWhatCameBack) {
    HttpTestServer server([](const HttpRequest& request) -> Reply {
        if (request.target == "/busy")
            return test::httpReply(429, "slow down", "Retry-After: 120\r\n");
        if (request.target == "/busy-until")
            return test::httpReply(503, "later", "Retry-After: Wed, 21 Oct 2037 07:28:00 GMT\r\n");
        if (request.target == "/moved")
            return test::redirectReply(302, "/busy");
        if (request.target == "/loop")
            return test::redirectReply(302, "/loop");
        if (request.target == "/silent")
            return {{"", 5s}};
        return test::httpReply(200, "ok");
    });
    ASSERT_TRUE(server.listening());
    int closedPort = 0;
    {
        HttpTestServer gone([](const HttpRequest&) { return test::httpReply(200, "x"); });
        closedPort = gone.port();
    }
    const struct {
        QString address;
        int status;
        QString finalAddress;
        std::optional<std::chrono::seconds> retryAfter;
        FetchFailure failure;
    } cases[] = {
        {server.url("/page"), 200, server.url("/page"), std::nullopt, FetchFailure::None},
        {server.url("/busy"), 429, server.url("/busy"), 120s, FetchFailure::None},
        {server.url("/moved"), 429, server.url("/busy"), 120s, FetchFailure::None},
        {server.url("/loop"), 302, server.url("/loop"), std::nullopt,
         FetchFailure::TooManyRedirects},
        {QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), 0, QString(), std::nullopt,
         FetchFailure::Refused},
        {server.url("/silent"), 0, QString(), std::nullopt, FetchFailure::TimedOut},
    };
    const FetchResult until = CurlFetcher().fetch(server.url("/busy-until"));
    EXPECT_EQ(until.status, 503);
    ASSERT_TRUE(until.retryAfter.has_value());
    EXPECT_GT(*until.retryAfter, std::chrono::hours(24 * 365));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        const FetchResult got = CurlFetcher(stallAfter(500ms)).fetch(c.address);
        EXPECT_EQ(got.status, c.status);
        EXPECT_EQ(got.finalAddress, c.finalAddress);
        EXPECT_EQ(got.retryAfter, c.retryAfter);
        EXPECT_EQ(got.failure, c.failure);
    }
}

// A stop request ends a fetch that would otherwise wait for a silent server
// until its limits; what it says is that it was stopped.
TEST_F(PageFetch, AStopRequestEndsAFetchWithinASecondOrSo) {
    HttpTestServer server([](const HttpRequest&) -> Reply { return {{"", 20s}}; });
    ASSERT_TRUE(server.listening());
    std::stop_source stop;
    std::thread asker([&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 1; }, 5000));
        stop.request_stop();
    });
    const auto started = Clock::now();
    const FetchResult got = CurlFetcher().fetch(server.url("/page"), stop.get_token());
    asker.join();
    EXPECT_EQ(got.failure, FetchFailure::Stopped);
    EXPECT_LT(Clock::now() - started, 5s);
}

TEST_F(PageFetch, GoesThroughTheProxyOfTheEnvironment) {
    HttpTestServer proxy([](const HttpRequest&) { return test::httpReply(200, "via proxy"); });
    const ScopedEnv viaProxy("http_proxy", proxy.url("").toUtf8());
    const ScopedEnv noBypass("no_proxy", std::nullopt);
    const ScopedEnv noBypassUpper("NO_PROXY", std::nullopt);
    const QString address = QStringLiteral("http://shop.example/search?q=%E4%BD%A0");
    EXPECT_EQ(CurlFetcher().fetch(address).text, QStringLiteral("via proxy"));
    ASSERT_EQ(proxy.requestCount(), 1u);
    EXPECT_EQ(proxy.requests()[0].target, address.toStdString());
}

struct CapCase {
    const char* name;
    std::string body;
    std::size_t maxBytes;
    QString text;
};

void PrintTo(const CapCase& c, std::ostream* os) {
    *os << c.name;
}

class PageFetchCap : public PageFetch, public ::testing::WithParamInterface<CapCase> {};

TEST_P(PageFetchCap, KeepsExactlyTheFirstBytes) {
    const CapCase& c = GetParam();
    FetchLimits limits;
    limits.maxBytes = c.maxBytes;
    EXPECT_TRUE(sameText(fetchOnce(test::chunkedReply(c.body, {700, 700}), limits), c.text));
}

const std::string bigBody = patternBody(5000);

INSTANTIATE_TEST_SUITE_P(
    Caps, PageFetchCap,
    ::testing::Values(CapCase{"cut_in_first_chunk", bigBody, 100, latin(bigBody.substr(0, 100))},
                      CapCase{"cut_between_chunks", bigBody, 1400, latin(bigBody.substr(0, 1400))},
                      CapCase{"cut_one_short", bigBody, 4999, latin(bigBody.substr(0, 4999))},
                      CapCase{"cap_equals_body", bigBody, 5000, latin(bigBody)},
                      CapCase{"cut_inside_a_character", "ab\xC4\xE3", 3,
                              u"ab" + QString(QChar::ReplacementCharacter)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quilla
