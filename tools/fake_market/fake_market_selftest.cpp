// The fake marketplace must serve what the program's extraction reads: these
// checks read its pages with the same marker rules, through it as a proxy and
// directly, so a page that drifts from the contract fails here first.

#include "fake_market/market_data.h"
#include "fake_market/server.h"
#include "fake_market/url_text.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include <sys/types.h>

using namespace Qt::StringLiterals;
using quilla::fake_market::FakeMarketServer;

namespace fm = quilla::fake_market;

namespace {

std::unique_ptr<FakeMarketServer> market;

class FakeMarketEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        market = std::make_unique<FakeMarketServer>();
        ASSERT_TRUE(market->start());
    }
    void TearDown() override { market.reset(); }
};

httplib::Result get(int port, bool viaProxy, const std::string& host, const std::string& target,
                    const httplib::Headers& headers = {}) {
    std::unique_ptr<httplib::Client> client;
    httplib::Headers sent = headers;
    if (viaProxy) {
        client = std::make_unique<httplib::Client>(host);
        client->set_proxy("127.0.0.1", port);
    } else {
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        sent.emplace("Host", host);
    }
    client->set_url_encode(false); // targets are sent exactly as written
    client->set_connection_timeout(5);
    client->set_read_timeout(5);
    return client->Get(target.c_str(), sent);
}

std::string searchTarget(const QString& keyword) {
    return "/search?tab=all&stats_click=search_radio_all%3A1&cat=0&cd=false&v=auction&q=" +
           fm::gb18030PercentEncoded(keyword).toStdString();
}

QString gb18030Body(const httplib::Result& r) {
    return fm::fromGb18030(QByteArray::fromStdString(r->body));
}

// Every link text after the did-you-mean heading, read as the program reads
// them (spaces removed, ">" after "rsclick=" up to the next "<"), uncapped.
QStringList relatedLinks(QString page) {
    page.remove(u' ');
    QStringList words;
    qsizetype at = page.indexOf(u"你是不是想找"_s);
    while (at >= 0) {
        at = page.indexOf(u"rsclick="_s, at);
        const qsizetype open = at < 0 ? -1 : page.indexOf(u'>', at);
        const qsizetype close = open < 0 ? -1 : page.indexOf(u'<', open);
        if (close < 0)
            break;
        words.append(page.mid(open + 1, close - open - 1));
        at = close;
    }
    return words;
}

// The count as the program reads it: "该条件下", "共", ">" ... "</".
QString countText(QString page) {
    page.remove(u' ');
    const qsizetype lead = page.indexOf(u"该条件下"_s);
    const qsizetype total = lead < 0 ? -1 : page.indexOf(u'共', lead);
    const qsizetype open = total < 0 ? -1 : page.indexOf(u'>', total);
    const qsizetype end = open < 0 ? -1 : page.indexOf(u"</"_s, open);
    return end < 0 ? u"未找到"_s : page.mid(open + 1, end - open - 1);
}

TEST(SearchPage, SeedThroughProxyHasRelatedLinksAndCount) {
    const auto r = get(market->port(), true, "s.taobao.com", searchTarget(u"qq"_s));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "text/html; charset=gbk");
    EXPECT_NE(r->body.find(fm::toGb18030(u"你是不是想找"_s).toStdString()), std::string::npos)
        << "the page is not GB18030-encoded";
    EXPECT_GT(r->body.size(), 20000u);
    const QString page = gb18030Body(r);
    EXPECT_EQ(relatedLinks(page), fm::fakeRelated(u"qq"_s));
    EXPECT_EQ(countText(page), u"3,215,408"_s);
}

struct SearchCase {
    const char* name;
    QString keyword;
    bool viaProxy;
};

