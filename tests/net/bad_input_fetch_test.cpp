// What a hostile or broken server, and a page of bad bytes, do to one fetch:
// the fetch always returns, within its limits, with the text that arrived.

#include "mining/search_page.h"
#include "net/page_fetch.h"

#include "support/http_test_server.h"
#include "support/proxy_env.h"
#include "support/qstring_print.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace quilla {
namespace {

using test::listOf;
using test::NoProxy;
using test::u8;

using namespace std::chrono_literals;
using test::HttpRequest;
using test::HttpTestServer;
using test::Reply;
using Clock = std::chrono::steady_clock;

QString latin(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

const QString fffd(QChar::ReplacementCharacter);

// Short limits, so a fetch that hangs fails the time check instead of the suite.
FetchLimits quickLimits() {
    FetchLimits limits;
    limits.connect = 2s;
    limits.stall = 1s;
    limits.total = 5s;
    return limits;
}

// A server that answers one request with `head`, waits, then resets the
// connection (RST, not an orderly close). Every wait is bounded.
class ResettingServer {
public:
    explicit ResettingServer(std::string head) : head_(std::move(head)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* generic = reinterpret_cast<sockaddr*>(&address);
        if (listener_ < 0 || ::bind(listener_, generic, sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 || ::getsockname(listener_, generic, &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ResettingServer() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    ResettingServer(const ResettingServer&) = delete;
    ResettingServer& operator=(const ResettingServer&) = delete;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/page").arg(port_); }
    bool listening() const { return port_ != 0; }
    bool reset() const { return reset_; }

private:
    // Polls in short steps, so that the destructor is never kept waiting long.
    bool readable(int fd, std::chrono::milliseconds within) {
        for (auto until = Clock::now() + within; !done_ && Clock::now() < until;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }

    void serve() {
        if (!readable(listener_, 5s))
            return;
        const int s = ::accept(listener_, nullptr, nullptr);
        if (s < 0)
            return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && readable(s, 2s)) {
            const auto got = ::recv(s, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        const bool sent = ::send(s, head_.data(), head_.size(), MSG_NOSIGNAL) ==
                          static_cast<ssize_t>(head_.size());
        // Time for the client to take the bytes in before the reset.
        readable(s, 300ms);
        const linger abort{1, 0};
        reset_ = sent && ::setsockopt(s, SOL_SOCKET, SO_LINGER, &abort, sizeof abort) == 0;
        ::close(s);
    }

    std::string head_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<bool> reset_{false};
    std::thread thread_;
};

TEST(BadServer, ResetMidBodyGivesWhatArrived) {
    const NoProxy noProxy;
    const std::string part(100, 'r');
    ResettingServer server(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\n" + part);
    ASSERT_TRUE(server.listening());
    const auto started = Clock::now();
    const QString text = CurlFetcher(quickLimits()).fetch(server.url()).text;
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_TRUE(server.reset());
    EXPECT_EQ(text, latin(part));
}

TEST(BadServer, ResetBeforeAnyAnswerGivesNothing) {
    const NoProxy noProxy;
    ResettingServer server("");
    ASSERT_TRUE(server.listening());
    EXPECT_EQ(CurlFetcher(quickLimits()).fetch(server.url()).text, QString());
    EXPECT_TRUE(server.reset());
}

struct ServerCase {
    const char* name;
    Reply reply;
    QString text;
};

void PrintTo(const ServerCase& c, std::ostream* os) {
    *os << c.name;
}

class BadServers : public ::testing::TestWithParam<ServerCase> {};

TEST_P(BadServers, TheFetchReturnsWhatArrived) {
    const NoProxy noProxy;
    const ServerCase& c = GetParam();
    HttpTestServer server([&](const HttpRequest&) { return c.reply; });
    ASSERT_TRUE(server.listening());
    const auto started = Clock::now();
    const QString text = CurlFetcher(quickLimits()).fetch(server.url("/page")).text;
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_EQ(text, c.text);
}

std::string head(int status, const std::string& lines = {}) {
    return test::replyHead(status, "Content-Type: text/html\r\n" + lines);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, BadServers,
    ::testing::Values(
        // Accepts, reads the request, and hangs up without a word.
        ServerCase{"closes_without_answer", Reply{}, QString()},
        ServerCase{"answers_not_http", Reply{{"SSH-2.0-OpenSSH\r\n\r\n"}}, QString()},
        ServerCase{"closes_mid_head", Reply{{"HTTP/1.1 200 OK\r\nContent-Ty"}}, QString()},
        ServerCase{"closes_mid_body",
                   Reply{{head(200, "Content-Length: 1000\r\n") + std::string(100, 'b')}},
                   QString(100, u'b')},
        ServerCase{
            "closes_mid_chunk",
            Reply{{head(200, "Transfer-Encoding: chunked\r\n") + "64\r\n" + std::string(40, 'c')}},
            QString(40, u'c')},
        ServerCase{"bad_chunk_size",
                   Reply{{head(200, "Transfer-Encoding: chunked\r\n") + "5\r\nabcde\r\nzz\r\n"}},
                   QStringLiteral("abcde")},
        ServerCase{"stalls_mid_head", Reply{{"HTTP/1.1 200 OK\r\n", 5s}}, QString()},
        ServerCase{"error_500_without_body", test::httpReply(500, ""), QString()},
        ServerCase{"error_503_stalls_mid_body",
                   Reply{{head(503, "Content-Length: 50\r\n") + "busy", 5s}},
                   QStringLiteral("busy")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadServer, RedirectToAnotherSchemeIsNotFollowed) {
    const NoProxy noProxy;
    // A file this test owns, so a followed redirect would show.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString local = folder.filePath(QStringLiteral("target.txt"));
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("secret-local-bytes"), 18);
    }
    for (const std::string& target :
         {"file://" + local.toStdString(), std::string("ftp://127.0.0.1:1/x"),
          std::string("gopher://127.0.0.1:1/x")}) {
        HttpTestServer server([&](const HttpRequest&) { return test::redirectReply(302, target); });
        const QString text = CurlFetcher(quickLimits()).fetch(server.url("/start")).text;
        EXPECT_FALSE(text.contains(u"secret")) << target;
        EXPECT_EQ(server.requestCount(), 1u) << target;
    }
}

// A body of `size` bytes that shows where a byte went missing.
std::string patternBody(std::size_t size) {
    std::string body(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>('a' + i % 23);
    return body;
}

TEST(BadPage, FortyMebibytesComeBackAsTheFirstThirtyTwo) {
    const NoProxy noProxy;
    constexpr std::size_t cap = 32u << 20;
    ASSERT_EQ(FetchLimits{}.maxBytes, cap);
    const std::string body = patternBody(40u << 20);
    HttpTestServer server([&](const HttpRequest&) { return test::httpReply(200, body, ""); });
    const QString text = CurlFetcher().fetch(server.url("/big")).text;
    ASSERT_EQ(text.size(), static_cast<qsizetype>(cap));
    EXPECT_TRUE(text == latin(body.substr(0, cap)));
}

// GBK characters of two bytes after one ASCII byte: the cap falls inside one.
TEST(BadPage, TheCapInsideACharacterEndsInAReplacement) {
    const NoProxy noProxy;
    constexpr std::size_t cap = 32u << 20;
    std::string body = "a";
    body.reserve(40u << 20);
    while (body.size() < (40u << 20))
        body += "\xC4\xE3"; // 你
    HttpTestServer server([&](const HttpRequest&) {
        return test::chunkedReply(body, {1 << 20, 3 << 20, 7});
    });
    const QString text = CurlFetcher().fetch(server.url("/big")).text;
    ASSERT_EQ(text.size(), static_cast<qsizetype>(1 + (cap - 2) / 2 + 1));
    EXPECT_EQ(text.front(), u'a');
    EXPECT_EQ(text.mid(1, 3), u8("你你你"));
    EXPECT_EQ(text.mid(text.size() - 2), u8("你") + fffd);
    EXPECT_EQ(text.count(QChar(u'你')), static_cast<qsizetype>((cap - 2) / 2));
}

// A search page whose bytes go wrong in places still gives its words and count.
struct PageCase {
    const char* name;
    std::string body;
    std::string headers;
    std::vector<QString> related;
    QString count;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.name;
}

// 你是不是想找 and 该条件下 共 ... 件宝贝 in GBK, around `word` and `count`.
std::string gbkSearchPage(const std::string& word, const std::string& count) {
    return "<html><body>\xC4\xE3\xCA\xC7\xB2\xBB\xCA\xC7\xCF\xEB\xD5\xD2"
           "<a href=\"/s?rsclick=1\">" +
           word +
           "</a><a href=\"/s?rsclick=2\">qq</a></div>"
           "<p>\xB8\xC3\xCC\xF5\xBC\xFE\xCF\xC2 \xB9\xB2 <span>" +
           count + "</span>\xBC\xFE\xB1\xA6\xB1\xB4</p></body></html>";
}

class BadPages : public ::testing::TestWithParam<PageCase> {};

TEST_P(BadPages, KeepTheTextAroundTheBadBytes) {
    const NoProxy noProxy;
    const PageCase& c = GetParam();
    HttpTestServer server(
        [&](const HttpRequest&) { return test::httpReply(200, c.body, c.headers); });
    const SearchPage page = readSearchPage(CurlFetcher(quickLimits()).fetch(server.url("/s")).text);
    EXPECT_EQ(page.related, c.related);
    EXPECT_EQ(page.count, c.count);
}

const std::string gbkType = "Content-Type: text/html; charset=gbk\r\n";

INSTANTIATE_TEST_SUITE_P(
    Pages, BadPages,
    ::testing::Values(PageCase{"valid",
                               gbkSearchPage("\xC4\xE3\xBA\xC3", "12"),
                               gbkType,
                               {u8("你好"), u8("qq")},
                               u8("12")},
                      // A lead byte before the "<" that ends the word must not take the "<".
                      PageCase{"lead_byte_before_tag",
                               gbkSearchPage("ab\xC4", "12"),
                               gbkType,
                               {u8("ab") + fffd, u8("qq")},
                               u8("12")},
                      PageCase{"lead_byte_before_digit",
                               gbkSearchPage("ab", "\x81"
                                                   "12"),
                               gbkType,
                               {u8("ab"), u8("qq")},
                               fffd + u8("12")},
                      PageCase{"bytes_no_gbk_has",
                               gbkSearchPage("\xFF\xFF\x80", "1"),
                               gbkType,
                               {fffd + fffd + fffd, u8("qq")},
                               u8("1")},
                      // The four-byte form broken off by "<": the digit in it is a
                      // character again, as browsers read it.
                      PageCase{"four_byte_cut_short",
                               gbkSearchPage("x\x81\x30\x81", "1"),
                               gbkType,
                               {u8("x") + fffd + u8("0") + fffd, u8("qq")},
                               u8("1")},
                      PageCase{"nul_bytes",
                               gbkSearchPage(std::string("a\0b", 3), std::string("1\0", 2)),
                               gbkType,
                               {u8("a") + QChar(u'\0') + u8("b"), u8("qq")},
                               u8("1") + QChar(u'\0')},
                      // Names no decoder knows read as GBK, the marketplace's own.
                      PageCase{"unknown_charset_in_header",
                               gbkSearchPage("\xC4\xE3", "7"),
                               "Content-Type: text/html; charset=x-no-such-set\r\n",
                               {u8("你"), u8("qq")},
                               u8("7")},
                      PageCase{"overlong_charset_in_header",
                               gbkSearchPage("\xC4\xE3", "7"),
                               "Content-Type: text/html; charset=" + std::string(500, 'x') + "\r\n",
                               {u8("你"), u8("qq")},
                               u8("7")},
                      PageCase{"unknown_charset_in_meta",
                               "<meta charset=\"klingon-8\">" + gbkSearchPage("\xC4\xE3", "7"),
                               "",
                               {u8("你"), u8("qq")},
                               u8("7")}),
    [](const auto& info) { return std::string(info.param.name); });

// Random bytes, with and without a declared charset: whatever the decoding,
// the extraction's limits hold.
TEST(BadPage, BinaryGarbageGivesTextAndNoWordsWithTags) {
    const NoProxy noProxy;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string heading = "\xC4\xE3\xCA\xC7\xB2\xBB\xCA\xC7\xCF\xEB\xD5\xD2";
    for (const std::string& headers :
         {std::string(), gbkType, std::string("Content-Type: text/html; charset=utf-8\r\n"),
          std::string("Content-Type: application/octet-stream\r\n")}) {
        std::string body(1u << 20, '\0');
        for (char& c : body)
            c = static_cast<char>(byte(rng));
        // Headings and links among the garbage, so the extraction has work.
        for (std::size_t at = 0; at + 64 < body.size(); at += 4096)
            body.replace(at, 40, heading + "<a href=?rsclick=1>" + std::string(9, '\xFF'));
        HttpTestServer server(
            [&](const HttpRequest&) { return test::httpReply(200, body, headers); });
        const QString text = CurlFetcher(quickLimits()).fetch(server.url("/bin")).text;
        EXPECT_FALSE(text.isEmpty()) << headers;
        EXPECT_LE(text.size(), static_cast<qsizetype>(body.size())) << headers;
        const SearchPage page = readSearchPage(text);
        EXPECT_LE(page.related.size(), std::size_t(maxRelatedWords)) << headers;
        for (const QString& word : page.related)
            EXPECT_FALSE(word.contains(u'<')) << headers;
    }
}

} // namespace
} // namespace quilla
