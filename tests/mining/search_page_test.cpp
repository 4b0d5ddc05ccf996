#include "mining/search_page.h"

#include "net/page_decode.h"
#include "support/qstring_print.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

namespace quilla {
namespace {

using test::listOf;
using test::u8;

QStringList asList(const std::vector<QString>& words) {
    return {words.begin(), words.end()};
}

// The rules as written, copying the text at every cut and removing spaces
// each time they say so: slow, but plain enough to trust.
namespace oracle {

using Str = std::u32string;

Str noSpaces(Str s) {
    std::erase(s, U' ');
    return s;
}

std::int64_t findIn(const Str& s, const Str& m) {
    const auto at = s.find(m);
    return at == Str::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

void cut(Str& s, std::int64_t p) {
    const auto length = static_cast<std::int64_t>(s.size()) - p;
    if (p < 1 || length < 0)
        return;
    s = s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(length));
}

QString firstChars(const Str& s, std::int64_t n) {
    const Str part = s.substr(0, static_cast<std::size_t>(n));
    return QString::fromUcs4(part.data(), static_cast<qsizetype>(part.size()));
}

std::vector<QString> related(const QString& page) {
    std::vector<QString> words;
    Str s = noSpaces(page.toStdU32String());
    std::int64_t p = findIn(s, U"你是不是想找");
    if (p == 0)
        return words;
    cut(s, p);
    for (int i = 1; i <= 14; ++i) {
        s = noSpaces(s);
        p = findIn(s, U"rsclick=");
        if (!(p > 0))
            continue;
        cut(s, p);
        s = noSpaces(s);
        p = findIn(s, U">") + 1;
        if (!(p > 1))
            continue;
        cut(s, p);
        const std::int64_t q = findIn(s, U"<");
        if (!(q > 0))
            continue;
        words.push_back(firstChars(s, q - 1));
    }
    return words;
}

QString count(const QString& page) {
    const QString none = u8("未找到");
    Str s = noSpaces(page.toStdU32String());
    std::int64_t p = findIn(s, U"该条件下");
    if (!(p > 0))
        return none;
    cut(s, p);
    s = noSpaces(s);
    p = findIn(s, U"共");
    if (!(p > 0))
        return none;
    cut(s, p);
    s = noSpaces(s);
    p = findIn(s, U">") + 1;
    if (!(p > 1))
        return none;
    cut(s, p);
    p = findIn(s, U"</");
    if (!(p > 0))
        return none;
    return firstChars(s, p - 1);
}

} // namespace oracle

struct PageCase {
    const char* name;
    const char* page;
    std::initializer_list<const char*> words;
    const char* count;
};

const char* const workedExample =
    "<div class=\"rel\">你是不是想找：<a href=\"/s?q=1&rsclick=1\">qq 币</a>"
    "<a href=\"/s?q=2&rsclick=2\"><b>qq</b>号</a><a href=\"/s?q=3&rsclick=3\">qq会员</a></div>"
    "<p>该条件下 共 <span class=\"h\">1,234</span>件宝贝</p>";

const PageCase pageCases[] = {
    {"worked example", workedExample, {"qq币", "", "qq会员"}, "1,234"},
    {"empty page", "", {}, "未找到"},
    {"links without the heading count for nothing",
     "<a rsclick=1>a</a><a rsclick=2>b</a><p>该条件下共<b>7</b></p>",
     {},
     "7"},
    {"more than fourteen links, also past the block",
     "你是不是想找<a rsclick=1>w1</a><a rsclick=2>w2</a><a rsclick=3>w3</a><a rsclick=4>w4</a>"
     "<a rsclick=5>w5</a><a rsclick=6>w6</a><a rsclick=7>w7</a><a rsclick=8>w8</a>"
     "<a rsclick=9>w9</a><a rsclick=10>w10</a></div><ul><li><a rsclick=11>w11</a>"
     "<a rsclick=12>w12</a><a rsclick=13>w13</a><a rsclick=14>w14</a><a rsclick=15>w15</a>"
     "<a rsclick=16>w16</a></ul>",
     {"w1", "w2", "w3", "w4", "w5", "w6", "w7", "w8", "w9", "w10", "w11", "w12", "w13", "w14"},
     "未找到"},
    {"only spaces go; tab, no-break and ideographic spaces stay",
     "你是不是想找<a rsclick=1>a b\tc\u00a0d\u3000e</a>--",
     {"ab\tc\u00a0d\u3000e"},
     "未找到"},
    {"the same word twice is kept twice",
     "你是不是想找<a rsclick=1>x</a><a rsclick=2>x</a>--",
     {"x", "x"},
     "未找到"},
    {"a link with no > after it ends the words",
     "你是不是想找<a rsclick=1>a</a> rsclick=2 and no tag end",
     {"a"},
     "未找到"},
    {"a > with no < after it yields nothing",
     "你是不是想找<a rsclick=1>x rsclick=2>y",
     {},
     "未找到"},
    {"each cut drops the last character: a closing < at the very end is lost",
     "你是不是想找<a rsclick=1>ab<",
     {},
     "未找到"},
    {"a > that ends the text leaves it uncut",
     "你是不是想找rsclick=a<b>XY",
     {"rsclick=a"},
     "未找到"},
    {"the dropped last character is a whole code point",
     "你是不是想找rsclick=a<b>X😀",
     {"rsclick=a"},
     "未找到"},
    {"a surrogate pair inside a word", "你是不是想找<a rsclick=1>😀qq</a>", {"😀qq"}, "未找到"},
    {"count with spaces in it", "该条件下 共 <span>1 234</span>件", {}, "1234"},
    {"count with no 共", "该条件下 <span>12</span>件宝贝", {}, "未找到"},
    {"count with no >", "该条件下 共 12 件宝贝", {}, "未找到"},
    {"count with no </", "该条件下 共 <span>12 件宝贝", {}, "未找到"},
    {"共 before the sentence does not count", "共<b>5</b>该条件下<b>6</b>", {}, "未找到"},
    {"count: a > that ends the text leaves it uncut", "该条件下共</b>AB", {}, "共"},
    {"count text is not checked for being a number", "该条件下共<em>约2万</em>", {}, "约2万"},
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.name;
}

class PageCases : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageCases, ReadsWordsAndCount) {
    const PageCase& c = GetParam();
    const QString page = u8(c.page);
    const SearchPage read = readSearchPage(page);
    EXPECT_EQ(asList(read.related), listOf(c.words));
    EXPECT_EQ(read.count, u8(c.count));
    EXPECT_EQ(asList(relatedWords(page)), asList(read.related));
    EXPECT_EQ(countText(page), read.count);
}

INSTANTIATE_TEST_SUITE_P(SearchPage, PageCases, ::testing::ValuesIn(pageCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SearchPage, RealisticGbkPage) {
    const QByteArray sourceDir = qgetenv("QUILLA_SOURCE_DIR");
    ASSERT_FALSE(sourceDir.isEmpty()) << "QUILLA_SOURCE_DIR is not set";
    QFile file(QString::fromLocal8Bit(sourceDir) +
               QStringLiteral("/tests/data/search/related_page.gbk.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 20000);

    QStringDecoder gb18030("GB18030");
    ASSERT_TRUE(gb18030.isValid());
    const QString page = gb18030.decode(bytes);
    ASSERT_FALSE(gb18030.hasError());

    // The fetch decodes it the same way, by the page's own charset declaration.
    EXPECT_EQ(decodePage(bytes, {}), page);

    const SearchPage read = readSearchPage(page);
    // Twelve links in the block, then two of the four further down the page.
    EXPECT_EQ(asList(read.related),
              listOf({"qq币", "", "qq会员", "qq靓号", "qq充值", "qq音乐绿钻", "qq点卡",
                      "qq企鹅公仔", "qq游戏", "qq糖", "qq表情·贴纸", "qq秀", "qq音乐", "qq飞车"}));
    EXPECT_EQ(read.count, u8("12,345"));
}

// Pages stitched from markers, near-markers and filler, so that every branch
// of the rules (and the ends of the text) is hit many times.
QString randomPage(std::mt19937& rng) {
    static const QStringList pieces = {
        u8("你是不是想找"),
        u8("rsclick="),
        u8(">"),
        u8("<"),
        u8("</"),
        u8("该条件下"),
        u8("共"),
        u8(" "),
        u8("  "),
        u8("a"),
        u8("qq"),
        u8("中"),
        u8("1,234"),
        u8("\t"),
        u8("\u3000"),
        u8("😀"),
        u8("rsclick"),
        u8("<b>"),
        u8("</a>"),
        u8("你是不是"),
        u8("<a href=\"x&rsclick=1\">"),
        QString(QChar(0xD800)),
        QString(QChar(0xDC00)),
    };
    std::uniform_int_distribution<int> length(0, 60);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    std::bernoulli_distribution headingFirst(0.7);
    QString page;
    if (headingFirst(rng))
        page += u8("x你是不是想找");
    for (int n = length(rng); n > 0; --n)
        page += pieces[pick(rng)];
    return page;
}

TEST(SearchPage, AgreesWithTheRulesAsWritten) {
    std::mt19937 rng(20261208);
    int withWords = 0;
    int withCount = 0;
    for (int i = 0; i < 20000; ++i) {
        const QString page = randomPage(rng);
        const SearchPage read = readSearchPage(page);
        const auto expected = oracle::related(page);
        ASSERT_EQ(asList(read.related), asList(expected)) << "page: " << page.toStdString();
        ASSERT_EQ(read.count, oracle::count(page)) << "page: " << page.toStdString();
        withWords += expected.empty() ? 0 : 1;
        withCount += read.count == u8("未找到") ? 0 : 1;
    }
    // The generator must reach the interesting branches, not only misses.
    EXPECT_GT(withWords, 2000);
    EXPECT_GT(withCount, 500);
}

// Spaces are gone before any marker is looked for, so ones put anywhere,
// inside markers too, change nothing.
TEST(SearchPage, SpacesAnywhereChangeNothing) {
    std::mt19937 rng(8122026);
    for (int i = 0; i < 2000; ++i) {
        const QString page = randomPage(rng);
        QString spread;
        for (qsizetype at = 0; at < page.size(); ++at) {
            spread += page[at];
            if (rng() % 3 == 0 && !page[at].isHighSurrogate())
                spread += u' ';
        }
        const SearchPage clean = readSearchPage(page);
        const SearchPage spaced = readSearchPage(spread);
        ASSERT_EQ(asList(spaced.related), asList(clean.related)) << spread.toStdString();
        ASSERT_EQ(spaced.count, clean.count) << spread.toStdString();
    }
    const SearchPage marked =
        readSearchPage(u8("你 是不是想 找<a r s click=1>q q币</a> 该 条件下 共 <b>1 2</b>件"));
    EXPECT_EQ(asList(marked.related), QStringList{u8("qq币")});
    EXPECT_EQ(marked.count, u8("12"));
}

struct AddressCase {
    const char* keyword;
    const char* query;
};

const AddressCase addressCases[] = {
    {"qq", "qq"},
    {"a&b", "a%26b"},
    {"c#", "c%23"},
    {"100%", "100%25"},
    {"a+b", "a%2Bb"},
    {"qq 币", "qq%20%B1%D2"},
    {"中文", "%D6%D0%CE%C4"},
    {"Az09-._~", "Az09-._~"},
    {"a=b?c/d", "a%3Db%3Fc%2Fd"},
    {"€", "%A2%E3"},
    {"😀", "%949%FC6"},
    {"", ""},
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.keyword;
}

class AddressCases : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressCases, PercentEncodesTheGb18030Bytes) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(searchAddress(u8(c.keyword)),
              u8("http://s.taobao.com/search?tab=all&stats_click=search_radio_all%3A1&cat=0&cd="
                 "false&v=auction&q=") +
                  u8(c.query));
}

INSTANTIATE_TEST_SUITE_P(SearchPage, AddressCases, ::testing::ValuesIn(addressCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
} // namespace quilla