TEST(SearchPage, AnswersEachKeywordAsTheGraphSays) {
    const SearchCase cases[] = {
        {"graph keyword, proxy", u"qq币"_s, true},
        {"graph leaf, direct", u"qq会员年费"_s, false},
        {"unknown Chinese keyword", u"不存在的词"_s, true},
        {"unknown keyword with markup", u"a&b<c>\"d"_s, false},
        {"empty keyword", QString(), true},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = get(market->port(), c.viaProxy, "s.taobao.com", searchTarget(c.keyword));
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200);
        const QString page = gb18030Body(r);
        EXPECT_EQ(relatedLinks(page), fm::fakeRelated(c.keyword));
        EXPECT_EQ(page.contains(u"你是不是想找"_s), !fm::fakeRelated(c.keyword).isEmpty());
        const QString count = fm::fakeCount(c.keyword);
        EXPECT_EQ(countText(page), count.isEmpty() ? u"未找到"_s : count);
        EXPECT_EQ(count.isEmpty(), c.keyword.isEmpty());
        if (c.keyword.contains(u'<')) {
            EXPECT_FALSE(page.contains(c.keyword)) << "keyword pasted into the markup unescaped";
        }
    }
}

TEST(SearchPage, DecodesHandEncodedGb18030Keyword) {
    // 币 is B1 D2 in GB18030; a UTF-8 reading would not find the graph entry.
    const auto r = get(market->port(), true, "s.taobao.com", "/search?q=qq%B1%D2");
    ASSERT_TRUE(r);
    EXPECT_EQ(relatedLinks(gb18030Body(r)), fm::fakeRelated(u"qq币"_s));
    EXPECT_EQ(countText(gb18030Body(r)), u"186,442"_s);
}

TEST(KeywordGraph, IsClosedReachableAndReadableByTheProgram) {
    const auto& graph = fm::keywordGraph();
    ASSERT_FALSE(graph.empty());
    EXPECT_EQ(graph.front().keyword, u"qq"_s);
    EXPECT_GE(graph.size(), 25u);
    QSet<QString> known;
    for (const auto& k : graph) {
        EXPECT_FALSE(known.contains(k.keyword)) << "twice: " << k.keyword.toStdString();
        known.insert(k.keyword);
    }
    const QRegularExpression unreadable(u"[ <>&\"]"_s);
    for (const auto& k : graph) {
        EXPECT_LE(k.related.size(), 14) << k.keyword.toStdString();
        for (const QString& word : k.related) {
            EXPECT_TRUE(known.contains(word)) << "no entry for " << word.toStdString();
            EXPECT_FALSE(word.contains(unreadable)) << word.toStdString();
        }
    }
    QSet<QString> reached{u"qq"_s};
    QStringList queue{u"qq"_s};
    while (!queue.isEmpty()) {
        for (const QString& word : fm::fakeRelated(queue.takeFirst())) {
            if (!reached.contains(word)) {
                reached.insert(word);
                queue.append(word);
            }
        }
    }
    EXPECT_EQ(reached, known);
}

TEST(TrendPage, HasTheElementsAndNoMarkersBeforeRendering) {
    const auto r =
        get(market->port(), true, "shu.taobao.com", "/trendindex?type=query%2Ctrade&query=qq");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "text/html; charset=utf-8");
    const QString page = QString::fromUtf8(r->body);
    EXPECT_TRUE(
        page.contains(u"<input type=\"text\" name=\"query\" id=\"query-input\" value=\"qq\""_s));
    EXPECT_TRUE(page.contains(u"name=\"query-btn\""_s));
    EXPECT_TRUE(page.contains(u"target=\"_blank\">去阿里指数查看</a>"_s));
    EXPECT_TRUE(page.contains(u"/trendindex/data?query="_s));
    // The program searches the whole document, scripts included, so these
    // must appear only once the script has rendered a keyword's figures.
    for (const QString& marker : {u"App.set"_s, u"cityEndDate"_s, u"最近七天的"_s,
                                  u"最近三十天的"_s, u"与去年同期相比"_s, u"趋势预测"_s})
        EXPECT_FALSE(page.contains(marker)) << marker.toStdString();
    EXPECT_EQ(page.count(u"去阿里指数查看"_s), 1);
    const QRegularExpression outside(u"(?:src|href)=\"(?:https?:)?//(?!shu\\.taobao\\.com/)"_s);
    EXPECT_FALSE(page.contains(outside)) << "the page needs another host";
}

