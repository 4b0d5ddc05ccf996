// The index run against bad interval texts, a page that is not the trend
// page or stops being it, a page that keeps asking for new windows, and
// trend-page reading of text that is no page at all.

#include "index/index_run.h"
#include "index/trend_page.h"

#include "support/fakes.h"
#include "support/index_fixture.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <string>

namespace quilla {
namespace {

using test::listOf;
using test::u8;

using test::FakeBrowser;
using test::FakeTextBox;
using test::FakeTimer;

const QString trendPage =
    u8("App.set({cityEndDate:1,a:[10,20,30]},{cityEndDate:2,b:[40,50,60]})\r\n"
       "最近七天的搜索指数环比<SPAN class=up>12%</SPAN>，"
       "与去年同期相比<SPAN class=down>3%</SPAN>。\r\n"
       "最近三十天的搜索指数环比<SPAN class=down>5%</SPAN>，"
       "与去年同期相比<SPAN class=up>8%</SPAN>。\r\n"
       "趋势预测：上升。wxyz去阿里指数查看");
const QStringList pageFigures = u8("30,20,60,50,+12%,-3%,-5%,+8%,上升").split(u',');

using IndexFixture = test::IndexRunFixture;
using test::keyword;

// The interval box by the number rules; the timer then takes 0 to 65535 only.
struct IntervalCase {
    const char* name;
    const char* text;
    std::optional<int> wait; // the wait the run goes on with; nullopt: refused
};

void PrintTo(const IntervalCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

const IntervalCase intervalCases[] = {
    {"letters", "fast", std::nullopt},
    {"digits_with_unit", "500ms", std::nullopt},
    {"full_width_digits", "５００", std::nullopt},
    {"huge", "99999999999999999999", std::nullopt},
    {"one_above_the_timer", "65535.5", std::nullopt},
    {"timer_maximum_by_rounding", "65535.4", 65535},
    {"negative", "-500", std::nullopt},
    {"negative_half_is_zero", "-0.5", 0},
    {"spaces_around", "  1500  ", 1500},
    {"tabs_around", "\t1500\t", 1500},
    {"space_inside", "1 500", std::nullopt},
    {"plus_sign", "+1500", 1500},
    {"exponent", "1e3", std::nullopt},
    {"half_down_to_even", "2.5", 2},
    {"half_up_to_even", "3.5", 4},
    {"above_half", "2.6", 3},
};

class BadInterval : public IndexFixture, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(BadInterval, AtTheStart) {
    fill(3);
    interval.value = u8(GetParam().text);
    run.start();
    EXPECT_EQ(browser.valuesOf(QStringLiteral("query")), QStringList{keyword(1)});
    EXPECT_EQ(timer.interval(), GetParam().wait.value_or(0));
    EXPECT_EQ(timer.history.size(), GetParam().wait ? 1u : 0u);
}

TEST_P(BadInterval, DuringTheRun) {
    fill(3);
    browser.page = trendPage;
    run.start();
    ASSERT_EQ(timer.interval(), 6000);
    interval.value = u8(GetParam().text);
    run.tick();
    // The tick's own work is done whatever the box says.
    EXPECT_EQ(figuresOf(1), pageFigures);
    EXPECT_EQ(browser.valuesOf(QStringLiteral("query")), (QStringList{keyword(1), keyword(2)}));
    EXPECT_EQ(timer.interval(), GetParam().wait.value_or(0));
    EXPECT_EQ(run.queryRow(), 2);
}

INSTANTIATE_TEST_SUITE_P(Intervals, BadInterval, ::testing::ValuesIn(intervalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Pages that are not the trend page: the run goes on at its pace, each row
// gains nine figures, empty where the page has none, and keeps its keyword
// and count.
struct ForeignPage {
    const char* name;
    QString text;
    QSet<QString> elements;
    QStringList figures;
};

void PrintTo(const ForeignPage& p, std::ostream* os) {
    *os << p.name;
}

const QSet<QString> noElements;
const QSet<QString> bothElements{QStringLiteral("query"), QStringLiteral("query-btn")};

const QStringList noFigures(9, QString());

const ForeignPage foreignPages[] = {
    {"no_document", QString(), noElements, noFigures},
    {"blank", u8("<HEAD></HEAD><BODY></BODY>"), noElements, noFigures},
    {"not_found", u8("<HEAD><TITLE>404</TITLE></HEAD><BODY>404 Not Found</BODY>"), noElements,
     noFigures},
    {"login_wall",
     u8("<BODY><FORM><INPUT name=user><INPUT name=query-btn></FORM></BODY>"),
     {QStringLiteral("query-btn")},
     noFigures},
    {"trend_page_without_figures", u8("<BODY><INPUT name=query><BUTTON name=query-btn></BODY>"),
     bothElements, noFigures},
    // Cut short after the first figure: that one is read, the rest stay empty.
    {"first_sentence_only", u8("最近七天的搜索指数环比<SPAN class=up>12%</SPAN>，与去年"),
     bothElements, u8(",,,,+12%,,,,").split(u',')},
};

class ForeignPages : public IndexFixture, public ::testing::WithParamInterface<ForeignPage> {};

TEST_P(ForeignPages, TheRunGoesOnToTheEnd) {
    fill(4);
    browser.page = GetParam().text;
    browser.elements = GetParam().elements;
    run.start();
    int ticks = 0;
    for (; ticks < 10 && timer.interval() != 0; ++ticks)
        run.tick();
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(run.queryRow(), 5);
    for (int i = 1; i <= 4; ++i) {
        const Row row = results.row(i);
        ASSERT_EQ(row.fields.size(), 11) << i;
        EXPECT_EQ(row.keyword(), keyword(i));
        EXPECT_EQ(row.fields[1], QString::number(i));
        EXPECT_EQ(figuresOf(i), GetParam().figures) << i;
    }
    // Typed into the page only where it has the box.
    EXPECT_EQ(browser.valuesOf(QStringLiteral("query")).size(),
              GetParam().elements.contains(QStringLiteral("query")) ? 4 : 0);
}

INSTANTIATE_TEST_SUITE_P(Pages, ForeignPages, ::testing::ValuesIn(foreignPages),
                         [](const auto& info) { return std::string(info.param.name); });

// The browser leaves the trend page in the middle of a run (a link, a
// redirect to a login page), then comes back to it.
TEST_F(IndexFixture, NavigatingAwayMidRunEmptiesOnlyThoseRows) {
    fill(6);
    browser.page = trendPage;
    run.start();
    run.tick();
    run.tick();
    browser.page = u8("<BODY>请登录<A href=/login>登录</A></BODY>");
    browser.elements.clear();
    run.tick();
    run.tick();
    browser.page = trendPage;
    browser.elements = bothElements;
    for (int k = 0; k < 5 && timer.interval() != 0; ++k)
        run.tick();

    EXPECT_EQ(run.queryRow(), 7);
    EXPECT_EQ(timer.interval(), 0);
    const QStringList expected[] = {pageFigures, pageFigures, noFigures,
                                    noFigures,   pageFigures, pageFigures};
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(results.row(i).keyword(), keyword(i));
        EXPECT_EQ(figuresOf(i), expected[i - 1]) << i;
    }
    // Rows 4 and 5 were submitted while the page had no box.
    EXPECT_EQ(browser.valuesOf(QStringLiteral("query")),
              (QStringList{keyword(1), keyword(2), keyword(3), keyword(6)}));
}

TEST_F(IndexFixture, ThePageTurningIntoAnotherMidTickIsReadAsItIsThen) {
    fill(2);
    browser.late = true;
    browser.page = trendPage;
    run.start();
    browser.releaseAll();
    run.tick();
    // The page changes while the read is on its way.
    browser.page = u8("<BODY>别的页面</BODY>");
    browser.elements.clear();
    browser.releaseAll();
    EXPECT_EQ(figuresOf(1), noFigures);
    EXPECT_FALSE(gate.busy());
    EXPECT_EQ(timer.interval(), 6000);
    EXPECT_EQ(run.queryRow(), 2);
}

// A page that asks for a new window over and over: each request loads the
// link once, in this browser; nothing piles up and the run is not disturbed.
TEST_F(IndexFixture, NewWindowRequestsInALoop) {
    fill(3);
    browser.page = trendPage;
    browser.href = QStringLiteral("http://127.0.0.1:1/popup");
    run.start();
    for (int i = 0; i < 1000; ++i)
        run.openRefusedWindowHere();
    EXPECT_EQ(browser.navigations.size(), 1000);
    EXPECT_EQ(browser.navigations.count(QStringLiteral("http://127.0.0.1:1/popup")), 1000);
    EXPECT_FALSE(gate.busy());
    EXPECT_EQ(run.queryRow(), 1);
    EXPECT_EQ(timer.history, std::vector<int>{6000});
}

// Requests that come while a tick waits for the page: each is answered as
// the page stands when the answer comes, and the tick finishes as usual.
TEST_F(IndexFixture, NewWindowRequestsWhileATickWaits) {
    fill(4);
    browser.late = true;
    browser.page = trendPage;
    run.start();
    browser.releaseAll();
    const std::optional<QString> hrefs[] = {QStringLiteral("http://127.0.0.1:1/a"), std::nullopt,
                                            QString()};
    for (int row = 1; row <= 3; ++row) {
        const std::optional<QString>& href = hrefs[row - 1];
        browser.navigations.clear();
        browser.href = href;
        run.tick(); // the page read is held
        for (int i = 0; i < 50; ++i)
            run.openRefusedWindowHere();
        EXPECT_EQ(browser.held(), 51u) << row;
        EXPECT_TRUE(gate.busy()) << row;
        browser.releaseAll();
        EXPECT_EQ(browser.held(), 0u) << row;
        EXPECT_FALSE(gate.busy()) << row;
        EXPECT_EQ(browser.navigations.size(), href && !href->isEmpty() ? 50 : 0) << row;
        EXPECT_EQ(figuresOf(row), pageFigures) << row;
        EXPECT_EQ(run.queryRow(), row + 1);
        EXPECT_EQ(timer.interval(), 6000) << row;
    }
}

// Text that is no trend page: the reading always ends with nine figures, the
// series figures are pieces between commas, no figure holds what the reading
// removes, and series and forecast figures are stretches of the page itself.
void expectSoundFigures(const QString& text, const TrendFields& fields) {
    QString normal = text;
    normal.remove(u' ').remove(u'\r').remove(u'\n');
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString& f = fields[i];
        EXPECT_FALSE(f.contains(u' ') || f.contains(u'\r') || f.contains(u'\n')) << i;
        EXPECT_LE(f.size(), normal.size()) << i;
        if (i < 4) {
            EXPECT_FALSE(f.contains(u',')) << i;
        }
        if (i >= 4 && i < 8) {
            EXPECT_FALSE(f.contains(u"</SPAN>")) << i;
        }
        if (i < 4 || i == 8) {
            EXPECT_TRUE(normal.contains(f)) << i;
        }
    }
    const Row row = extendRow(Row{{u8("kw"), u8("1")}}, fields);
    EXPECT_EQ(row.fields.size(), 11);
}

// Markers, their neighbours and filler in random order, so the cuts fall on
// every edge: the start, the end, one past a marker.
QString markerSoup(std::mt19937& rng, int pieces) {
    static const QStringList parts = {
        u8("App.set"),
        u8("cityEndDate"),
        u8("["),
        u8("]"),
        u8(","),
        u8("最近七天的"),
        u8("去阿里指数查看"),
        u8("与去年同期相比"),
        u8("最近三十天的"),
        u8("趋势预测"),
        u8("，"),
        u8("。"),
        u8("<SPANclass=up>"),
        u8("<SPAN class=down>"),
        u8("</SPAN>"),
        u8(" "),
        u8("\r\n"),
        u8("\t"),
        u8("7"),
        u8("中"),
        u8("😀"),
        u8("App."),
        u8("最近"),
        u8("\0"),
    };
    std::uniform_int_distribution<qsizetype> pick(0, parts.size() - 1);
    QString text;
    for (int i = 0; i < pieces; ++i)
        text += parts[pick(rng)];
    return text;
}

TEST(TrendFieldsOnGarbage, MarkerSoupGivesSoundFigures) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> length(0, 80);
    int withSeries = 0, withForecast = 0;
    for (int i = 0; i < 20000; ++i) {
        const QString text = markerSoup(rng, length(rng));
        const TrendFields fields = trendFigures(text);
        SCOPED_TRACE(text.toStdString());
        expectSoundFigures(text, fields);
        withSeries += fields[0].isEmpty() ? 0 : 1;
        withForecast += fields[8].isEmpty() ? 0 : 1;
        if (::testing::Test::HasFailure())
            break;
    }
    // The soup must reach the figures, not only the misses.
    EXPECT_GT(withSeries, 1000);
    EXPECT_GT(withForecast, 1000);
}

// Spaces, carriage returns and line feeds count for nothing, wherever they go.
TEST(TrendFieldsOnGarbage, LineBreaksAndSpacesAnywhereChangeNothing) {
    std::mt19937 rng(4);
    std::uniform_int_distribution<int> length(0, 60);
    std::uniform_int_distribution<int> blank(0, 2);
    const QString blanks[] = {u8(" "), u8("\r"), u8("\n")};
    for (int i = 0; i < 5000; ++i) {
        const QString text = markerSoup(rng, length(rng));
        QString spread;
        for (const QChar c : text) {
            spread += c;
            // Not between the halves of a surrogate pair: that pair would be split.
            if (!c.isHighSurrogate() && blank(rng) == 0)
                spread += blanks[blank(rng)];
        }
        ASSERT_EQ(trendFigures(spread), trendFigures(text)) << text.toStdString();
    }
}

TEST(TrendFieldsOnGarbage, BinaryAndLoneSurrogates) {
    std::mt19937 rng(6);
    std::uniform_int_distribution<int> unit(0, 0xFFFF);
    for (int round = 0; round < 50; ++round) {
        QString text(4096, Qt::Uninitialized);
        for (QChar& c : text)
            c = QChar(static_cast<char16_t>(unit(rng)));
        // Markers here and there, split by the garbage around them.
        text.insert(unit(rng) % text.size(), u8("App.set{cityEndDate:[1,2]cityEndDate[3]"));
        text.insert(unit(rng) % text.size(),
                    u8("最近七天的xxxxxx1，与去年同期相比2。趋势预测：x。去阿里指数查看"));
        const TrendFields fields = trendFigures(text);
        const Row row = extendRow(Row{{u8("kw"), u8("1")}}, fields);
        EXPECT_EQ(row.fields.size(), 11);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_FALSE(fields[i].contains(u',')) << i;
    }
}

TEST(TrendFieldsOnGarbage, HugeTexts) {
    const QString many = u8("cityEndDate[,]最近七天的，与去年同期相比。趋势预测").repeated(200000);
    const QString unterminated = u8("App.set(cityEndDate:[") + QString(4'000'000, u'1');
    const QString commas = u8("App.set(cityEndDate:[") + QString(1'000'000, u',') + u8("]");
    for (const QString* text : {&many, &unterminated, &commas}) {
        const TrendFields fields = trendFigures(*text);
        EXPECT_EQ(extendRow(Row{{u8("kw"), u8("1")}}, fields).fields.size(), 11);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_FALSE(fields[i].contains(u','));
    }
    EXPECT_EQ(trendFigures(unterminated)[0], QString());
    EXPECT_EQ(trendFigures(commas)[0], QString());
    EXPECT_EQ(trendFigures(commas)[1], QString());
}

} // namespace
} // namespace quilla
