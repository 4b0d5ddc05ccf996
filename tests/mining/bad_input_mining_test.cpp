// Keywords and box texts a user or a page may hand the mining run: each
// keyword reaches the marketplace whole, and each quantity text stops the run
// where the number rules put it.

#include "mining/mining_run.h"
#include "mining/search_page.h"
#include "net/page_fetch.h"

#include "support/fake_fetcher.h"
#include "support/fakes.h"
#include "support/http_test_server.h"
#include "support/proxy_env.h"
#include "support/qstring_print.h"

#include <QByteArray>
#include <QSet>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace quilla {
namespace {

using test::listOf;
using test::u8;

using test::FakeFetcher;
using test::FakeMessageBox;
using test::FakeTextBox;
using test::FakeTimer;

const QString addressPrefix = searchAddress({});

struct KeywordCase {
    const char* name;
    QString keyword;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << c.name;
}

const KeywordCase keywordCases[] = {
    {"ampersand", u8("&")},
    {"number_sign", u8("#")},
    {"percent", u8("%")},
    {"plus", u8("+")},
    {"question_mark", u8("?")},
    {"slash", u8("/")},
    {"all_of_them", u8("a&b#c%d+e?f/g")},
    {"looks_encoded", u8("%41%2F%")},
    {"one_space", u8(" ")},
    {"spaces_around", u8("  qq  ")},
    {"tab_and_line_break", u8("a\tb\r\nc")},
    {"double_quotes", u8("\"qq\"")},
    {"single_quote", u8("it's")},
    {"backslash_and_equals", u8("a\\b=c;d")},
    {"chinese", u8("连衣裙女夏")},
    {"ideographic_space", u8("连衣\u3000裙")},
    {"euro", u8("€9.9")},
    {"emoji", u8("😀")},
    {"emoji_with_modifier", u8("👍🏽")},
    {"emoji_joined", u8("👨‍👩‍👧")},
    {"ten_thousand_characters", u8("a&中😀 ").repeated(2000)},
    {"ten_thousand_chinese", QString(10000, QChar(u'裙'))},
};

class BadKeywords : public ::testing::TestWithParam<KeywordCase> {};

int hexValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The keyword's bytes back from the query, or nullopt when the query holds
// anything but unreserved characters and %XX with upper-case hex digits.
std::optional<QByteArray> queryBytes(QStringView query) {
    QByteArray bytes;
    for (qsizetype i = 0; i < query.size(); ++i) {
        const QChar c = query[i];
        if (c == u'%') {
            if (i + 2 >= query.size())
                return std::nullopt;
            const int high = hexValue(query[i + 1]);
            const int low = hexValue(query[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.append(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c.isLetterOrNumber() && c.unicode() < 0x80) {
            bytes.append(static_cast<char>(c.unicode()));
        } else if (c == u'-' || c == u'.' || c == u'_' || c == u'~') {
            bytes.append(static_cast<char>(c.unicode()));
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

TEST_P(BadKeywords, SearchAddressCarriesTheKeywordWhole) {
    const QString& keyword = GetParam().keyword;
    const QString address = searchAddress(keyword);
    ASSERT_TRUE(address.startsWith(addressPrefix));
    const auto bytes = queryBytes(QStringView(address).sliced(addressPrefix.size()));
    ASSERT_TRUE(bytes.has_value()) << "unescaped text in " << address.left(200).toStdString();
    QStringDecoder gb18030("GB18030");
    EXPECT_EQ(gb18030.decode(*bytes), keyword);
    EXPECT_FALSE(gb18030.hasError());
}

// Through the wire as well: libcurl must send the address as it is, with
// nothing cut at "#" or "?" and nothing escaped twice.
TEST_P(BadKeywords, ReachesTheServerAsTheAddressSays) {
    test::HttpTestServer proxy([](const test::HttpRequest&) { return test::httpReply(200, "ok"); });
    ASSERT_TRUE(proxy.listening());
    const test::ProxyEnvironment viaProxy(proxy.port());
    const QString address = searchAddress(GetParam().keyword);
    const QString text = CurlFetcher().fetch(address).text;
    EXPECT_EQ(text, QStringLiteral("ok"));
    ASSERT_EQ(proxy.requestCount(), 1u);
    EXPECT_EQ(QString::fromStdString(proxy.requests()[0].target), address);
}

// The mining run keeps such keywords whole in both lists and fetches each
// one's own address; spaces are gone from words a page suggests, as the
// page reading removes them.
TEST_P(BadKeywords, AreMinedAndListedWhole) {
    const QString& seed = GetParam().keyword;
    QString suggested = seed;
    suggested.remove(u' ');
    suggested += u'1';

    FakeFetcher fetcher;
    fetcher.pages.insert(searchAddress(seed), u8("你是不是想找<a href=\"/s?rsclick=1\">") +
                                                  suggested + u8("</a> 该条件下 共 <b>5</b> 件"));
    RowList candidates, results;
    FakeTimer timer;
    FakeMessageBox messages;
    FakeTextBox keyword{seed}, include, exclude, quantity{QStringLiteral("100")};
    StepGate gate;
    MiningRun run{
        candidates, results, timer, fetcher, gate, messages, {keyword, include, exclude, quantity}};
    ASSERT_TRUE(run.start());
    for (int tick = 0; tick < 10 && timer.interval() > 0; ++tick)
        run.step();

    EXPECT_EQ(timer.interval(), 0);
    EXPECT_TRUE(messages.shown.isEmpty());
    ASSERT_EQ(fetcher.asked.size(), 2);
    EXPECT_EQ(fetcher.asked[0], searchAddress(seed));
    EXPECT_EQ(fetcher.asked[1], searchAddress(suggested));
    ASSERT_EQ(candidates.count(), 3);
    EXPECT_EQ(candidates.row(1), (Row{{seed, u8("5")}}));
    EXPECT_EQ(candidates.row(2), (Row{{suggested, u8("未找到")}}));
    ASSERT_EQ(results.count(), 3);
    EXPECT_EQ(results.row(1).keyword(), seed);
    EXPECT_EQ(results.row(2).keyword(), suggested);
}

INSTANTIATE_TEST_SUITE_P(Keywords, BadKeywords, ::testing::ValuesIn(keywordCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Distinct keywords never share an address, or one would get the other's page.
TEST(BadKeywordAddresses, AreDistinctForDistinctKeywords) {
    QSet<QString> addresses;
    for (const KeywordCase& c : keywordCases)
        addresses.insert(searchAddress(c.keyword));
    EXPECT_EQ(addresses.size(), static_cast<qsizetype>(std::size(keywordCases)));
}

// The quantity box by the number rules: surrounding blanks, a sign, digits
// and a fraction rounded half to even; nothing else, and only 32-bit values.
// A text that is no number stops the run after its first step.
struct QuantityCase {
    const char* name;
    const char* text;
    int steps; // mining steps until the run stops itself
};

void PrintTo(const QuantityCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

const QuantityCase quantityCases[] = {
    {"letters", "ten", 1},
    {"chinese_numeral", "三", 1},
    {"digits_then_letters", "3k", 1},
    {"full_width_digits", "３", 1},
    {"huge", "99999999999999999999", 1},
    {"above_32_bits_after_rounding", "2147483647.5", 1},
    {"hugely_negative", "-2147483649", 1},
    {"negative", "-5", 1},
    {"negative_half", "-2.5", 1},
    {"minus_zero", "-0", 1},
    {"only_a_space", " ", 1},
    {"spaces_around", "  3  ", 3},
    {"tabs_around", "\t3\t", 3},
    {"space_inside", "1 0", 1},
    {"plus_sign", "+3", 3},
    {"exponent", "1e3", 1},
    {"hex", "0x3", 1},
    {"grouping_comma", "1,0", 1},
    {"half_down_to_even", "2.5", 2},
    {"half_up_to_even", "3.5", 4},
    {"half_to_zero", "0.5", 1},
    {"above_half", "2.51", 3},
    {"below_half", "3.49", 3},
    {"trailing_point", "3.", 3},
};

class BadQuantity : public ::testing::TestWithParam<QuantityCase> {};

TEST_P(BadQuantity, StopsTheRunWhereTheRulesSay) {
    FakeFetcher fetcher;
    // More keywords than any case takes, so only the quantity stops the run.
    QString page = u8("你是不是想找");
    for (int i = 1; i <= 8; ++i)
        page += u8("<a href=\"/s?rsclick=%1\">k%1</a>").arg(i);
    fetcher.pages.insert(searchAddress(u8("qq")), page);
    RowList candidates, results;
    FakeTimer timer;
    FakeMessageBox messages;
    FakeTextBox keyword{u8("qq")}, include, exclude, quantity{u8(GetParam().text)};
    StepGate gate;
    MiningRun run{
        candidates, results, timer, fetcher, gate, messages, {keyword, include, exclude, quantity}};
    ASSERT_TRUE(run.start());
    int steps = 0;
    while (timer.interval() > 0 && steps < 20) {
        run.step();
        ++steps;
    }
    EXPECT_EQ(steps, GetParam().steps);
    EXPECT_EQ(results.count(), GetParam().steps + 1);
    EXPECT_TRUE(messages.shown.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Quantities, BadQuantity, ::testing::ValuesIn(quantityCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quilla