TEST(TrendPage, EscapesTheQueryInItsBox) {
    const auto r = get(market->port(), false, "shu.taobao.com", "/trendindex?query=%22%3E%3Cb%3Ex");
    ASSERT_TRUE(r);
    const QString page = QString::fromUtf8(r->body);
    EXPECT_TRUE(page.contains(u"value=\"&quot;&gt;&lt;b&gt;x\""_s));
    EXPECT_FALSE(page.contains(u"\"><b>x"_s));
}

TEST(TrendData, ReturnsTheKeywordsFiguresAsValidJson) {
    const QString tricky = u"he said \"hi\" \\ back\\slash\nline 二"_s;
    const std::pair<QString, std::string> cases[] = {
        {u"qq币"_s, "qq%E5%B8%81"},
        {tricky, QUrl::toPercentEncoding(tricky).toStdString()},
        {QString(), ""},
    };
    for (const auto& [keyword, encoded] : cases) {
        SCOPED_TRACE(keyword.toStdString());
        const auto r =
            get(market->port(), true, "shu.taobao.com", "/trendindex/data?query=" + encoded);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->get_header_value("Content-Type"), "application/json; charset=utf-8");
        QJsonParseError error;
        const QJsonObject data =
            QJsonDocument::fromJson(QByteArray::fromStdString(r->body), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r->body;
        EXPECT_EQ(data[u"query"_s].toString(), keyword);
        const fm::FakeTrend trend = fm::fakeTrend(keyword);
        const QJsonArray search = data[u"searchIndex"_s].toArray();
        ASSERT_EQ(search.size(), static_cast<qsizetype>(trend.searchIndex.size()));
        EXPECT_EQ(search.last().toInt(), trend.searchIndex.back());
        EXPECT_EQ(data[u"tradeIndex"_s].toArray().last().toInt(), trend.tradeIndex.back());
        EXPECT_EQ(data[u"sevenDayYoy"_s].toInt(), trend.sevenDayYoy);
        EXPECT_EQ(data[u"forecast"_s].toString(), trend.forecast);
        const auto fields = fm::expectedFields(keyword);
        const QRegularExpression percent(u"^[+-][1-9][0-9]?%$"_s);
        for (int i = 4; i < 8; ++i)
            EXPECT_TRUE(percent.match(fields[static_cast<std::size_t>(i)]).hasMatch());
        EXPECT_TRUE(QStringList({u"上升"_s, u"下降"_s, u"平稳"_s}).contains(fields[8]));
    }
}

TEST(Routing, AnswersNotFoundForAnythingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"www.example.com", "/search?q=qq"},     {"s.taobao.com", "/nope"},
        {"s.taobao.com", "/trendindex"},         {"shu.taobao.com", "/search?q=qq"},
        {"shu.taobao.com", "/trendindex/other"},
    };
    for (const auto& [host, target] : cases) {
        for (const bool viaProxy : {true, false}) {
            SCOPED_TRACE(host + target + (viaProxy ? " via proxy" : " direct"));
            const auto r = get(market->port(), viaProxy, host, target);
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 404);
            EXPECT_FALSE(r->body.empty());
        }
    }
    httplib::Client client("127.0.0.1", market->port());
    const auto post = client.Post("/search?q=qq", "", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 404);
}

TEST(Server, LogsMethodTargetAndUserAgent) {
    FakeMarketServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(get(server.port(), true, "s.taobao.com", "/search?q=qq",
                    {{"User-Agent", "Microsoft Internet Explorer 6.0"}}));
    const auto log = server.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, "http://s.taobao.com:80/search?q=qq");
    EXPECT_EQ(log[0].userAgent, "Microsoft Internet Explorer 6.0");
    server.clearRequests();
    EXPECT_TRUE(server.requests().empty());
}

TEST(Server, DelaysSearchAnswers) {
    FakeMarketServer server({std::chrono::milliseconds(300), false, {}, {}, false});
    ASSERT_TRUE(server.start());
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(get(server.port(), true, "s.taobao.com", "/search?q=qq"));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(300));
}

// A token bucket per client: the burst passes at once, then the rate; a
// later rate takes over at its second; other clients have buckets of their own.
TEST(RateLimit, PassesTheBurstThenTheRate) {
    double now = 50;
    fm::RateLimiter limiter({3, 10, 0, fm::LimitMode::TooMany, {{100, 1}}}, [&] { return now; });
    const auto passing = [&](int tries, const std::string& client = "a") {
        int passed = 0;
        for (int i = 0; i < tries; ++i)
            passed += limiter.take(client) ? 1 : 0;
        return passed;
    };
    const struct {
        double at;
        int tries, passed;
        const char* client;
    } steps[] = {
        {50, 15, 10, "a"},                     // the burst
        {50, 3, 3, "b"},                       // a client of its own
        {51, 5, 3, "a"},                       // a second's worth
        {51.5, 5, 1, "a"},  {80, 20, 10, "a"}, // never more than the burst
        {150, 20, 10, "a"},                    // full again
        {160, 20, 10, "a"},                    // 1/s from second 100 on
        {163, 5, 3, "a"},
    };
    int tries = 0, passed = 0;
    for (const auto& s : steps) {
        now = s.at;
        EXPECT_EQ(passing(s.tries, s.client), s.passed) << s.at;
        tries += s.tries;
        passed += s.passed;
    }
    EXPECT_EQ(limiter.passed(), passed);
    EXPECT_EQ(limiter.refused(), tries - passed);
    EXPECT_DOUBLE_EQ(limiter.refill(90, 110), 3 * 10 + 1 * 10);
}

// Over the limit the server answers as told: 429 or 503, with Retry-After
// when asked, or the verification page; the trend page is not limited.
TEST(RateLimit, TheServerAnswersSearchesOverTheLimitAsTold) {
    const struct {
        fm::LimitMode mode;
        int retryAfter;
        int status;
        std::string header; // Retry-After, or Location
    } cases[] = {
        {fm::LimitMode::TooMany, 0, 429, ""},
        {fm::LimitMode::TooMany, 2, 429, "2"},
        {fm::LimitMode::Unavailable, 1, 503, "1"},
        {fm::LimitMode::Verify, 0, 302,
         "http://s.taobao.com/search/_____tmd_____/punish?x5secdata=fake"},
    };
    for (const auto& c : cases) {
        fm::ServerOptions options;
        options.limit = {0.001, 2, c.retryAfter, c.mode, {}};
        FakeMarketServer server(options);
        ASSERT_TRUE(server.start());
        for (int i = 0; i < 2; ++i) {
            const auto r = get(server.port(), true, "s.taobao.com", "/search?q=qq");
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 200);
        }
        const auto r = get(server.port(), true, "s.taobao.com", "/search?q=qq");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.status);
        EXPECT_EQ(r->get_header_value(c.status == 302 ? "Location" : "Retry-After"), c.header);
        const auto trend = get(server.port(), true, "shu.taobao.com", "/more");
        ASSERT_TRUE(trend);
        EXPECT_EQ(trend->status, 200);
        EXPECT_EQ(server.searchesPassed(), 2);
        EXPECT_EQ(server.searchesRefused(), 1);
    }
}

TEST(Executable, PrintsItsPortServesAndStopsOnSigterm) {
    QProcess process;
    process.start(QString::fromUtf8(FAKE_MARKET_EXECUTABLE), {u"--port"_s, u"0"_s});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(10000));
    const QString line = QString::fromUtf8(process.readLine());
    const auto match = QRegularExpression(u"^listening 127\\.0\\.0\\.1:([0-9]+)\\n$"_s).match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    const auto r = get(match.captured(1).toInt(), true, "shu.taobao.com", "/more");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

// What the program would read on each day: the count of the search page and
// the trend data, as the executable serves them.
struct DayServed {
    QString count;
    QJsonObject trend;
};

DayServed served(int port, const QString& keyword) {
    DayServed day;
    const auto page = get(port, true, "s.taobao.com", searchTarget(keyword));
    const auto data =
        get(port, true, "shu.taobao.com",
            "/trendindex/data?query=" + QUrl::toPercentEncoding(keyword).toStdString());
    if (page && data) {
        day.count = countText(gb18030Body(page));
        day.trend = QJsonDocument::fromJson(QByteArray::fromStdString(data->body)).object();
    }
    return day;
}

// "--day N" starts on a later day; SIGUSR1 and the control address each move
// it on by one. A day moves the counts and the figures, and the search series
// by one day: yesterday's values are the day before's.
TEST(Executable, MovesOnADayByFlagSignalAndAddress) {
    QProcess process;
    process.start(QString::fromUtf8(FAKE_MARKET_EXECUTABLE),
                  {u"--port"_s, u"0"_s, u"--day"_s, u"2"_s});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(10000));
    const auto match = QRegularExpression(u"listening 127\\.0\\.0\\.1:([0-9]+)"_s)
                           .match(QString::fromUtf8(process.readLine()));
    ASSERT_TRUE(match.hasMatch());
    const int port = match.captured(1).toInt();
    const QString keyword = u"qq币"_s;
    std::vector<DayServed> days{served(port, keyword)}; // day 2
    ::kill(static_cast<pid_t>(process.processId()), SIGUSR1);
    // The signal is taken within the executable's 50 ms loop.
    for (int i = 0; i < 100 && served(port, keyword).count == days.back().count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    days.push_back(served(port, keyword)); // day 3
    const auto next = get(port, false, "127.0.0.1", "/_fake/next-day");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body, "day 4\n");
    days.push_back(served(port, keyword)); // day 4
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(5000));

    for (int i = 0; i < 3; ++i) {
        const int day = 2 + i;
        SCOPED_TRACE(day);
        const fm::FakeTrend trend = fm::fakeTrend(keyword, day);
        EXPECT_EQ(days[i].count, fm::fakeCount(keyword, day));
        EXPECT_NE(days[i].count, fm::fakeCount(keyword));
        EXPECT_EQ(days[i].trend[u"endDate"_s].toString(),
                  QDate(2024, 5, 31).addDays(day).toString(Qt::ISODate));
        const QJsonArray search = days[i].trend[u"searchIndex"_s].toArray();
        ASSERT_EQ(search.size(), 30);
        EXPECT_EQ(search.last().toInt(), trend.searchIndex.back());
        if (i > 0) {
            const QJsonArray before = days[i - 1].trend[u"searchIndex"_s].toArray();
            for (qsizetype d = 0; d + 1 < search.size(); ++d)
                EXPECT_EQ(search[d].toInt(), before[d + 1].toInt()) << d;
            EXPECT_NE(days[i].count, days[i - 1].count);
        }
    }
    // The first day is the one every other test knows.
    EXPECT_EQ(fm::fakeCount(keyword, 0), u"186,442"_s);
    EXPECT_EQ(fm::fakeTrend(keyword, 0).endDate, u"2024-05-31"_s);
}

TEST(Executable, RefusesUnknownArguments) {
    QProcess process;
    process.start(QString::fromUtf8(FAKE_MARKET_EXECUTABLE), {u"--port"_s, u"70000"_s});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new FakeMarketEnvironment);
    return RUN_ALL_TESTS();
}
